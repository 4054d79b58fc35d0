#include "virtual/virtual_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace {

// The environment a lookup sees; a plain function pointer reads it.
std::map<std::string, std::string> environment;

const char* Lookup(const char* name) {
  const auto found = environment.find(name);
  return found == environment.end() ? nullptr : found->second.c_str();
}

bool SameIdentity(const DeviceMatch& a, const DeviceMatch& b) {
  return a.vendor_id == b.vendor_id && a.product_id == b.product_id &&
         a.usage_page == b.usage_page && a.usage == b.usage;
}

TEST(VirtualSettingsTest, EmptyEnvironmentGivesTheDefaults) {
  environment.clear();
  const VirtualSettings settings = VirtualSettingsFromEnvironment(&Lookup);
  ASSERT_EQ(settings.nodes.size(), 1u);
  EXPECT_TRUE(SameIdentity(settings.nodes[0].identity, kVirtualPrimaryIdentity));
  EXPECT_TRUE(settings.nodes[0].openable);
  EXPECT_EQ(settings.reportIntervalMs, 1u);
  EXPECT_EQ(settings.lossRate, 0.0);
  EXPECT_EQ(settings.faultyBlock, kVirtualNever);
  EXPECT_EQ(settings.debugFault, VirtualDebugFault::None);
  EXPECT_EQ(settings.writeFailsAfter, kVirtualNever);
}

struct EnvironmentCase {
  const char* name;
  const char* value;
  std::function<bool(const VirtualSettings&)> holds;
};

TEST(VirtualSettingsTest, EachVariableSetsItsSetting) {
  const EnvironmentCase cases[] = {
      {"KAVLO_VIRTUAL_DEVICES", "none", [](const VirtualSettings& s) { return s.nodes.empty(); }},
      {"KAVLO_VIRTUAL_DEVICES", "primary:locked,secondary",
       [](const VirtualSettings& s) {
         return s.nodes.size() == 2 && !s.nodes[0].openable &&
                SameIdentity(s.nodes[0].identity, kVirtualPrimaryIdentity) && s.nodes[1].openable &&
                SameIdentity(s.nodes[1].identity, kVirtualSecondaryIdentity);
       }},
      {"KAVLO_VIRTUAL_VERSION", "2.17",
       [](const VirtualSettings& s) { return s.versionMajor == 2 && s.versionMinor == 17; }},
      {"KAVLO_VIRTUAL_NAME", "Bench rig",
       [](const VirtualSettings& s) { return s.name == "Bench rig"; }},
      {"KAVLO_VIRTUAL_INTERVAL", "0",
       [](const VirtualSettings& s) { return s.reportIntervalMs == 0; }},
      {"KAVLO_VIRTUAL_LATENCY", "15", [](const VirtualSettings& s) { return s.latencyMs == 15; }},
      {"KAVLO_VIRTUAL_JITTER", "4", [](const VirtualSettings& s) { return s.jitterMs == 4; }},
      {"KAVLO_VIRTUAL_LOSS", "0.05", [](const VirtualSettings& s) { return s.lossRate == 0.05; }},
      {"KAVLO_VIRTUAL_DUPLICATE", "1",
       [](const VirtualSettings& s) { return s.duplicateRate == 1.0; }},
      {"KAVLO_VIRTUAL_SEED", "0xDEADBEEF",
       [](const VirtualSettings& s) { return s.seed == 0xDEADBEEF; }},
      {"KAVLO_VIRTUAL_BLOCK_STATUS", "3",
       [](const VirtualSettings& s) { return s.faultyBlock == 3 && s.faultyBlockStatus == 0x01; }},
      {"KAVLO_VIRTUAL_BLOCK_STATUS", "2:0x7f",
       [](const VirtualSettings& s) { return s.faultyBlock == 2 && s.faultyBlockStatus == 0x7F; }},
      {"KAVLO_VIRTUAL_DEBUG", "over-long",
       [](const VirtualSettings& s) { return s.debugFault == VirtualDebugFault::OverLong; }},
      {"KAVLO_VIRTUAL_DEBUG", "timeout-length",
       [](const VirtualSettings& s) {
         return s.debugFault == VirtualDebugFault::TimeoutWithLength;
       }},
      {"KAVLO_VIRTUAL_SILENT", "0xFF",
       [](const VirtualSettings& s) { return s.silentCommand == 0xFF; }},
      {"KAVLO_VIRTUAL_FAIL_WRITE", "10",
       [](const VirtualSettings& s) { return s.writeFailsAfter == 10; }},
      {"KAVLO_VIRTUAL_FAIL_READ", "0",
       [](const VirtualSettings& s) { return s.readFailsAfter == 0; }},
  };
  for (const EnvironmentCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    environment = {{c.name, c.value}};
    EXPECT_TRUE(c.holds(VirtualSettingsFromEnvironment(&Lookup)));
  }
}

TEST(VirtualSettingsTest, ValueThatDoesNotParseKeepsTheDefault) {
  const std::pair<const char*, const char*> cases[] = {
      {"KAVLO_VIRTUAL_DEVICES", "primary,tertiary"},
      {"KAVLO_VIRTUAL_VERSION", "2"},
      {"KAVLO_VIRTUAL_VERSION", "1.256"},
      {"KAVLO_VIRTUAL_LOSS", "1.5"},
      {"KAVLO_VIRTUAL_LOSS", "lots"},
      {"KAVLO_VIRTUAL_LATENCY", "-3"},
      {"KAVLO_VIRTUAL_LATENCY", "5ms"},
      {"KAVLO_VIRTUAL_BLOCK_STATUS", "0:1"},
      {"KAVLO_VIRTUAL_BLOCK_STATUS", "2:0x100"},
      {"KAVLO_VIRTUAL_DEBUG", "sometimes"},
      {"KAVLO_VIRTUAL_SILENT", "0"},
      {"KAVLO_VIRTUAL_FAIL_READ", ""},
  };
  const VirtualSettings defaults;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.first) + "=" + c.second);
    environment = {{c.first, c.second}};
    const VirtualSettings settings = VirtualSettingsFromEnvironment(&Lookup);
    EXPECT_EQ(settings.nodes.size(), defaults.nodes.size());
    EXPECT_EQ(settings.versionMajor, defaults.versionMajor);
    EXPECT_EQ(settings.versionMinor, defaults.versionMinor);
    EXPECT_EQ(settings.lossRate, defaults.lossRate);
    EXPECT_EQ(settings.latencyMs, defaults.latencyMs);
    EXPECT_EQ(settings.faultyBlock, defaults.faultyBlock);
    EXPECT_EQ(settings.faultyBlockStatus, defaults.faultyBlockStatus);
    EXPECT_EQ(settings.debugFault, defaults.debugFault);
    EXPECT_EQ(settings.silentCommand, defaults.silentCommand);
    EXPECT_EQ(settings.readFailsAfter, defaults.readFailsAfter);
  }
}

}  // namespace
