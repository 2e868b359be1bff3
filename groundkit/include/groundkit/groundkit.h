#pragma once
// Groundkit: plain exported functions for mail addresses, transfer encodings, logging and the debug
// channel, and files. Strings are zero-terminated byte strings; results go into buffers the caller
// owns. "Bounded copy" outputs hold at most 1,023 characters and a terminating zero.

#include <string>
#include <vector>

#if defined(_WIN32)
#  if defined(GROUNDKIT_BUILDING)
#    define GROUNDKIT_API __declspec(dllexport)
#  else
#    define GROUNDKIT_API __declspec(dllimport)
#  endif
#else
#  define GROUNDKIT_API __attribute__((visibility("default")))
#endif

// A debug monitor: the path of the monitor's local socket; null when there is none.
typedef const char* DebugWindow;

extern "C" {

// ---- Addresses -------------------------------------------------------------------------------
GROUNDKIT_API void BSCFEM_SplitEmailAddress(const char* address, char* name, char* user, char* domain);
GROUNDKIT_API void BSCFEM_SplitEmailToArray(char* addressList, std::vector<std::string>& array);
GROUNDKIT_API void BSCFEM_2SimpleEmailAddress(const char* address, char* bareAddress);
GROUNDKIT_API void BSCFEM_2EnvlopeAddress(const char* address, char* envelopeAddress);
GROUNDKIT_API void BSCFEM_GetHostName(const char* address, char* domain);
GROUNDKIT_API int BSCF_IsLegalEmailAddress(const char* address);
GROUNDKIT_API int BSCF_IsLegalDomainName(const char* domainName);
GROUNDKIT_API void BSCFEM_FormatEmailAddr(const char* address, const char* second, char* output);
GROUNDKIT_API void BSCFEM_SplitIPAddress(char* dottedAddress, unsigned char& first, unsigned char& second,
                                         unsigned char& third, unsigned char& fourth);
GROUNDKIT_API int BSCF_IsLegalFaxNo(const char* faxNumber);
GROUNDKIT_API void BSCF_SplitFaxNo(const char* faxNumber, char* firstPart, char* secondPart);

// ---- Transfer encodings ----------------------------------------------------------------------
GROUNDKIT_API unsigned long BSCFEM_Base64BufferSize(unsigned long inputLength);
GROUNDKIT_API int BSCFEM_EncodeBase64(const unsigned char* data, unsigned long dataLength, char* output,
                                      unsigned long outputSize, unsigned long& outputLength);
GROUNDKIT_API void BSCFEM_decode_b64(char* text);
GROUNDKIT_API void BSCFEM_decode_qp(char* text);
GROUNDKIT_API int BSCFEM_GetEncodeString(const char* text, char* charset, char* encoding,
                                         char* encodedText, char* encodedWord);
GROUNDKIT_API int BSCFEM_DecodeStringEx(const char* encodedText, char* output, const char* encoding);
GROUNDKIT_API int BSCFEM_DecodeString(const char* headerValue, char* output);
// The header field "name: value" with its CR LF. A value of printable ASCII is written as it is;
// any other is written as base64 encoded words of the charset, each of whole characters (for a
// multi-byte charset such as UTF-8) and folded so that no line is longer than 76 characters.
// Returns 1; 0 without a name or a charset, or with a charset name too long to fit a line.
GROUNDKIT_API int BSCFEM_EncodeHeaderField(const char* name, const char* value, const char* charset,
                                           std::string& field);

// ---- Logging and the debug channel -----------------------------------------------------------
GROUNDKIT_API void BSCF_GetLoggingFile(unsigned int kind, char* path);
GROUNDKIT_API int BSCF_IsStartRecordLog(unsigned int kind);
GROUNDKIT_API void BSCF_LoggingInfo0(const char* text, unsigned int kind);
GROUNDKIT_API void BSCF_LoggingInfo1(const char* text, unsigned int kind);
GROUNDKIT_API void BSCF_LoggingInfo2(const char* format, int argument, unsigned int kind);
GROUNDKIT_API void BSCF_LoggingInfo3(const char* format, int first, int second, unsigned int kind);
GROUNDKIT_API int BSCF_SendMessageData(DebugWindow window, const char* text, int first, int second,
                                       int third);

// ---- Files and system ------------------------------------------------------------------------
GROUNDKIT_API void BSCF_GetFilePath(const char* fullPath, char* directory);
GROUNDKIT_API int BSCF_GetFileName(const char* fullPath, char* fileName);
GROUNDKIT_API void BSCF_SetFileExt(char* path, const char* extension);
GROUNDKIT_API int BSCF_MakeDeepDirectory(const char* path);
GROUNDKIT_API int BSCF_IsLegalDirectoryName(const char* path);
GROUNDKIT_API int BSCF_IsFileExisted(const char* path);
GROUNDKIT_API int BSCF_SafeDeleteFile(const char* path);
GROUNDKIT_API void BSCF_GetApplicationPath(const char* moduleName, char* directory);
GROUNDKIT_API int BSCF_GetIniSecNameList(const char* iniPath, std::vector<std::string>& array);
GROUNDKIT_API void BSCF_InsertStringToArrayByOrder(std::vector<std::string>& array, const char* text,
                                                   int sorted);

// ---- Printers, the folder picker, folder icons -------------------------------------------------
// Printers are the destinations of the CUPS scheduler. Failures that come from the scheduler's
// connection carry the socket error (10061 refused, 10060 no answer in time); 1801 names a printer
// the scheduler does not know.
GROUNDKIT_API int BSCF_GetDefaultPrinter(char* name, unsigned long size, unsigned long& error);
GROUNDKIT_API int BSCF_SetDefaultPrinter(const char* name, unsigned long& error);
GROUNDKIT_API int BSCF_EnumSysPrinters(std::vector<std::string>& array);
// The desktop's folder dialog, loaded with its GUI library only when called. owner is the host's
// QWidget* to centre on, or null; a host without a QApplication gets one created for it.
GROUNDKIT_API int BSCF_ShowFolderSelectDlg(char* folder, const char* title, void* owner,
                                           const char* rootFolder, const char* initialFolder);
GROUNDKIT_API void BSCF_SetFolderIcon(const char* folder, const char* iconFile, int iconIndex);
GROUNDKIT_API void BSCF_RemoveIllegalChar(char* text);
// Seconds since 1970 of the file's creation (its change time where the file system keeps no
// creation time); 0 when the file cannot be examined.
GROUNDKIT_API long long BSCF_GetFileCreateTime(const char* path);

}  // extern "C"

// Message composition and decoding.
#include "groundkit/mime.h"
