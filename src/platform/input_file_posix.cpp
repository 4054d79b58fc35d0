#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/input_file.h"

struct InputFile::Native {
  ~Native() {
    if (descriptor >= 0) close(descriptor);
  }
  int descriptor = -1;
  int64_t size = 0;
};

InputFile::InputFile() : native_(std::make_unique<Native>()) {}

InputFile::~InputFile() = default;

bool InputFile::Open(const char* path) {
  if (native_->descriptor >= 0) return false;
  // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; the
  // type check below refuses it before anything is read.
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) return false;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return false;
  }
  native_->descriptor = descriptor;
  native_->size = static_cast<int64_t>(status.st_size);
  return true;
}

int64_t InputFile::Size() const { return native_->size; }

int32_t InputFile::Read(uint8_t* buffer, uint32_t count) {
  if (native_->descriptor < 0) return -1;
  for (;;) {
    const ssize_t got = read(native_->descriptor, buffer, count);
    if (got >= 0) return static_cast<int32_t>(got);
    if (errno != EINTR) return -1;
  }
}
