#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>

#include "platform/input_file.h"

struct InputFile::Native {
  ~Native() {
    if (file != nullptr) std::fclose(file);
  }
  std::FILE* file = nullptr;
  int64_t size = 0;
};

InputFile::InputFile() : native_(std::make_unique<Native>()) {}

InputFile::~InputFile() = default;

bool InputFile::Open(const char* path) {
  if (native_->file != nullptr) return false;
  struct _stat64 status;
  if (_stat64(path, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) return false;
  native_->file = std::fopen(path, "rb");
  if (native_->file == nullptr) return false;
  native_->size = static_cast<int64_t>(status.st_size);
  return true;
}

int64_t InputFile::Size() const { return native_->size; }

int32_t InputFile::Read(uint8_t* buffer, uint32_t count) {
  if (native_->file == nullptr) return -1;
  const size_t got = std::fread(buffer, 1, count, native_->file);
  if (got == 0 && std::ferror(native_->file)) return -1;
  return static_cast<int32_t>(got);
}
