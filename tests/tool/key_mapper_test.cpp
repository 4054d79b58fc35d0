#include "tool/key_mapper.h"

#include <gtest/gtest.h>

namespace {

struct KeyRange {
  int first;
  int last;
  KeyTreatment treatment;
};

// Every console code, range by range; forwarded codes go out unchanged
// except Enter.
const KeyRange kRanges[] = {
    {0, 0, KeyTreatment::SkipExtendedKey},     {1, 7, KeyTreatment::Drop},
    {8, 9, KeyTreatment::Forward},             {10, 12, KeyTreatment::Drop},
    {13, 13, KeyTreatment::Forward},           {14, 26, KeyTreatment::Drop},
    {27, 27, KeyTreatment::EndRun},            {28, 31, KeyTreatment::Drop},
    {32, 127, KeyTreatment::Forward},          {128, 223, KeyTreatment::Drop},
    {224, 224, KeyTreatment::SkipExtendedKey}, {225, 255, KeyTreatment::Drop},
};

TEST(MapConsoleKey, EveryCodeByRange) {
  int next = 0;
  for (const KeyRange& range : kRanges) {
    ASSERT_EQ(range.first, next) << "the table covers every code once";
    for (int code = range.first; code <= range.last; ++code) {
      const KeyAction action = MapConsoleKey(static_cast<uint8_t>(code));
      EXPECT_EQ(action.treatment, range.treatment) << "code " << code;
      if (action.treatment == KeyTreatment::Forward) {
        EXPECT_EQ(action.blockCode, code == 13 ? 10 : code) << "code " << code;
      }
    }
    next = range.last + 1;
  }
  EXPECT_EQ(next, 256);
}

}  // namespace
