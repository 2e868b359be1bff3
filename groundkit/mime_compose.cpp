// Message composition: MIME header values, a whole message with base64 parts,
// and adding a header line to a stored message.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/base64.h"
#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"
#include "internal/mime_text.h"
#include "platform/last_error.h"
#include "platform/local_time.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

namespace mime = groundkit::mime;

constexpr const char* kMainTypes[] = {"text",  "image",       "audio",
                                      "video", "application", "multipart"};
constexpr const char* kSubTypes[] = {"plain",        "enriched",   "html",      "rfc822-headers",
                                     "jpeg",         "tiff",       "basic",     "mpeg",
                                     "octet-stream", "postscript", "applefile", "mac-binhex40",
                                     "mixed",        "alternative"};
constexpr const char* kMailer = "Oxal Ltd., SendMail engine 3.001";
constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kMissionHeaderSize = 4096;
constexpr unsigned long kInvalidParameter = 87;

template <std::size_t N>
int numberOf(const char* const (&names)[N], const char* name) {
  if (name == nullptr) return -1;
  for (std::size_t i = 0; i < N; ++i) {
    if (mime::equalsNoCase(names[i], name)) return static_cast<int>(i);
  }
  return -1;
}

template <std::size_t N>
std::string nameOf(const char* const (&names)[N], int number) {
  return number >= 0 && static_cast<std::size_t>(number) < N ? names[number]
                                                             : std::to_string(number);
}

std::string_view viewOf(const char* text) {
  return text ? std::string_view(text) : std::string_view();
}

