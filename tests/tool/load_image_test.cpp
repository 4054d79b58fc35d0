#include "tool/load_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scratch_directory.h"

namespace {

class LoadImageTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(directory.empty()); }

  // A file of `size` bytes counting up from 0, wrapping at 256.
  std::string MakeFile(const char* name, size_t size) {
    const std::string path = directory + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (size_t i = 0; i < size; ++i) std::fputc(static_cast<int>(i & 0xFF), file);
    std::fclose(file);
    return path;
  }

  ImageLoadResult Load(const std::string& path) {
    content.assign(kImageLoadCapacity, 0xEE);
    return LoadImageFile(path.c_str(), content.data(), size);
  }

  ScratchDirectory scratch{"kavlo-load-image"};
  const std::string directory = scratch.Path();
  std::vector<uint8_t> content;
  uint32_t size = 12345;
};

TEST_F(LoadImageTest, RegularFilesUpToTheLimitLoadWhole) {
  for (const size_t length : {size_t{0}, size_t{1}, size_t{1000}, size_t{32768}}) {
    SCOPED_TRACE(length);
    ASSERT_EQ(Load(MakeFile("image.bin", length)), ImageLoadResult::Loaded);
    ASSERT_EQ(size, length);
    for (size_t i = 0; i < length; ++i) ASSERT_EQ(content[i], i & 0xFF) << "byte " << i;
  }
}

TEST_F(LoadImageTest, FilesAboveTheLimitAreTooLarge) {
  EXPECT_EQ(Load(MakeFile("big.bin", 32769)), ImageLoadResult::TooLarge);
  EXPECT_EQ(size, 0u);

  // Beyond 2 GiB, where a signed 32-bit size would turn negative (sparse).
  const std::string huge = directory + "/huge.bin";
  const int descriptor = open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(ftruncate(descriptor, (int64_t{1} << 32) + 10), 0);
  close(descriptor);
  EXPECT_EQ(Load(huge), ImageLoadResult::TooLarge);
}

TEST_F(LoadImageTest, WhatIsNotAReadableRegularFileCannotBeOpened) {
  EXPECT_EQ(Load(directory + "/missing.bin"), ImageLoadResult::CannotOpen);
  EXPECT_EQ(Load(directory), ImageLoadResult::CannotOpen);

  // A FIFO without a writer: refused at once, not waited on.
  const std::string fifo = directory + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Load(fifo), ImageLoadResult::CannotOpen);
  EXPECT_EQ(Load("/dev/null"), ImageLoadResult::CannotOpen);
}

TEST_F(LoadImageTest, UnreadableFileCannotBeOpened) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string path = MakeFile("secret.bin", 10);
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  EXPECT_EQ(Load(path), ImageLoadResult::CannotOpen);
}

// Kernel files give other byte counts than their size says; they stand for
// a file that shrinks or grows while it is read. Neither may yield a record.
TEST_F(LoadImageTest, FileYieldingOtherThanItsSizeIsRefused) {
  struct stat status;
  const char* shorter = "/sys/devices/system/cpu/online";  // says 4096, yields a few bytes
  if (stat(shorter, &status) == 0 && status.st_size == 4096) {
    EXPECT_EQ(Load(shorter), ImageLoadResult::CannotOpen);
  }
  const char* longer = "/proc/self/status";  // says 0, yields its text
  if (stat(longer, &status) == 0 && status.st_size == 0) {
    EXPECT_EQ(Load(longer), ImageLoadResult::CannotOpen);
    EXPECT_EQ(size, 0u);
  }
}

}  // namespace
