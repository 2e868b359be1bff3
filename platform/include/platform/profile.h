#pragma once
// Private-profile (INI) files with the Windows semantics: section and key names are matched without
// regard to case, the first matching section and key win, blanks around keys and values are ignored
// on reading and one pair of matching quotes around a value is removed. Writes replace a key's line
// in place, add a key at the end of its section or a section at the end of the file, and keep every
// other line byte for byte. Values are bytes. Files are replaced by rename, never half-written.
//
// Names and values that would not read back as written are refused with last error 87 and nothing
// changed: a line break or a zero byte anywhere; a section name that is empty, holds "]" or has
// blanks at either end; a key that is empty, has blanks at either end, holds "=" or starts with ";"
// or "[". Values are written as given (the reader trims them and removes one pair of quotes).
//
// Writers of one file are serialised, between threads and between processes: each write holds the
// writer lock of the file's folder (a flock of the folder itself) from loading the file to
// replacing it. Readers need no lock, since a file is only ever replaced whole.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

namespace platform {

// One INI file held in memory, for reading many values or making many changes and saving once.
class PLATFORM_API ProfileFile {
 public:
  ProfileFile();
  ~ProfileFile();
  ProfileFile(ProfileFile&&);
  ProfileFile& operator=(ProfileFile&&) noexcept;
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // Reads the file; a missing file gives an empty profile. False (with the last error set) only
  // when the file exists and cannot be read.
  bool load(const std::string& path);
  // Parses text as the contents of a file.
  void parse(std::string_view text);
  std::string serialize() const;
  // Writes the contents to a new file beside the path and renames it over the path, holding the
  // file's writer lock. To change a file that may have other writers, use edit().
  bool save(const std::string& path) const;
  // Loads the file, lets change edit it and, when change returns true, saves it, all under the
  // file's writer lock so that no other writer comes in between. False with the last error set
  // when the lock, the load or the save fails, or when change returns false (then nothing is saved
  // and the last error is what change left). change must not write a file of the same folder
  // itself: such a write fails (last error 33) rather than wait for the lock its own thread holds.
  static bool edit(const std::string& path, const std::function<bool(ProfileFile&)>& change);

  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  std::vector<std::string> sectionNames() const;
  std::vector<std::string> keyNames(std::string_view section) const;

  // Sets the key's value, adding the key at the end of its section or the section at the end.
  // False (last error 87, nothing changed) for a name or value that is refused, see above.
  bool setValue(std::string_view section, std::string_view key, std::string_view value);
  // True when the key existed.
  bool removeKey(std::string_view section, std::string_view key);
  // True when the section existed; removes its header and all its lines.
  bool removeSection(std::string_view section);

 private:
  struct Impl;
  Impl* impl_;
};

// The Windows calls, one file access each.
PLATFORM_API std::string getPrivateProfileString(const char* section, const char* key,
                                                 const char* defaultValue, const char* file);
// As Windows: copies at most size-1 bytes and a zero; returns the count copied.
PLATFORM_API unsigned long getPrivateProfileString(const char* section, const char* key,
                                                   const char* defaultValue, char* buffer,
                                                   unsigned long size, const char* file);
// Leading digits with an optional sign; the default when the key is missing.
PLATFORM_API int getPrivateProfileInt(const char* section, const char* key, int defaultValue,
                                      const char* file);
// A null key removes the section, a null value removes the key; names that are only looked up
// this way may be any text without a line break.
PLATFORM_API bool writePrivateProfileString(const char* section, const char* key, const char* value,
                                            const char* file);
PLATFORM_API std::vector<std::string> getPrivateProfileSectionNames(const char* file);

// The integer at the start of text as profile reading takes it: optional blanks, an optional sign,
// then digits; 0 when there are none.
PLATFORM_API long leadingInteger(std::string_view text);

}  // namespace platform
