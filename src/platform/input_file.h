#pragma once

#include <cstdint>
#include <memory>

// One regular file opened for binary reading. Opening never waits: a FIFO,
// a device or a directory is refused, as is anything that cannot be opened.
// The file is closed when the object goes.
class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // True when `path` names a regular file that is now open.
  bool Open(const char* path);
  // The size of the open file in bytes, as the file system gives it now.
  int64_t Size() const;
  // Reads up to `count` bytes: the number read, 0 at the end of the file,
  // -1 on a failure.
  int32_t Read(uint8_t* buffer, uint32_t count);

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};
