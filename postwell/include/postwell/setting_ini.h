#pragma once

#include <string>

#include "postwell/export.h"

// Reads and writes single values of INI files; every call names the section, the key and the file.
class POSTWELL_API CSetting_Ini {
 public:
  CSetting_Ini();
  virtual ~CSetting_Ini();

  void GetAttribute(const char* section, const char* key, const char* file, std::string& value);
  void GetAttribute(const char* section, const char* key, const char* file, int& value);
  int PutAttribute(const char* section, const char* key, const char* file, std::string value);
  int PutAttribute(const char* section, const char* key, const char* file, int value);

 protected:
  int CompareSettingItem(std::string first, std::string second, int caseSensitive);
};
