// Runs in a process of its own: nothing installs the virtual interface in
// code, so the first hid_init takes the settings from the environment.
#include <gtest/gtest.h>
#include <hidapi.h>

#include <cstdlib>

#include "hid/hidapi_layer.h"
#include "virtual/virtual_settings.h"

namespace {

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
  ASSERT_EQ(_putenv_s(name, value), 0);
#else
  ASSERT_EQ(setenv(name, value, 1), 0);
#endif
}

TEST(VirtualEnvironmentTest, FirstLibraryStartInstallsTheEnvironmentsSettings) {
  SetVariable("KAVLO_VIRTUAL_DEVICES", "primary:locked,secondary");
  HIDAPILayer layer;
  EXPECT_TRUE(layer.Open(kVirtualPrimaryIdentity));
  EXPECT_FALSE(layer.IsOpen());
  HIDAPILayer second;
  EXPECT_TRUE(second.Open(kVirtualSecondaryIdentity));
  EXPECT_TRUE(second.IsOpen());

  // Read once: a later change of the environment does not apply.
  SetVariable("KAVLO_VIRTUAL_DEVICES", "none");
  hid_device_info* list = hid_enumerate(0, 0);
  EXPECT_NE(list, nullptr);
  hid_free_enumeration(list);
}

}  // namespace
