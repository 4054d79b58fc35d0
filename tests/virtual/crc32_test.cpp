#include "virtual/crc32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Crc32Test, MatchesTheCommonCheckValues) {
  const char* check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check), std::strlen(check)), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0x00000000u);
  const uint8_t zeros[32] = {};
  EXPECT_EQ(Crc32(zeros, sizeof zeros), 0x190A55ADu);
}

}  // namespace
