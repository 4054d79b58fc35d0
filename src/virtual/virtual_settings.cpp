#include "virtual/virtual_settings.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kDevices = "KAVLO_VIRTUAL_DEVICES";
constexpr const char* kVersion = "KAVLO_VIRTUAL_VERSION";
constexpr const char* kName = "KAVLO_VIRTUAL_NAME";
constexpr const char* kInterval = "KAVLO_VIRTUAL_INTERVAL";
constexpr const char* kLatency = "KAVLO_VIRTUAL_LATENCY";
constexpr const char* kJitter = "KAVLO_VIRTUAL_JITTER";
constexpr const char* kLoss = "KAVLO_VIRTUAL_LOSS";
constexpr const char* kDuplicate = "KAVLO_VIRTUAL_DUPLICATE";
constexpr const char* kSeed = "KAVLO_VIRTUAL_SEED";
constexpr const char* kBlockStatus = "KAVLO_VIRTUAL_BLOCK_STATUS";
constexpr const char* kDebug = "KAVLO_VIRTUAL_DEBUG";
constexpr const char* kSilent = "KAVLO_VIRTUAL_SILENT";
constexpr const char* kFailWrite = "KAVLO_VIRTUAL_FAIL_WRITE";
constexpr const char* kFailRead = "KAVLO_VIRTUAL_FAIL_READ";

constexpr const char* kLockedSuffix = ":locked";
constexpr unsigned long kMaxByte = 0xFF;
constexpr unsigned long kMaxCount = 0x7FFFFFFF;

const char* SystemLookup(const char* name) { return std::getenv(name); }

void ReportIgnored(const char* name, const char* value) {
  std::fprintf(stderr, "kavlo virtual interface: ignoring %s=%s\n", name, value);
}

// The whole text as an unsigned number (decimal, or hexadecimal after 0x)
// not above `maximum`.
bool ParseUnsigned(const std::string& text, unsigned long maximum, unsigned long& value) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  char* end = nullptr;
  errno = 0;
  const unsigned long parsed = std::strtoul(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || parsed > maximum) return false;
  value = parsed;
  return true;
}

bool ParseRate(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(parsed >= 0.0 && parsed <= 1.0)) return false;
  value = parsed;
  return true;
}