std::string newBoundary() {
  static thread_local std::mt19937 random{std::random_device{}()};
  auto seconds = static_cast<std::int32_t>(std::time(nullptr));
  char text[64];
  std::snprintf(text, sizeof text, "----=_NEXT_PART_000_%ld_%08lX", static_cast<long>(seconds),
                static_cast<unsigned long>(random() & 0xFFFFFFFFu));
  return text;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  long long era = (year >= 0 ? year : year - 399) / 400;
  unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// "Tue, 05 Mar 2024 14:03:09 +0800": local time and the offset in force at that
// moment.
std::string dateLine() {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t utc = std::time(nullptr);
  std::tm local = platform::localTimeNow();
  long long localSeconds =
      daysFromCivil(local.tm_year + 1900LL, unsigned(local.tm_mon + 1), unsigned(local.tm_mday)) *
          86400 +
      local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
  // The two readings of the clock may straddle a second; zone offsets are whole
  // minutes.
  long offsetMinutes =
      std::lround(static_cast<double>(localSeconds - static_cast<long long>(utc)) / 60.0);
  long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

std::string contentTypeDesc(int mainType, int subType, std::string_view fileName,
                            std::string* boundary) {
  std::string text = nameOf(kMainTypes, mainType) + "/" + nameOf(kSubTypes, subType) + ";\r\n\t";
  if (mainType == 0) return text + mime::formatParameter("charset", mime::narrowCharset(), "");
  if (mainType == 4) return text + mime::formatParameter("name", fileName, mime::narrowCharset());
  std::string made = newBoundary();
  if (boundary) *boundary = made;
  return text + mime::formatParameter("boundary", made, "");
}

// Base64 in lines of 76 characters, exactly as BSCFEM_EncodeBase64 writes it, fed piece by piece
// and written to the file in large pieces.
class Base64Writer {
 public:
  explicit Base64Writer(std::FILE* out) : out_(out) {}

  bool feed(const unsigned char* data, std::size_t size) {
    for (std::size_t at = 0; at < size; at += kFeedSize) {
      std::size_t piece = std::min(kFeedSize, size - at);
      encoder_.feed(std::string_view(reinterpret_cast<const char*>(data + at), piece), text_);
      if (text_.size() >= kFlushSize && !flush()) return false;
    }
    return true;
  }

  bool finish() {
    encoder_.finish(text_);
    return flush();
  }

 private:
  static constexpr std::size_t kFlushSize = 64 * 1024;
  static constexpr std::size_t kFeedSize = kFlushSize / 4 * 3;

  bool flush() {
    bool ok = text_.empty() || std::fwrite(text_.data(), 1, text_.size(), out_) == text_.size();
    text_.clear();
    return ok;
  }

  std::FILE* out_;
  codec::Base64Encoder encoder_;
  std::string text_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeText(std::FILE* file, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

// Copies the rest of the file through the base64 writer in pieces.
bool encodeStream(std::FILE* in, Base64Writer& writer) {
  std::vector<unsigned char> buffer(57 * 1024);
  for (;;) {
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got > 0 && !writer.feed(buffer.data(), got)) return false;
    if (got < buffer.size()) return !std::ferror(in);
  }
}

std::string fileNameOf(std::string_view path) {
  std::size_t separator = path.find_last_of("/\\");
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

bool headerValueUsable(std::string_view value) { return !mime::hasLineBreak(value); }

void logFailure(const std::string& text) { BSCF_LoggingInfo1(("-_-~" + text).c_str(), 1); }

}  // namespace

extern "C" {

int BSCFEM_GetMainContentType(const char* name) { return numberOf(kMainTypes, name); }

int BSCFEM_GetSubContentType(const char* name) { return numberOf(kSubTypes, name); }

int BSCFEM_GetCharset(char* output) {
  std::string_view charset = mime::narrowCharset();
  groundkit::boundedCopy(output, charset);
  return static_cast<int>(charset.size());
}

int BSCFEM_GetBoundaryID(char* output) {
  std::string boundary = newBoundary();
  groundkit::boundedCopy(output, boundary);
  return static_cast<int>(boundary.size());
}

void BSCFEM_GetContentTypeDesc(int mainType, int subType, char* output, char* parameter) {
  std::string boundary;
  std::string text = contentTypeDesc(
      mainType, subType, mainType == 4 ? viewOf(parameter) : std::string_view(), &boundary);
  if (mainType != 0 && mainType != 4) groundkit::boundedCopy(parameter, boundary);
  groundkit::boundedCopy(output, text);
}

int BSCFEM_EncodeFile(std::FILE* file, std::string& output, unsigned long& error) {
  try {
    if (file == nullptr) {
      error = kMimeAttachmentNotEncoded;
      return 0;
    }
    std::string data;
    std::vector<char> buffer(64 * 1024);
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;)
      data.append(buffer.data(), got);
    if (std::ferror(file)) {
      error = kMimeAttachmentNotEncoded;
      return 0;
    }
    std::string encoded(BSCFEM_Base64BufferSize(static_cast<unsigned long>(data.size())), '\0');
    unsigned long length = 0;
    BSCFEM_EncodeBase64(reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<unsigned long>(data.size()), encoded.data(),
                        static_cast<unsigned long>(encoded.size()), length);
    encoded.resize(length);
    output = std::move(encoded);
    return 1;
  } catch (...) {
    error = kMimeAttachmentNotEncoded;
    return 0;
  }
}

int BSCFEM_EncodeEmailHeader(const char* sender, const std::vector<std::string>& recipients,
                             const char* subject, const char* contentType, int noEncoding,
                             char* output, unsigned long outputSize, unsigned long& error) {
  try {
    bool usable = headerValueUsable(viewOf(sender)) && headerValueUsable(viewOf(subject));
    for (const std::string& recipient : recipients) usable = usable && headerValueUsable(recipient);
    if (!usable) {
      error = kMimeLineBreakInValue;
      return 0;
    }
    std::string header = std::string("FROM: ") + viewOf(sender).data() + kCrLf;
    for (std::size_t i = 0; i < recipients.size(); ++i)
      header += (i == 0 ? "TO: " : ",\r\n\t") + recipients[i];
    if (!recipients.empty()) header += kCrLf;
    header += std::string("SUBJECT: ") + std::string(viewOf(subject)) + kCrLf;
    header += "DATE: " + dateLine() + kCrLf;
    header += "MIME-Version: 1.0\r\n";
    header += std::string("Content-Type: ") + std::string(viewOf(contentType)) + kCrLf;
    if (noEncoding == 0) header += "Content-Transfer-Encoding: base64\r\n";
    header += std::string("X-MAILER: ") + kMailer + kCrLf;
    if (output == nullptr || header.size() + 1 > outputSize) {
      error = kMimeHeaderTooLong;
      return 0;
    }
    std::memcpy(output, header.c_str(), header.size() + 1);
    return 1;
  } catch (...) {
    error = kMimeHeaderTooLong;
    return 0;
  }
}

int BSCFEM_EncodeEmailMission(const char* messagePath, const char* sender,
                              const std::vector<std::string>& recipients, const char* subject,
                              const char* bodyText, const std::vector<std::string>& attachments,
                              unsigned long& error) {
  try {
    // Every attachment is opened before anything is written, so a missing one
    // leaves the message file as it was instead of ending it with half a
    // message.
    std::vector<File> attachmentFiles;
    for (const std::string& path : attachments) {
      attachmentFiles.emplace_back(platform::openFile(path, "rb"));
      if (!attachmentFiles.back()) {
        error = kMimeAttachmentNotOpened;
        return 0;
      }
    }
    bool multipart = !attachments.empty();
    std::string boundary;
    std::string contentType =
        multipart ? contentTypeDesc(5, 12, {}, &boundary) : contentTypeDesc(0, 0, {}, nullptr);
    std::vector<char> header(kMissionHeaderSize);
    if (!BSCFEM_EncodeEmailHeader(sender, recipients, subject, contentType.c_str(),
                                  multipart ? 1 : 0, header.data(),
                                  static_cast<unsigned long>(header.size()), error))
      return 0;

    File message(messagePath ? platform::openFile(messagePath, "ab") : nullptr);
    if (!message) {
      error = platform::fileErrorFromErrno(errno);
      return 0;
    }
    std::FILE* out = message.get();
    std::string text = header.data();
    if (multipart) text += "\r\nThis is a multi-part message in MIME format.\r\n";
    text += kCrLf;
    if (multipart) {
      text += "--" + boundary + kCrLf + "Content-Type: " + contentTypeDesc(0, 0, {}, nullptr) +
              kCrLf + "Content-Transfer-Encoding: base64\r\n\r\n";
    }
    bool written = writeText(out, text);
    std::string_view body = viewOf(bodyText);
    Base64Writer bodyWriter(out);
    if (!bodyWriter.feed(reinterpret_cast<const unsigned char*>(body.data()), body.size()) ||
        !bodyWriter.finish()) {
      error = kMimeBodyNotEncoded;
      return 0;
    }
    if (multipart) written = written && writeText(out, kCrLf);

    for (std::size_t i = 0; i < attachments.size() && written; ++i) {
      std::string name = fileNameOf(attachments[i]);
      std::string partHeader =
          "--" + boundary + kCrLf + "Content-Type: " + contentTypeDesc(4, 8, name, nullptr) +
          kCrLf + "Content-Transfer-Encoding: base64\r\n" +
          "Content-Disposition: attachment;\r\n\t" +
          mime::formatParameter("filename", name, mime::narrowCharset()) + "\r\n\r\n";
      written = writeText(out, partHeader);
      Base64Writer writer(out);
      if (written && !(encodeStream(attachmentFiles[i].get(), writer) && writer.finish())) {
        error = kMimeAttachmentNotEncoded;
        return 0;
      }
      written = written && writeText(out, kCrLf);
    }
    if (multipart) written = written && writeText(out, "--" + boundary + "--");
    written = written && writeText(out, kCrLf) && std::fflush(out) == 0;
    if (!written || std::fclose(message.release()) != 0) {
      error = platform::fileErrorFromErrno(errno);
      return 0;
    }
    return 1;
  } catch (...) {
    error = platform::err::kNotEnoughMemory;
    return 0;
  }
}

int BSCFEM_AddSpecialHeadLine(const char* messagePath, const char* name, const char* value) {
  try {
    std::string_view headerName = mime::trimBlanks(viewOf(name));
    std::string_view headerValue = viewOf(value);
    bool nameUsable =
        !headerName.empty() && headerName.find_first_of(": \t\r\n") == std::string_view::npos;
    if (!nameUsable || mime::hasLineBreak(headerValue) || messagePath == nullptr) {
      platform::setLastError(kInvalidParameter);
      logFailure("Can not add the header line " + std::string(headerName) + " to " +
                 (messagePath ? messagePath : ""));
      return 0;
    }
    std::string text;
    if (!platform::readWholeFile(messagePath, text)) {
      logFailure(std::string("Can not read the message file ") + messagePath);
      return 0;
    }
    // The header ends at the first empty line, whichever line end the file
    // uses.
    std::size_t end = std::string::npos;
    std::string_view lineBreak;
    for (std::size_t lineStart = 0; lineStart < text.size();) {
      std::size_t newline = text.find('\n', lineStart);
      if (newline == std::string::npos) break;
      std::size_t next = newline + 1;
      bool nextIsEmpty = text.compare(next, 1, "\n") == 0 || text.compare(next, 2, "\r\n") == 0;
      if (nextIsEmpty && newline > lineStart) {
        bool crlf = text[newline - 1] == '\r';
        end = crlf ? newline - 1 : newline;
        lineBreak = crlf ? "\r\n" : "\n";
        break;
      }
      lineStart = next;
    }
    if (end == std::string::npos) return 1;
    text.insert(end,
                std::string(lineBreak) + std::string(headerName) + ": " + std::string(headerValue));
    if (!platform::replaceWholeFile(messagePath, text)) {
      unsigned long code = platform::lastError();
      logFailure(std::string("Can not write the message file ") + messagePath + " (" +
                 std::to_string(code) + ")");
      platform::setLastError(code);
      return 0;
    }
    return 1;
  } catch (...) {
    platform::setLastError(platform::err::kNotEnoughMemory);
    return 0;
  }
}

}  // extern "C"
