#pragma once
// Reads a message back with GMime, independently of Groundkit: its leaf parts
// in order, each with its file name (UTF-8, empty when it has none), content
// type and decoded bytes.

#include <gmime/gmime.h>

#include <mutex>
#include <string>
#include <vector>

namespace gmimereader {

struct Part {
  std::string fileName;
  std::string contentType;
  std::string bytes;
};

struct Message {
  bool parsed = false;
  std::string from;
  std::string subject;
  std::vector<std::string> to;
  std::vector<Part> parts;
};

inline void collect(GMimeObject* object, std::vector<Part>& parts) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
      collect(g_mime_multipart_get_part(multipart, i), parts);
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  Part part;
  const char* name = g_mime_part_get_filename(GMIME_PART(object));
  part.fileName = name ? name : "";
  GMimeContentType* type = g_mime_object_get_content_type(object);
  char* mimeType = type ? g_mime_content_type_get_mime_type(type) : nullptr;
  part.contentType = mimeType ? mimeType : "";
  g_free(mimeType);
  GMimeStream* memory = g_mime_stream_mem_new();
  if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object)))
    g_mime_data_wrapper_write_to_stream(content, memory);
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
  part.bytes.assign(reinterpret_cast<const char*>(array->data), array->len);
  g_object_unref(memory);
  parts.push_back(std::move(part));
}

// Parses the message that starts at the given byte offset of the file.
inline Message read(const std::string& path, long offset = 0) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { g_mime_init(); });
  Message result;
  GMimeStream* stream = g_mime_stream_file_open(path.c_str(), "rb", nullptr);
  if (stream == nullptr) return result;
  g_mime_stream_seek(stream, offset, GMIME_STREAM_SEEK_SET);
  GMimeStream* sub = g_mime_stream_substream(stream, offset, -1);
  GMimeParser* parser = g_mime_parser_new_with_stream(sub);
  GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
  if (message != nullptr) {
    result.parsed = true;
    const char* subject = g_mime_message_get_subject(message);
    result.subject = subject ? subject : "";
    InternetAddressList* from = g_mime_message_get_from(message);
    if (from && internet_address_list_length(from) > 0)
      result.from = internet_address_mailbox_get_addr(
          INTERNET_ADDRESS_MAILBOX(internet_address_list_get_address(from, 0)));
    InternetAddressList* to = g_mime_message_get_to(message);
    for (int i = 0; to && i < internet_address_list_length(to); ++i) {
      InternetAddress* address = internet_address_list_get_address(to, i);
      if (INTERNET_ADDRESS_IS_MAILBOX(address))
        result.to.push_back(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
    }
    collect(g_mime_message_get_mime_part(message), result.parts);
    g_object_unref(message);
  }
  g_object_unref(parser);
  g_object_unref(sub);
  g_object_unref(stream);
  return result;
}

}  // namespace gmimereader
