#include "postwell/pop3_message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "groundkit/groundkit.h"
#include "platform/append_file.h"

namespace {

constexpr unsigned long kSaveFailed = 4932;
const char kHeadEnd[] = "\r\n\r\n";
// The decoder copies its result with a bounded copy: at most 1,023 characters and a zero.
constexpr std::size_t kDecodeBufferSize = 1024;

char* copyText(const char* text, std::size_t length) {
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Joins folded lines, makes tabs blanks and trims.
std::string unfold(const std::string& raw) {
  std::string value;
  value.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
      ++i;
      continue;
    }
    value += raw[i] == '\t' ? ' ' : raw[i];
  }
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  auto first = std::find_if_not(value.begin(), value.end(), blank);
  auto last = std::find_if_not(value.rbegin(), value.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// Values longer than the decoder's bounded copy stay as they are, so nothing is cut.
std::string decodeEncodedWord(const std::string& value) {
  if (value.size() >= kDecodeBufferSize) return value;
  char decoded[kDecodeBufferSize] = "";
  if (BSCFEM_DecodeString(value.c_str(), decoded) != 0) return decoded;
  return value;
}

}  // namespace

CPop3Message::CPop3Message() : m_pszText(nullptr) {}

CPop3Message::CPop3Message(const CPop3Message& other)
    : m_pszText(other.m_pszText ? copyText(other.m_pszText, std::strlen(other.m_pszText)) : nullptr) {}

CPop3Message& CPop3Message::operator=(const CPop3Message& other) {
  if (this != &other) {
    char* copy = other.m_pszText ? copyText(other.m_pszText, std::strlen(other.m_pszText)) : nullptr;
    delete[] m_pszText;
    m_pszText = copy;
  }
  return *this;
}

CPop3Message::~CPop3Message() { delete[] m_pszText; }

bool CPop3Message::SetMessageText(const char* text, std::size_t length) {
  char* copy = new (std::nothrow) char[length + 1];
  if (copy == nullptr) return false;
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  delete[] m_pszText;
  m_pszText = copy;
  return true;
}

// The lookups return an empty value when memory runs out, as for a field that is not there.
std::string CPop3Message::GetHeader() const {
  if (m_pszText == nullptr) return {};
  const char* end = std::strstr(m_pszText, kHeadEnd);
  try {
    return end ? std::string(m_pszText, static_cast<std::size_t>(end - m_pszText)) : std::string(m_pszText);
  } catch (const std::exception&) {
    return {};
  }
}

const char* CPop3Message::GetRawBody() const {
  if (m_pszText == nullptr) return nullptr;
  const char* end = std::strstr(m_pszText, kHeadEnd);
  return end ? end + std::strlen(kHeadEnd) : nullptr;
}

std::string CPop3Message::GetBody() const {
  const char* body = GetRawBody();
  try {
    return body ? std::string(body) : std::string();
  } catch (const std::exception&) {
    return {};
  }
}

std::string CPop3Message::GetHeaderItem(const char* name, int index) const {
  try {
    return FindHeaderItem(name, index);
  } catch (const std::exception&) {
    return {};
  }
}

std::string CPop3Message::FindHeaderItem(const char* name, int index) const {
  const std::string work = "\r\n" + GetHeader();
  const std::string search = upper(work);
  const std::string key = "\r\n" + upper(name ? name : "") + ":";

  std::size_t at = search.find(key);
  for (int skipped = 0; at != std::string::npos && skipped < index; ++skipped)
    at = search.find(key, at + key.size());
  if (at == std::string::npos) return {};

  const std::size_t start = at + key.size();
  std::size_t end = start;
  for (;;) {
    end = work.find("\r\n", end);
    if (end == std::string::npos) {
      end = work.size();
      break;
    }
    if (end + 2 < work.size() && (work[end + 2] == ' ' || work[end + 2] == '\t')) {
      end += 2;
      continue;
    }
    break;
  }
  return decodeEncodedWord(unfold(work.substr(start, end - start)));
}

void CPop3Message::GetHeaderItemEx(const char* name, char* buffer, int size) const {
  if (buffer == nullptr || size <= 0) return;
  const std::string value = GetHeaderItem(name, 0);
  const std::size_t length = std::min(value.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}

std::string CPop3Message::GetSubject() const { return GetHeaderItem("Subject", 0); }
std::string CPop3Message::GetFrom() const { return GetHeaderItem("From", 0); }
std::string CPop3Message::GetFrom1() { return GetHeaderItem("From", 0); }
std::string CPop3Message::GetDate() const { return GetHeaderItem("Date", 0); }
std::string CPop3Message::GetSPFlag() const { return GetHeaderItem("X-MPFlag", 0); }

std::string CPop3Message::GetReplyTo() const try {
  std::string address = GetHeaderItem("Reply-To", 0);
  if (address.empty()) address = GetFrom();
  if (address.empty()) address = GetHeaderItem("Sender", 0);
  if (address.empty()) address = GetHeaderItem("Return-Path", 0);
  return address;
} catch (const std::exception&) {
  return {};
}

int CPop3Message::SaveToDisk(const char* path, unsigned long& error) {
  if (path == nullptr || *path == '\0') {
    error = kSaveFailed;
    return 0;
  }
  try {
    // The directory part is written with a bounded copy of up to 1,023 characters.
    char directory[1024] = "";
    BSCF_GetFilePath(path, directory);
    if (directory[0] != '\0') BSCF_MakeDeepDirectory(directory);

    // On the disk before the caller deletes the message from the server.
    const std::string_view text = m_pszText != nullptr ? std::string_view(m_pszText) : std::string_view();
    if (platform::appendToFile(path, text, true)) return 1;
  } catch (const std::exception&) {
  }
  error = kSaveFailed;
  return 0;
}
