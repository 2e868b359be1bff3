// The message decoding plug-in: GMime takes the message apart (nested
// multiparts, RFC 2231 names, any transfer encoding, broken boundaries, 8-bit
// headers) and each leaf part is decoded into a file of a private temporary
// directory, which Finish removes.

#include <fcntl.h>
#include <glib/gstdio.h>
#include <gmime/gmime.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "groundkit/decoder_plugin.h"
#include "internal/mime_text.h"

#define SORVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace mime = groundkit::mime;

constexpr int kDeepestNesting = 32;

template <typename T>
struct GObjectDeleter {
  void operator()(T* object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T>
using Ref = std::unique_ptr<T, GObjectDeleter<T>>;

class Part final : public ISorvanePart {
 public:
  Part(std::string path, bool ownName) : path_(std::move(path)), ownName_(ownName) {}

  int HasOwnName() override { return ownName_ ? 1 : 0; }

  int GetDecodedFile(char* path, unsigned long size) override {
    if (path == nullptr || path_.size() + 1 > size) return 0;
    std::memcpy(path, path_.c_str(), path_.size() + 1);
    return 1;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ownName_;
};

class Decoder final : public ISorvaneInterface {
 public:
  unsigned long AddRef() override { return ++references_; }
  int GetVersion() override { return 1; }

  int GetPartList(ISorvanePart* const** parts, unsigned long* count) override {
    if (parts == nullptr || count == nullptr || !loaded_) return 0;
    *parts = list_.empty() ? nullptr : list_.data();
    *count = static_cast<unsigned long>(list_.size());
    return 1;
  }

  int LoadMessage(const char* messagePath, int /*flags*/) override {
    Finish();
    try {
      if (messagePath == nullptr) return 0;
      GError* error = nullptr;
      char* directory = g_dir_make_tmp("sorvane-XXXXXX", &error);
      if (directory == nullptr) {
        g_clear_error(&error);
        return 0;
      }
      directory_ = directory;
      g_free(directory);

      Ref<GMimeStream> stream(g_mime_stream_fs_open(messagePath, O_RDONLY, 0, &error));
      if (!stream) {
        g_clear_error(&error);
        return 0;
      }
      Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
      Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
      if (!message) return 0;
      GMimeObject* root = g_mime_message_get_mime_part(message.get());
      if (root != nullptr && !save(root, 0)) {
        Finish();
        return 0;
      }
      loaded_ = true;
      return 1;
    } catch (...) {
      Finish();
      return 0;
    }
  }

  int Finish() override {
    for (const std::unique_ptr<Part>& part : parts_) g_remove(part->path().c_str());
    for (auto it = directories_.rbegin(); it != directories_.rend(); ++it) g_rmdir(it->c_str());
    if (!directory_.empty()) g_rmdir(directory_.c_str());
    parts_.clear();
    list_.clear();
    directories_.clear();
    directory_.clear();
    loaded_ = false;
    return 1;
  }

  void Release() override {
    if (--references_ > 0) return;
    Finish();
    delete this;
  }

 private:
  bool save(GMimeObject* object, int depth) {
    if (depth > kDeepestNesting) return false;
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      int count = g_mime_multipart_get_count(multipart);
      // A boundary that never occurs leaves the whole body in the prologue.
      if (count == 0) {
        const char* prologue = g_mime_multipart_get_prologue(multipart);
        if (prologue != nullptr && *prologue != '\0')
          return saveBytes(prologue, std::strlen(prologue), "body.txt", false);
        return true;
      }
      for (int i = 0; i < count; ++i) {
        if (!save(g_mime_multipart_get_part(multipart, i), depth + 1)) return false;
      }
      return true;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
      GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
      if (inner == nullptr) return true;
      auto [path, ownName] = newPartPath(object, "message.eml");
      if (path.empty()) return false;
      Ref<GMimeStream> out(openNew(path));
      if (!out || g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, out.get()) < 0 ||
          g_mime_stream_flush(out.get()) != 0)
        return false;
      return true;
    }
    if (!GMIME_IS_PART(object)) return true;
    GMimePart* part = GMIME_PART(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* generated = "part";
    if (type != nullptr && g_mime_content_type_is_type(type, "text", "html"))
      generated = "body.htm";
    else if (type != nullptr && g_mime_content_type_is_type(type, "text", "*"))
      generated = "body.txt";
    auto [path, ownName] = newPartPath(object, generated);
    if (path.empty()) return false;
    Ref<GMimeStream> out(openNew(path));
    if (!out) return false;
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content != nullptr && g_mime_data_wrapper_write_to_stream(content, out.get()) < 0)
      return false;
    return g_mime_stream_flush(out.get()) == 0;
  }

  bool saveBytes(const char* bytes, std::size_t size, const char* name, bool ownName) {
    std::string path = newDirectory() + "/" + name;
    Ref<GMimeStream> out(openNew(path));
    if (!out) return false;
    add(path, ownName);
    return g_mime_stream_write(out.get(), bytes, size) == static_cast<gssize>(size) &&
           g_mime_stream_flush(out.get()) == 0;
  }

  // A file in a directory of the part's own: the sender's name (filename, then
  // name, then Content-Type's file, as the library's walker takes it) made safe
  // ("8bit" parts named ".doc" become ".txt"), or the generated name. The part
  // is listed at once so Finish removes its file.
  std::pair<std::string, bool> newPartPath(GMimeObject* object, const char* generated) {
    std::string name;
    const char* given =
        GMIME_IS_PART(object) ? g_mime_part_get_filename(GMIME_PART(object)) : nullptr;
    if (given == nullptr)
      given = g_mime_object_get_content_disposition_parameter(object, "filename");
    if (given == nullptr) given = g_mime_object_get_content_type_parameter(object, "name");
    if (given == nullptr) given = g_mime_object_get_content_type_parameter(object, "file");
    if (given != nullptr) name = mime::safeFileName(given);
    if (!name.empty() && GMIME_IS_PART(object) &&
        g_mime_part_get_content_encoding(GMIME_PART(object)) == GMIME_CONTENT_ENCODING_8BIT &&
        name.size() > 4 && name.compare(name.size() - 4, 4, ".doc") == 0)
      name.replace(name.size() - 4, 4, ".txt");
    bool ownName = !name.empty();
    if (!ownName) name = generated;
    std::string directory = newDirectory();
    if (directory.empty()) return {};
    std::string path = directory + "/" + name;
    add(path, ownName);
    return {path, ownName};
  }

  std::string newDirectory() {
    std::string directory = directory_ + "/" + std::to_string(directories_.size());
    if (g_mkdir(directory.c_str(), 0700) != 0) return {};
    directories_.push_back(directory);
    return directory;
  }

  static GMimeStream* openNew(const std::string& path) {
    return g_mime_stream_fs_open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600, nullptr);
  }

  void add(const std::string& path, bool ownName) {
    parts_.push_back(std::make_unique<Part>(path, ownName));
    list_.push_back(parts_.back().get());
  }

  unsigned long references_ = 1;
  bool loaded_ = false;
  std::string directory_;
  std::vector<std::string> directories_;
  std::vector<std::unique_ptr<Part>> parts_;
  std::vector<ISorvanePart*> list_;
};

}  // namespace

SORVANE_EXPORT int GetSorvaneInterface(ISorvaneInterface** out) {
  if (out == nullptr) return 0;
  static std::once_flag initialised;
  try {
    std::call_once(initialised, [] { g_mime_init(); });
    *out = new Decoder();
    return 1;
  } catch (...) {
    return 0;
  }
}
