#pragma once

#include <cstddef>
#include <string>

#include "postwell/export.h"

// One message as a POP3 session retrieved it (RETR or TOP): the text after the status line, lines
// ending in CR LF, head and body separated by the first empty line, byte-stuffed lines kept as sent.
class POSTWELL_API CPop3Message {
 public:
  CPop3Message();
  CPop3Message(const CPop3Message& other);
  CPop3Message& operator=(const CPop3Message& other);
  ~CPop3Message();

  // Null until a message has been stored.
  const char* GetMessageText() const { return m_pszText; }
  // Replaces the text by a NUL-terminated copy of length bytes; false, with the text unchanged,
  // when there is no memory for the copy.
  bool SetMessageText(const char* text, std::size_t length);

  // The text before the first "\r\n\r\n"; the whole text if there is none.
  std::string GetHeader() const;
  // The character after the first "\r\n\r\n"; null if there is none.
  const char* GetRawBody() const;
  std::string GetBody() const;

  // The value of the index-th field of that name (0 is the first): name matched without regard to
  // case, folded lines joined, tabs made blanks, trimmed, an encoded word decoded. Empty if absent.
  std::string GetHeaderItem(const char* name, int index) const;
  // The first field of that name, cut to size - 1 characters, NUL-terminated into the buffer.
  void GetHeaderItemEx(const char* name, char* buffer, int size) const;

  std::string GetSubject() const;
  std::string GetFrom() const;
  std::string GetFrom1();
  std::string GetDate() const;
  std::string GetSPFlag() const;
  // "Reply-To", else "From", else "Sender", else "Return-Path".
  std::string GetReplyTo() const;

  // Appends the text to the file, creating missing directories. 0 with error 4932 when the file
  // cannot be opened or written.
  int SaveToDisk(const char* path, unsigned long& error);

 private:
  std::string FindHeaderItem(const char* name, int index) const;

  char* m_pszText;
};
