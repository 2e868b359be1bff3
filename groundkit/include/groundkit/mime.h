#pragma once
// Groundkit MIME: composing a message file, and taking a stored message apart
// into part files. Included by groundkit.h.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#if !defined(GROUNDKIT_API)
#if defined(_WIN32)
#if defined(GROUNDKIT_BUILDING)
#define GROUNDKIT_API __declspec(dllexport)
#else
#define GROUNDKIT_API __declspec(dllimport)
#endif
#else
#define GROUNDKIT_API __attribute__((visibility("default")))
#endif
#endif

// Codes stored through the error-code argument when a MIME function gives 0.
inline constexpr unsigned long kMimeHeaderTooLong = 36864;         // header does not fit its buffer
inline constexpr unsigned long kMimeBodyNotEncoded = 36865;        // body text cannot be encoded
inline constexpr unsigned long kMimeAttachmentNotOpened = 36866;   // attachment cannot be opened
inline constexpr unsigned long kMimeAttachmentNotEncoded = 36867;  // attachment cannot be encoded
inline constexpr unsigned long kMimeMessageNotOpened =
    36868;  // message or part file cannot be opened
inline constexpr unsigned long kMimeMessageNotRead = 36869;    // reading the message failed
inline constexpr unsigned long kMimeNoBoundary = 36870;        // no Content-Type or no boundary
inline constexpr unsigned long kMimePartNotDecoded = 36871;    // a base64 part cannot be decoded
inline constexpr unsigned long kMimePartNotMoved = 36872;      // a part cannot get its final name
inline constexpr unsigned long kMimeLineBreakInValue = 36873;  // a header value holds CR or LF

// Header name to value, names as written in the message (compared with case).
typedef std::map<std::string, std::string> MailHeaderMap;

extern "C" {

// ---- Composition
// -----------------------------------------------------------------------------
// Content-type numbers: text 0, image 1, audio 2, video 3, application 4,
// multipart 5; subtypes plain 0, enriched 1, html 2, rfc822-headers 3, jpeg 4,
// tiff 5, basic 6, mpeg 7, octet-stream 8, postscript 9, applefile 10,
// mac-binhex40 11, mixed 12, alternative 13; -1 for other names.
GROUNDKIT_API int BSCFEM_GetMainContentType(const char* name);
GROUNDKIT_API int BSCFEM_GetSubContentType(const char* name);
// The charset of narrow strings: "UTF-8", or "GB2312" under a Chinese code
// page. Returns its length.
GROUNDKIT_API int BSCFEM_GetCharset(char* output);
// A new boundary "----=_NEXT_PART_000_<seconds>_<random>"; returns its length.
GROUNDKIT_API int BSCFEM_GetBoundaryID(char* output);
// "main/sub;" CR LF TAB and one parameter: charset for text, name (the file
// name the caller put into parameter) for application, otherwise a new
// boundary, which is also written into parameter.
GROUNDKIT_API void BSCFEM_GetContentTypeDesc(int mainType, int subType, char* output,
                                             char* parameter);
// Encodes the rest of the open file as base64 lines into output.
GROUNDKIT_API int BSCFEM_EncodeFile(std::FILE* file, std::string& output, unsigned long& error);
GROUNDKIT_API int BSCFEM_EncodeEmailHeader(const char* sender,
                                           const std::vector<std::string>& recipients,
                                           const char* subject, const char* contentType,
                                           int noEncoding, char* output, unsigned long outputSize,
                                           unsigned long& error);
// Appends a whole message (body text as base64, attachments as base64 parts) to
// the message file.
GROUNDKIT_API int BSCFEM_EncodeEmailMission(const char* messagePath, const char* sender,
                                            const std::vector<std::string>& recipients,
                                            const char* subject, const char* bodyText,
                                            const std::vector<std::string>& attachments,
                                            unsigned long& error);
// Adds "name: value" as the last header line of the message file, replacing the
// file as a whole. 0 when the file cannot be read or replaced, or the name or
// value is unusable (last error set).
GROUNDKIT_API int BSCFEM_AddSpecialHeadLine(const char* messagePath, const char* name,
                                            const char* value);

// ---- Decoding
// --------------------------------------------------------------------------------
GROUNDKIT_API int BSCFEM_D_GetMailHeaderSec(const char* messagePath, MailHeaderMap& header,
                                            unsigned long& error);
GROUNDKIT_API void BSCFEM_GetMailParamFromHead(char* headerText, const char* name, char* value);
GROUNDKIT_API void BSCFEM_D_SpliteContentTypeLine(const char* contentType, int& mainType,
                                                  int& subType, char* parameters);
GROUNDKIT_API int BSCFEM_D_DecodeBase64File(const char* base64Path, const char* outputPath);
// Saves one part (its header, an empty line, its body) as a ".tmp" file in the
// directory and gives that file's path, the part's transfer encoding and its
// Content-Type parameters.
GROUNDKIT_API int BSCFEM_D_SaveBufferToDisk(std::string& partText, const char* directory,
                                            char* partPath, char* transferEncoding,
                                            char* parameters, unsigned long& error);
// Saves every part of the message as a file in the directory and appends the
// files' paths; the decoding plug-in does the work when it is installed, the
// library's own MIME walker otherwise.
GROUNDKIT_API int BSCFEM_D_GetAttachFileFromEmail(const char* messagePath, const char* directory,
                                                  std::vector<std::string>& files,
                                                  unsigned long& error);
// The library's own MIME walker alone: multipart messages only (36870 for
// others).
GROUNDKIT_API int BSCFEM_D_WalkMimeMessage(const char* messagePath, const char* directory,
                                           std::vector<std::string>& files, unsigned long& error);

}  // extern "C"
