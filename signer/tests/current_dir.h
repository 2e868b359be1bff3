#pragma once

#include <filesystem>

#include "temp_dir.h"

// A fresh temporary directory that is the current one (where the task store lives) while it lives.
class CurrentTempDir {
 public:
  CurrentTempDir() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
  }
  ~CurrentTempDir() { std::filesystem::current_path(previous_); }
  CurrentTempDir(const CurrentTempDir&) = delete;
  CurrentTempDir& operator=(const CurrentTempDir&) = delete;

  std::string file(const std::string& name) const { return dir_.file(name); }

 private:
  std::filesystem::path previous_;
  testsupport::TempDir dir_;
};
