// Message decoding: the header map, Content-Type values, base64 part files, the
// MIME walker and the decoding plug-in.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/base64.h"
#include "codec/quoted_printable.h"
#include "groundkit/decoder_plugin.h"
#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"
#include "internal/mime_text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/native_path.h"

namespace {

namespace mime = groundkit::mime;

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kPluginName = "Sorvane.dll";
constexpr int kDeepestNesting = 32;
constexpr std::size_t kWriteChunk = 256 * 1024;

std::string_view viewOf(const char* text) {
  return text ? std::string_view(text) : std::string_view();
}

void logLine(unsigned long number, const std::string& message) {
  BSCF_LoggingInfo1(("-_-~(" + std::to_string(number) + ")" + message).c_str(), 1);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Header lines (without their line ends) into fields: continuation lines, which
// begin with a blank or a tab, are appended unchanged to the line before; a
// line without ":" is all name.
template <typename Lines>
HeaderFields headerFields(const Lines& lines) {
  HeaderFields fields;
  bool open = false;
  for (std::string_view line : lines) {
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      if (open) fields.back().second.append(line);
      continue;
    }
    std::size_t colon = line.find(':');
    std::string_view name = line.substr(0, colon);
    std::string_view value =
        colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    fields.emplace_back(std::string(name), std::string(value));
    open = true;
  }
  return fields;
}

const std::string* fieldNoCase(const HeaderFields& fields, std::string_view name) {
  for (const auto& field : fields) {
    if (mime::equalsNoCase(field.first, name)) return &field.second;
  }
  return nullptr;
}

// One line of the text from position; advances past its line end. The line
// excludes CR LF or LF.
std::string_view takeLine(std::string_view text, std::size_t& position) {
  std::size_t newline = text.find('\n', position);
  std::size_t end = newline == std::string_view::npos ? text.size() : newline;
  std::string_view line = text.substr(position, end - position);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  position = newline == std::string_view::npos ? text.size() : newline + 1;
  return line;
}

// Splits a part (or message) into its header fields and its body at the first
// empty line.
HeaderFields splitHeader(std::string_view part, std::string_view& body) {
  std::vector<std::string_view> lines;
  std::size_t position = 0;
  while (position < part.size()) {
    std::string_view line = takeLine(part, position);
    if (line.empty()) break;
    lines.push_back(line);
  }
  body = part.substr(position);
  return headerFields(lines);
}

struct ContentType {
  int mainType = -1;
  int subType = -1;
  std::string parameters;
};

ContentType splitContentType(std::string_view value) {
  ContentType type;
  std::size_t semicolon = value.find(';');
  std::string_view name = value.substr(0, semicolon);
  if (semicolon != std::string_view::npos) {
    std::string_view rest = value.substr(semicolon + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    type.parameters = rest;
  }
  std::size_t slash = name.find('/');
  std::string main(mime::trimBlanks(name.substr(0, slash)));
  std::string sub(slash == std::string_view::npos ? std::string_view()
                                                  : mime::trimBlanks(name.substr(slash + 1)));
  type.mainType = BSCFEM_GetMainContentType(main.c_str());
  type.subType = BSCFEM_GetSubContentType(sub.c_str());
  return type;
}

// Collects decoded bytes and writes them on in chunks; after a failed write it writes no more.
template <typename Write>
class ChunkedWriter {
 public:
  explicit ChunkedWriter(Write write) : write_(std::move(write)) {}

  void push_back(char c) {
    if (failed_) return;
    bytes_.push_back(c);
    if (bytes_.size() >= kWriteChunk) flush();
  }

  // False when a write failed.
  bool finish() {
    if (!failed_ && !bytes_.empty()) flush();
    return !failed_;
  }

 private:
  void flush() {
    failed_ = !write_(std::string_view(bytes_));
    bytes_.clear();
  }

  Write write_;
  std::string bytes_;
  bool failed_ = false;
};

bool writeAll(std::FILE* file, std::string_view bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

long nowSeconds() { return static_cast<long>(std::time(nullptr)); }

// A file name made of the time that is new in the directory, created empty with
// its ".tmp".
std::optional<std::string> reserveGeneratedFile(const std::string& directory,
                                                const char* extension) {
  unsigned milliseconds = platform::tickCount() % 1000;
  for (int counter = 0; counter < 10000; ++counter) {
    char name[96];
    if (extension)
      std::snprintf(name, sizeof name, "%ld.%03u%d.%s", nowSeconds(), milliseconds, counter,
                    extension);
    else
      std::snprintf(name, sizeof name, "%ld%d", nowSeconds(), counter);
    std::string path = directory + "/" + name;
    if (platform::fileExists(path) || platform::fileExists(path + ".tmp")) continue;
    return mime::reservePartFile(directory, name);
  }
  return std::nullopt;
}

struct PartInfo {
  ContentType type;
  std::string transferEncoding;
  std::string disposition;
};

PartInfo partInfo(const HeaderFields& fields) {
  PartInfo info;
  const std::string* contentType = fieldNoCase(fields, "Content-Type");
  // A part without a Content-Type is plain text.
  info.type = splitContentType(contentType ? std::string_view(*contentType)
                                           : std::string_view("text/plain"));
  if (const std::string* encoding = fieldNoCase(fields, "Content-Transfer-Encoding"))
    info.transferEncoding = mime::trimBlanks(*encoding);
  if (const std::string* disposition = fieldNoCase(fields, "Content-Disposition"))
    info.disposition = *disposition;
  return info;
}

// The file name the sender gave the part: Content-Disposition's filename, then
// Content-Type's name, then Content-Type's file. The first one present is the
// name, usable or not.
std::optional<std::string> senderFileName(const PartInfo& info) {
  std::size_t semicolon = info.disposition.find(';');
  if (semicolon != std::string::npos) {
    if (auto name = mime::parameterValue(std::string_view(info.disposition).substr(semicolon + 1),
                                         "filename"))
      return name;
  }
  for (const char* parameter : {"name", "file"}) {
    if (auto name = mime::parameterValue(info.type.parameters, parameter)) return name;
  }
  return std::nullopt;
}

// Reserves the final file of a part and its ".tmp": the sender's name made
// safe, else one made of the time ("htm" or "txt" for text parts). "8bit" parts
// named ".doc" become ".txt".
std::optional<std::string> reservePartPath(const PartInfo& info, const std::string& directory) {
  std::string name;
  if (auto given = senderFileName(info)) name = mime::safeFileName(*given);
  if (!name.empty() && mime::equalsNoCase(info.transferEncoding, "8bit") && name.size() > 4 &&
      name.compare(name.size() - 4, 4, ".doc") == 0)
    name.replace(name.size() - 4, 4, ".txt");
  if (!name.empty()) return mime::reservePartFile(directory, name);
  if (info.type.mainType == 0)
    return reserveGeneratedFile(directory, info.type.subType == 2 ? "htm" : "txt");
  return reserveGeneratedFile(directory, nullptr);
}

// Writes the decoded body to the file; false when base64 is malformed or the
// file cannot be written.
bool writeDecodedBody(std::FILE* file, const std::string& encoding, std::string_view body,
                      unsigned long& error) {
  auto write = [file](std::string_view bytes) { return writeAll(file, bytes); };
  error = kMimePartNotDecoded;
  if (mime::equalsNoCase(encoding, "base64")) {
    codec::StrictBase64Decoder decoder;
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += kWriteChunk) {
      if (!decoder.feed(body.substr(at, kWriteChunk), out) || !write(out)) return false;
      out.clear();
    }
    decoder.finish(out);
    return write(out);
  }
  if (mime::equalsNoCase(encoding, "quoted-printable")) {
    ChunkedWriter writer(write);
    codec::decodeQuotedPrintable(body, codec::kBodyRules, writer);
    return writer.finish();
  }
  return write(body);
}

class Walker {
 public:
  Walker(std::string directory, std::vector<std::string>& files)
      : directory_(std::move(directory)), files_(files) {}

  // False (error set) when the boundary never starts a line of the body.
  bool walk(std::string_view body, const std::string& boundary, int depth, unsigned long& error) {
    std::vector<std::string_view> parts;
    if (!splitParts(body, boundary, parts)) {
      error = kMimeNoBoundary;
      return false;
    }
    for (std::string_view part : parts) {
      std::string_view partBody;
      PartInfo info = partInfo(splitHeader(part, partBody));
      if (info.type.mainType == 5) {
        auto nested = mime::parameterValue(info.type.parameters, "boundary");
        unsigned long nestedError = 0;
        if (!nested || nested->empty() || depth >= kDeepestNesting ||
            !walk(partBody, *nested, depth + 1, nestedError))
          logLine(kMimeNoBoundary, "Can not decode multipart " + std::string(info.type.parameters));
        continue;
      }
      savePart(info, partBody);
    }
    return true;
  }

 private:
  // The spans between delimiter lines; the text after a closing delimiter is
  // not a part, but a message cut off before its closing delimiter keeps its
  // last part.
  static bool splitParts(std::string_view body, const std::string& boundary,
                         std::vector<std::string_view>& parts) {
    std::string delimiter = "--" + boundary;
    std::size_t partStart = std::string_view::npos;
    bool found = false;
    for (std::size_t position = 0; position < body.size();) {
      std::size_t lineStart = position;
      std::string_view line = takeLine(body, position);
      if (line.substr(0, delimiter.size()) != delimiter) continue;
      std::string_view rest = line.substr(delimiter.size());
      bool closing = rest.substr(0, 2) == "--";
      if (closing) rest.remove_prefix(2);
      if (!mime::trimBlanks(rest).empty()) continue;
      found = true;
      if (partStart != std::string_view::npos)
        parts.push_back(withoutLastLineEnd(body.substr(partStart, lineStart - partStart)));
      if (closing) return true;
      partStart = position;
    }
    if (partStart != std::string_view::npos && partStart < body.size())
      parts.push_back(body.substr(partStart));
    return found;
  }

  // The line end before a delimiter belongs to the delimiter.
  static std::string_view withoutLastLineEnd(std::string_view part) {
    if (!part.empty() && part.back() == '\n') part.remove_suffix(1);
    if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
    return part;
  }

  void savePart(const PartInfo& info, std::string_view body) {
    std::optional<std::string> path = reservePartPath(info, directory_);
    if (!path) {
      logLine(platform::lastError(), "Can not save decode buffer into disk");
      return;
    }
    std::string temporary = *path + ".tmp";
    File file(platform::openFile(temporary, "wb"));
    unsigned long error = kMimeMessageNotOpened;
    bool written = file && writeDecodedBody(file.get(), info.transferEncoding, body, error);
    bool closed = file && std::fclose(file.release()) == 0;
    if (!written || !closed) {
      logLine(error, "Can not decode the file " + temporary);
      platform::removeFile(temporary);
      platform::removeFile(*path);
      return;
    }
    if (!platform::moveFile(temporary, *path)) {
      logLine(kMimePartNotMoved, "Can not move decoded the file " + temporary);
      return;
    }
    files_.push_back(*path);
  }

  std::string directory_;
  std::vector<std::string>& files_;
};

// The whole message in one block of its exact size.
bool readMessage(const char* path, std::string& message) {
  File file(platform::openFile(path, "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  long size = std::ftell(file.get());
  if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
  message.resize(static_cast<std::size_t>(size));
  std::size_t got = std::fread(message.data(), 1, message.size(), file.get());
  message.resize(got);
  return !std::ferror(file.get());
}

std::optional<std::string> boundaryOf(const MailHeaderMap& header) {
  for (const auto& [name, value] : header) {
    if (!mime::equalsNoCase(name, "Content-Type")) continue;
    std::size_t semicolon = value.find(';');
    if (semicolon == std::string::npos) return std::nullopt;
    auto boundary = mime::parameterValue(std::string_view(value).substr(semicolon + 1), "boundary");
    if (!boundary || boundary->empty()) return std::nullopt;
    return boundary;
  }
  return std::nullopt;
}

std::string directoryArgument(const char* directory) {
  std::string dir(viewOf(directory));
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  return dir;
}

// Copies a file in pieces into a file that was reserved for it.
bool copyInto(const std::string& from, const std::string& to) {
  File in(platform::openFile(from, "rb"));
  File out(in ? platform::openFile(to, "wb") : nullptr);
  if (!out) return false;
  std::vector<char> buffer(kWriteChunk);
  for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;) {
    if (std::fwrite(buffer.data(), 1, got, out.get()) != got) return false;
  }
  return !std::ferror(in.get()) && std::fclose(out.release()) == 0;
}

// The plug-in's part files copied into the directory; nothing (and nothing left
// behind) on failure.
bool decodeWithPlugin(const char* messagePath, const std::string& directory,
                      std::vector<std::string>& files) {
  void* library = platform::loadLibrary(kPluginName);
  if (library == nullptr) return false;
  auto getInterface = reinterpret_cast<GetSorvaneInterfaceFunction>(
      platform::librarySymbol(library, "GetSorvaneInterface"));
  ISorvaneInterface* decoder = nullptr;
  if (getInterface == nullptr || getInterface(&decoder) == 0 || decoder == nullptr) {
    platform::freeLibrary(library);
    return false;
  }
  std::vector<std::string> copied;
  ISorvanePart* const* parts = nullptr;
  unsigned long count = 0;
  bool ok = decoder->LoadMessage(messagePath, 1) != 0 &&
            decoder->GetPartList(&parts, &count) != 0 && (count == 0 || parts != nullptr);
  for (unsigned long i = 0; ok && i < count; ++i) {
    char decoded[260] = {};
    ok = parts[i] != nullptr && parts[i]->GetDecodedFile(decoded, sizeof decoded) != 0;
    if (!ok) break;
    decoded[sizeof decoded - 1] = '\0';
    std::string_view decodedPath(decoded);
    std::size_t separator = decodedPath.find_last_of("/\\");
    std::string name(separator == std::string_view::npos ? decodedPath
                                                         : decodedPath.substr(separator + 1));
    if (!parts[i]->HasOwnName()) name += ".content";
    name = mime::safeFileName(name);
    std::optional<std::string> target = name.empty() ? reserveGeneratedFile(directory, nullptr)
                                                     : mime::reservePartFile(directory, name);
    ok = target.has_value();
    if (!ok) break;
    std::string temporary = *target + ".tmp";
    ok = copyInto(std::string(decodedPath), temporary) && platform::moveFile(temporary, *target);
    if (!ok) platform::removeFile(temporary);
    copied.push_back(*target);
  }
  decoder->Finish();
  decoder->Release();
  platform::freeLibrary(library);
  if (!ok) {
    for (const std::string& path : copied) platform::removeFile(path);
    return false;
  }
  files.insert(files.end(), copied.begin(), copied.end());
  return true;
}

}  // namespace

extern "C" {

int BSCFEM_D_GetMailHeaderSec(const char* messagePath, MailHeaderMap& header,
                              unsigned long& error) {
  try {
    std::ifstream file;
    if (messagePath != nullptr && !platform::isDirectory(messagePath))
      file.open(platform::nativePath(messagePath), std::ios::binary);
    if (!file.is_open()) {
      error = kMimeMessageNotOpened;
      return 0;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) break;
      lines.push_back(std::move(line));
    }
    if (file.bad()) {
      error = kMimeMessageNotRead;
      return 0;
    }
    for (auto& [name, value] : headerFields(lines))
      header.emplace(std::move(name), std::move(value));
    return 1;
  } catch (...) {
    error = kMimeMessageNotRead;
    return 0;
  }
}

void BSCFEM_GetMailParamFromHead(char* headerText, const char* name, char* value) {
  if (headerText == nullptr || name == nullptr) return;
  std::vector<std::string_view> lines;
  char* lineStart = headerText;
  for (char* c = headerText;; ++c) {
    bool end = *c == '\0';
    if (end || *c == '\r' || *c == '\n') {
      if (c > lineStart) lines.emplace_back(lineStart, static_cast<std::size_t>(c - lineStart));
      if (end) break;
      *c = '\0';
      lineStart = c + 1;
    }
  }
  try {
    HeaderFields fields = headerFields(lines);
    if (const std::string* found = fieldNoCase(fields, name)) groundkit::boundedCopy(value, *found);
  } catch (...) {
  }
}

void BSCFEM_D_SpliteContentTypeLine(const char* contentType, int& mainType, int& subType,
                                    char* parameters) {
  ContentType type = splitContentType(viewOf(contentType));
  mainType = type.mainType;
  subType = type.subType;
  groundkit::boundedCopy(parameters, type.parameters);
}

int BSCFEM_D_DecodeBase64File(const char* base64Path, const char* outputPath) {
  try {
    if (base64Path == nullptr || outputPath == nullptr) return 0;
    File in(platform::openFile(base64Path, "rb"));
    File out(in ? platform::openFile(outputPath, "wb") : nullptr);
    if (!out) return 0;
    codec::StrictBase64Decoder decoder;
    std::vector<char> buffer(64 * 1024);
    std::string decoded;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;) {
      bool ok = decoder.feed(std::string_view(buffer.data(), got), decoded);
      if (!writeAll(out.get(), decoded) || !ok) return 0;
      decoded.clear();
    }
    if (std::ferror(in.get())) return 0;
    decoder.finish(decoded);
    return writeAll(out.get(), decoded) && std::fclose(out.release()) == 0 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int BSCFEM_D_SaveBufferToDisk(std::string& partText, const char* directory, char* partPath,
                              char* transferEncoding, char* parameters, unsigned long& error) {
  try {
    std::string dir = directoryArgument(directory);
    std::string_view body;
    PartInfo info = partInfo(splitHeader(partText, body));
    groundkit::boundedCopy(parameters, info.type.parameters);
    std::optional<std::string> path;
    if (info.type.mainType == 5) {
      groundkit::boundedCopy(transferEncoding, "multipart");
      // A nested multipart is kept whole in a file of its own
      // ("<dir>/<seconds><n>.tmp").
      for (int counter = 0; counter < 10000 && !path; ++counter) {
        std::string candidate =
            dir + "/" + std::to_string(nowSeconds()) + std::to_string(counter) + ".tmp";
        if (std::FILE* file = mime::createNewFile(candidate)) {
          std::fclose(file);
          path = candidate;
        }
      }
      if (path) path->resize(path->size() - 4);
      info.transferEncoding.clear();
    } else {
      groundkit::boundedCopy(transferEncoding, info.transferEncoding);
      path = reservePartPath(info, dir);
      if (path) platform::removeFile(*path);  // only its ".tmp" is written here
    }
    if (!path) {
      error = platform::lastError();
      logLine(error, "Can not save decode buffer into disk");
      partText.clear();
      return 0;
    }
    std::string temporary = *path + ".tmp";
    File file(platform::openFile(temporary, "wb"));
    // Quoted-printable is decoded here; base64 is left to
    // BSCFEM_D_DecodeBase64File.
    std::string encoding =
        mime::equalsNoCase(info.transferEncoding, "quoted-printable") ? info.transferEncoding : "";
    unsigned long writeError = 0;
    bool ok = file && writeDecodedBody(file.get(), encoding, body, writeError) &&
              std::fclose(file.release()) == 0;
    groundkit::boundedCopy(partPath, temporary);
    partText.clear();
    if (!ok) {
      error = kMimeMessageNotOpened;
      logLine(error, "Can not save decode buffer into disk");
      return 0;
    }
    return 1;
  } catch (...) {
    error = platform::err::kNotEnoughMemory;
    return 0;
  }
}

int BSCFEM_D_WalkMimeMessage(const char* messagePath, const char* directory,
                             std::vector<std::string>& files, unsigned long& error) {
  try {
    MailHeaderMap header;
    if (!BSCFEM_D_GetMailHeaderSec(messagePath, header, error)) return 0;
    std::optional<std::string> boundary = boundaryOf(header);
    if (!boundary) {
      error = kMimeNoBoundary;
      return 0;
    }
    std::string message;
    if (!readMessage(messagePath, message)) {
      error = kMimeMessageNotOpened;
      return 0;
    }
    std::string_view body;
    splitHeader(message, body);
    Walker walker(directoryArgument(directory), files);
    return walker.walk(body, *boundary, 0, error) ? 1 : 0;
  } catch (...) {
    error = kMimeMessageNotRead;
    return 0;
  }
}

int BSCFEM_D_GetAttachFileFromEmail(const char* messagePath, const char* directory,
                                    std::vector<std::string>& files, unsigned long& error) {
  try {
    if (messagePath != nullptr &&
        decodeWithPlugin(messagePath, directoryArgument(directory), files))
      return 1;
  } catch (...) {
  }
  return BSCFEM_D_WalkMimeMessage(messagePath, directory, files, error);
}

}  // extern "C"
