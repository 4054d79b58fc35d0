// Feeds the interface client arbitrary answer streams for each of its
// commands. The client runs unchanged, with its real link and worker thread,
// against a scripted interface behind the hid_* functions; time is
// simulated in lock step (LockstepClock), so a wait of ten seconds costs
// microseconds and every run is repeatable.
//
// The input chooses up to four commands and then the interface's actions:
// answer bytes, a dropped link, failing reads or writes. Checked besides the
// sanitizers (name and debug buffers are heap blocks of exactly their
// documented size): every result lies in its documented range, the version
// name is terminated inside its 64 bytes, the host sent only commands the
// client was asked for, and, when the first command meets an intact link, its
// result is exactly what its answer bytes say.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "client/command_protocol.h"
#include "client/interface_client.h"
#include "lockstep_clock.h"
#include "scripted_device.h"

namespace {

LockstepClock& TheClock() {
  static LockstepClock clock;
  return clock;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "client check failed: %s\n", what);
  std::abort();
}

void Require(bool condition, const char* what) {
  if (!condition) Fail(what);
}

enum class Command { GetVersion, GetVersionNoName, SendImageBlock, SendKeyBlock, SetDebugMode, ReadDebug };
constexpr int kCommandKinds = 6;
constexpr int kMaxCommands = 4;

// What the first command must give when its answer is the bytes `answer`
// and nothing else happens to the link. Version fields are compared only
// on success.
struct FirstOutcome {
  bool known = false;
  int32_t result = 0;  // boolean results as 0 and 1
  uint8_t major = 0;
  uint8_t minor = 0;
  std::vector<uint8_t> data;  // the name, or the debug output
};

FirstOutcome Predict(Command command, const std::vector<uint8_t>& answer) {
  FirstOutcome outcome;
  outcome.known = true;
  switch (command) {
    case Command::GetVersion:
    case Command::GetVersionNoName: {
      const bool ok = answer.size() >= 4 && answer[0] == kAnswerVersionReply &&
                      answer[3] <= kMaxVersionNameLength && answer.size() >= 4u + answer[3];
      outcome.result = ok ? 1 : 0;
      if (ok) {
        outcome.major = answer[1];
        outcome.minor = answer[2];
        outcome.data.assign(answer.begin() + 4, answer.begin() + 4 + answer[3]);
      }
      break;
    }
    case Command::SetDebugMode:
      outcome.result = !answer.empty() && answer[0] == kStatusOk ? 1 : 0;
      break;
    case Command::ReadDebug: {
      outcome.result = -1;
      if (answer.size() < kDebugHeadSize) break;
      const uint32_t length = answer[1] | (answer[2] << 8);
      if (answer[0] == kAnswerDebugTimeout) {
        outcome.result = length == 0 ? -2 : -1;
      } else if (answer[0] == kAnswerDebugData && length <= kDebugOutputMaximum) {
        if (length == 0) {
          outcome.result = 0;
        } else if (answer.size() >= kDebugHeadSize + length) {
          outcome.result = static_cast<int32_t>(length);
          outcome.data.assign(answer.begin() + kDebugHeadSize, answer.begin() + kDebugHeadSize + length);
        }
      }
      break;
    }
    case Command::SendImageBlock:
    case Command::SendKeyBlock:
      // The payload may let a second action happen; not predicted.
      outcome.known = false;
      break;
  }
  return outcome;
}

struct Outcome {
  int32_t result = 0;
  uint8_t major = 0;
  uint8_t minor = 0;
  std::vector<uint8_t> data;        // the debug output
  std::vector<uint8_t> nameBuffer;  // all 64 bytes of the name buffer
};

// The bytes a command sends: its head, and the payload that follows only
// once the interface said it is ready.
struct CommandBytes {
  std::vector<uint8_t> head;
  std::vector<uint8_t> tail;
};

CommandBytes BytesOf(Command command, const std::vector<uint8_t>& payload, bool mode) {
  switch (command) {
    case Command::GetVersion:
    case Command::GetVersionNoName:
      return {{kCommandGetVersion}, {}};
    case Command::SendImageBlock:
    case Command::SendKeyBlock: {
      const uint16_t length = static_cast<uint16_t>(payload.size());
      return {{kCommandSendBlock, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8)},
              payload};
    }
    case Command::SetDebugMode:
      return {{kCommandSetDebugMode,
               static_cast<uint8_t>(mode ? kDebugModeOutput | kDebugModeImagesUploaded : kDebugModeOutput)},
              {}};
    case Command::ReadDebug:
      return {{kCommandReadDebug, kDebugOutputMaximum & 0xFF, kDebugOutputMaximum >> 8}, {}};
  }
  return {};
}

// True when `received` is what the commands send, in order, each whole or
// without its payload, the whole cut short where the link went down.
bool SentOnlyCommands(const std::vector<uint8_t>& received, const std::vector<CommandBytes>& commands) {
  size_t at = 0;
  auto take = [&](const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes) {
      if (at == received.size()) return true;
      if (received[at] != byte) return false;
      ++at;
    }
    return true;
  };
  for (const CommandBytes& command : commands) {
    if (!take(command.head)) return false;
    const size_t afterHead = at;
    if (!take(command.tail)) at = afterHead;  // the payload was never sent
    if (at == received.size()) return true;
  }
  return at == received.size();
}

