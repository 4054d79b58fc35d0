#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

// A fresh directory under /tmp for one test's files, removed with all it
// holds when the object goes. Path() is empty when it could not be made.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr) path = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& Path() const { return path; }

 private:
  std::string path;
};