// "primary", "secondary", each optionally ":locked", separated by commas;
// "none" lists nothing.
bool ParseDevices(const std::string& text, std::vector<VirtualNode>& nodes) {
  std::vector<VirtualNode> parsed;
  if (text != "none") {
    size_t start = 0;
    for (;;) {
      const size_t comma = text.find(',', start);
      std::string token = text.substr(start, comma == std::string::npos ? comma : comma - start);
      VirtualNode node;
      const size_t suffix = token.size() >= std::strlen(kLockedSuffix)
                                ? token.size() - std::strlen(kLockedSuffix)
                                : std::string::npos;
      if (suffix != std::string::npos &&
          token.compare(suffix, std::string::npos, kLockedSuffix) == 0) {
        node.openable = false;
        token.erase(suffix);
      }
      if (token == "primary") {
        node.identity = kVirtualPrimaryIdentity;
      } else if (token == "secondary") {
        node.identity = kVirtualSecondaryIdentity;
      } else {
        return false;
      }
      parsed.push_back(node);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  nodes = parsed;
  return true;
}

// "major.minor".
bool ParseVersion(const std::string& text, uint8_t& major, uint8_t& minor) {
  const size_t dot = text.find('.');
  unsigned long high = 0;
  unsigned long low = 0;
  if (dot == std::string::npos || !ParseUnsigned(text.substr(0, dot), kMaxByte, high) ||
      !ParseUnsigned(text.substr(dot + 1), kMaxByte, low)) {
    return false;
  }
  major = static_cast<uint8_t>(high);
  minor = static_cast<uint8_t>(low);
  return true;
}

// "block" or "block:status", the block counted from 1.
bool ParseBlockStatus(const std::string& text, int32_t& block, uint8_t& status) {
  const size_t colon = text.find(':');
  unsigned long number = 0;
  unsigned long value = status;
  if (!ParseUnsigned(text.substr(0, colon), kMaxCount, number) || number == 0) return false;
  if (colon != std::string::npos && !ParseUnsigned(text.substr(colon + 1), kMaxByte, value)) {
    return false;
  }
  block = static_cast<int32_t>(number);
  status = static_cast<uint8_t>(value);
  return true;
}

bool ParseDebugFault(const std::string& text, VirtualDebugFault& fault) {
  struct Name {
    const char* text;
    VirtualDebugFault fault;
  };
  static const Name kNames[] = {{"none", VirtualDebugFault::None},
                                {"timeout", VirtualDebugFault::Timeout},
                                {"wrong-tag", VirtualDebugFault::WrongTag},
                                {"over-long", VirtualDebugFault::OverLong},
                                {"timeout-length", VirtualDebugFault::TimeoutWithLength}};
  for (const Name& name : kNames) {
    if (text == name.text) {
      fault = name.fault;
      return true;
    }
  }
  return false;
}

}  // namespace

VirtualSettings VirtualSettingsFromEnvironment(EnvironmentLookup lookup) {
  if (lookup == nullptr) lookup = &SystemLookup;
  VirtualSettings settings;

  // Runs `parse` on the variable's text when it is set; reports a value
  // that does not parse.
  auto apply = [lookup](const char* name, auto parse) {
    const char* value = lookup(name);
    if (value != nullptr && !parse(std::string(value))) ReportIgnored(name, value);
  };
  auto unsignedInto = [](uint32_t& field) {
    return [&field](const std::string& text) {
      unsigned long value = 0;
      if (!ParseUnsigned(text, kMaxCount, value)) return false;
      field = static_cast<uint32_t>(value);
      return true;
    };
  };
  auto countInto = [](int32_t& field) {
    return [&field](const std::string& text) {
      unsigned long value = 0;
      if (!ParseUnsigned(text, kMaxCount, value)) return false;
      field = static_cast<int32_t>(value);
      return true;
    };
  };
  auto rateInto = [](double& field) {
    return [&field](const std::string& text) { return ParseRate(text, field); };
  };

  apply(kDevices, [&](const std::string& text) { return ParseDevices(text, settings.nodes); });
  apply(kVersion, [&](const std::string& text) {
    return ParseVersion(text, settings.versionMajor, settings.versionMinor);
  });
  apply(kName, [&](const std::string& text) {
    settings.name = text;
    return true;
  });
  apply(kInterval, unsignedInto(settings.reportIntervalMs));
  apply(kLatency, unsignedInto(settings.latencyMs));
  apply(kJitter, unsignedInto(settings.jitterMs));
  apply(kLoss, rateInto(settings.lossRate));
  apply(kDuplicate, rateInto(settings.duplicateRate));
  apply(kSeed, [&](const std::string& text) {
    unsigned long value = 0;
    if (!ParseUnsigned(text, 0xFFFFFFFFul, value)) return false;
    settings.seed = static_cast<uint32_t>(value);
    return true;
  });
  apply(kBlockStatus, [&](const std::string& text) {
    return ParseBlockStatus(text, settings.faultyBlock, settings.faultyBlockStatus);
  });
  apply(kDebug,
        [&](const std::string& text) { return ParseDebugFault(text, settings.debugFault); });
  apply(kSilent, [&](const std::string& text) {
    unsigned long value = 0;
    if (!ParseUnsigned(text, kMaxByte, value) || value == 0) return false;
    settings.silentCommand = static_cast<uint8_t>(value);
    return true;
  });
  apply(kFailWrite, countInto(settings.writeFailsAfter));
  apply(kFailRead, countInto(settings.readFailsAfter));
  return settings;
}