// Runs one command with buffers of exactly the documented sizes and checks
// what it gave against the documented ranges.
Outcome Run(InterfaceClient& client, Command command, const std::vector<uint8_t>& payload, bool mode) {
  Outcome outcome;
  switch (command) {
    case Command::GetVersion:
    case Command::GetVersionNoName: {
      std::unique_ptr<char[]> name;
      if (command == Command::GetVersion) {
        name.reset(new char[kVersionNameBufferSize]);
        std::memset(name.get(), 0x5A, kVersionNameBufferSize);
      }
      uint8_t major = 0xEE;
      uint8_t minor = 0xEE;
      outcome.result = client.GetVersion(major, minor, name.get()) ? 1 : 0;
      if (outcome.result == 1) {
        outcome.major = major;
        outcome.minor = minor;
        if (name) {
          Require(std::memchr(name.get(), 0, kVersionNameBufferSize) != nullptr,
                  "version name not terminated inside its 64 bytes");
          const uint8_t* bytes = reinterpret_cast<const uint8_t*>(name.get());
          outcome.nameBuffer.assign(bytes, bytes + kVersionNameBufferSize);
        }
      }
      break;
    }
    case Command::SendImageBlock:
    case Command::SendKeyBlock: {
      const uint16_t length = static_cast<uint16_t>(payload.size());
      std::unique_ptr<uint8_t[]> exact(new uint8_t[payload.size() + 1]);
      if (!payload.empty()) std::memcpy(exact.get(), payload.data(), payload.size());
      const int32_t limit = command == Command::SendImageBlock ? kImageBlockLimitMs : kKeyBlockLimitMs;
      outcome.result = client.SendBlock(exact.get(), length, limit) ? 1 : 0;
      break;
    }
    case Command::SetDebugMode:
      outcome.result = client.SetDebugMode(mode) ? 1 : 0;
      break;
    case Command::ReadDebug: {
      std::unique_ptr<uint8_t[]> buffer(new uint8_t[kDebugOutputMaximum]);
      outcome.result = client.ReadDebugOutput(buffer.get());
      Require(outcome.result >= -2 && outcome.result <= static_cast<int32_t>(kDebugOutputMaximum),
              "ReadDebugOutput gave a result outside -2 to 256");
      if (outcome.result > 0) outcome.data.assign(buffer.get(), buffer.get() + outcome.result);
      break;
    }
  }
  return outcome;
}

}  // namespace

ScriptedDevice& TheScriptedDevice() {
  static ScriptedDevice device(TheClock());
  return device;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The client prints transfer statistics; keep the fuzzer's output readable.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  TheClock().SetActivitySource([] { return TheScriptedDevice().LastActivity(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);

  const int commandCount = input.ConsumeIntegralInRange<int>(1, kMaxCommands);
  std::vector<Command> commands;
  for (int i = 0; i < commandCount; ++i) {
    commands.push_back(static_cast<Command>(input.ConsumeIntegralInRange<int>(0, kCommandKinds - 1)));
  }
  const bool mode = input.ConsumeBool();
  // Mostly short blocks; sometimes a few packets' worth.
  const size_t payloadLength = input.ConsumeBool() ? input.ConsumeIntegralInRange<size_t>(0, 70)
                                                   : input.ConsumeIntegralInRange<size_t>(0, 400);
  std::vector<uint8_t> payload(payloadLength);
  for (size_t i = 0; i < payloadLength; ++i) payload[i] = static_cast<uint8_t>(i * 13 + 7);

  std::deque<DeviceAction> script;
  bool faults = false;
  while (input.remaining_bytes() > 0) {
    DeviceAction action;
    switch (input.ConsumeIntegralInRange<int>(0, 15)) {
      case 0:
        action.kind = DeviceAction::Kind::DropLink;
        faults = true;
        break;
      case 1:
        action.kind = DeviceAction::Kind::FailHostReads;
        faults = true;
        break;
      case 2:
        action.kind = DeviceAction::Kind::FailHostWrites;
        faults = true;
        break;
      default:
        action.bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
        break;
    }
    script.push_back(std::move(action));
  }
  FirstOutcome expected;
  if (!faults) expected = Predict(commands.front(), script.empty() ? std::vector<uint8_t>{} : script.front().bytes);

  TheClock().Set(input.ConsumeIntegral<uint32_t>());
  TheScriptedDevice().SetScript(std::move(script));
  std::vector<CommandBytes> sent;
  for (Command command : commands) sent.push_back(BytesOf(command, payload, mode));
  // The goodbye command follows while the link is up.
  sent.push_back({{kCommandDisconnect}, {}});
  {
    InterfaceClient client(TheClock());
    Require(client.Connect(), "the client could not connect to an interface that accepts");
    for (size_t i = 0; i < commands.size(); ++i) {
      const Outcome outcome = Run(client, commands[i], payload, mode);
      if (i == 0 && expected.known) {
        Require(outcome.result == expected.result, "first command's result differs from its answer");
        if (outcome.result == 1 && commands[0] == Command::GetVersion) {
          Require(outcome.major == expected.major && outcome.minor == expected.minor,
                  "version numbers differ from the answer");
        }
        if (outcome.result == 1 && commands[0] == Command::GetVersion) {
          // The name as sent (it may hold zero bytes itself), then the terminator.
          const std::vector<uint8_t>& name = expected.data;
          Require(std::equal(name.begin(), name.end(), outcome.nameBuffer.begin()) &&
                      outcome.nameBuffer[name.size()] == 0,
                  "version name differs from the answer");
        }
        if (commands[0] == Command::ReadDebug) {
          Require(outcome.data == expected.data, "debug output differs from the answer");
        }
      }
    }
  }
  Require(SentOnlyCommands(TheScriptedDevice().Received(), sent),
          "the device received bytes the client was not asked to send");
  return 0;
}
