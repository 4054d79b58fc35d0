// Feeds one link engine arbitrary packet sequences, starting from each of
// its six states, interleaved with non-waiting Send, Receive and Abort calls
// and with packet-layer faults, and checks the link record after every step:
//
//   - both rings hold 0 to 4 packets and writeIndex = readIndex + count mod 4;
//   - the state is one of the six, and waiter is None between calls;
//   - stored and queued packets never claim more than the 61 payload bytes
//     of their 64-byte slot, and the read offset stays inside the head;
//   - the bytes Receive hands out are exactly the payloads the engine stored,
//     in order, however they are split across calls;
//   - the first transmission of every data packet carries the next bytes
//     that Send accepted, each repeat carries the same bytes again, and
//     every packet leaves stamped with the current rxLastSeq;
//   - a link shutting down never touches its packet layer.
//
// Packets cross the layer through heap buffers of exactly 64 bytes, and the
// application buffers are exactly as long as the call says, so AddressSanitizer
// catches any byte read or written past them.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "link_probe.h"
#include "sim_clock.h"

namespace {

constexpr int32_t kPacketBytes = 64;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "link invariant broken: %s\n", what);
  std::abort();
}

void Require(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// Results the layer gives to the link's next Read and Write.
enum class ReadPlan { Nothing, Packet, Failure };

// A packet layer that hands the link at most the one packet the harness
// planned for this step and records what the link writes.
class FuzzLayer final : public PacketLayer {
 public:
  int32_t Read(uint8_t* buffer) override {
    ++calls;
    switch (readPlan) {
      case ReadPlan::Nothing:
        return 0;
      case ReadPlan::Packet: {
        readPlan = ReadPlan::Nothing;
        std::unique_ptr<uint8_t[]> exact(new uint8_t[kPacketBytes]);
        std::memcpy(exact.get(), incoming.data(), kPacketBytes);
        std::memcpy(buffer, exact.get(), kPacketBytes);
        return kPacketBytes;
      }
      case ReadPlan::Failure:
        readPlan = ReadPlan::Nothing;
        return failureResult;
    }
    return 0;
  }

  int32_t Write(const uint8_t* packet) override {
    ++calls;
    const int32_t result = writeResult;
    writeResult = kPacketBytes;
    if (result != kPacketBytes) return result;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[kPacketBytes]);
    std::memcpy(exact.get(), packet, kPacketBytes);
    LinkPacket written;
    std::memcpy(&written, exact.get(), kPacketBytes);
    this->written.push_back(written);
    return kPacketBytes;
  }

  ReadPlan readPlan = ReadPlan::Nothing;
  std::array<uint8_t, kPacketBytes> incoming{};
  int32_t failureResult = -1;
  int32_t writeResult = kPacketBytes;
  std::vector<LinkPacket> written;
  uint64_t calls = 0;
};

bool RingConsistent(const LinkRing& ring) {
  return ring.count <= LinkRing::kSlots && ring.readIndex < LinkRing::kSlots &&
         ring.writeIndex == (ring.readIndex + ring.count) % LinkRing::kSlots;
}

bool KnownState(LinkState state) {
  switch (state) {
    case LinkState::Idle:
    case LinkState::Listening:
    case LinkState::Connecting:
    case LinkState::AcceptPending:
    case LinkState::Connected:
    case LinkState::ShuttingDown:
      return true;
  }
  return false;
}

class Harness {
 public:
  explicit Harness(FuzzedDataProvider& input, uint32_t startTick)
      : input_(input), clock_(startTick), link_(&layer_, clock_, LinkWorker::Manual) {}

  // Brings the link into the chosen starting state.
  void Start(LinkState start) {
    switch (start) {
      case LinkState::Idle:
        break;
      case LinkState::Listening:
        link_.Listen();
        break;
      case LinkState::AcceptPending: {
        link_.Listen();
        uint8_t request[kPacketBytes] = {};
        request[0] = input_.ConsumeIntegral<uint8_t>();
        request[1] = input_.ConsumeIntegral<uint8_t>();
        request[2] = kFlagControl;
        request[3] = static_cast<uint8_t>(ControlCode::ConnectRequest);
        std::memcpy(layer_.incoming.data(), request, kPacketBytes);
        layer_.readPlan = ReadPlan::Packet;
        Step();
        break;
      }
      case LinkState::Connecting:
        RunActiveOpen();
        break;
      case LinkState::Connected:
        link_.ForceConnected(input_.ConsumeIntegral<uint8_t>(), input_.ConsumeIntegral<uint8_t>());
        ObserveState();
        break;
      case LinkState::ShuttingDown:
        link_.state = LinkState::ShuttingDown;
        break;
    }
  }

  // Runs steps and calls until the input is used up.
  void Run() {
    const bool shuttingDown = link_.state == LinkState::ShuttingDown;
    while (input_.remaining_bytes() > 0) {
      if (shuttingDown) {
        const uint64_t before = layer_.calls;
        PlanPacket();
        Step();
        Require(layer_.calls == before, "a link shutting down used its packet layer");
        Require(link_.state == LinkState::ShuttingDown, "ShuttingDown was left");
        continue;
      }
      switch (input_.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
        case 1:
        case 2:
        case 3:
          PlanPacket();
          PlanWrite();
          Step();
          break;
        case 4:
          PlanWrite();
          Step();
          break;
        case 5:
          layer_.readPlan = ReadPlan::Failure;
          layer_.failureResult = input_.ConsumeBool() ? -1 : input_.ConsumeIntegral<int32_t>();
          if (layer_.failureResult == 0 || layer_.failureResult == kPacketBytes) {
            layer_.failureResult = -1;
          }
          Step();
          break;
        case 6:
          clock_.Advance(input_.ConsumeIntegralInRange<uint32_t>(1, 45));
          Check();
          break;
        case 7:
          SendBytes(input_.ConsumeIntegralInRange<uint32_t>(1, 300));
          break;
        case 8:
          ReceiveBytes(input_.ConsumeIntegralInRange<uint32_t>(1, 300));
          break;
        case 9:
          link_.Abort();
          Require(link_.state == LinkState::Idle, "Abort left the link up");
          ObserveState();
          Check();
          break;
      }
    }
  }

 private:
  // The active open, as the application starts it: Connect waits on the
  // simulated clock, and every simulated millisecond of its wait is one
  // engine step fed from the input.
  void RunActiveOpen() {
    clock_.OnEachMillisecond([this] {
      if (input_.remaining_bytes() > 0 && input_.ConsumeBool()) PlanPacket();
      Step(WaiterKind::Connect);
    });
    const bool connected = link_.Connect();
    clock_.OnEachMillisecond(nullptr);
    Require(connected == (link_.state == LinkState::Connected), "Connect's result and state disagree");
    ObserveState();
    Check();
  }

  // The next incoming packet: mostly headers near the link's own numbers,
  // so that the deeper paths are reached, sometimes 64 arbitrary bytes.
  void PlanPacket() {
    std::array<uint8_t, kPacketBytes>& packet = layer_.incoming;
    if (input_.ConsumeIntegralInRange<int>(0, 7) == 0) {
      for (uint8_t& byte : packet) byte = input_.ConsumeIntegral<uint8_t>();
      layer_.readPlan = ReadPlan::Packet;
      return;
    }
    const uint8_t headSeq = link_.tx.Empty() ? link_.txNextSeq : link_.tx.Head().seq;
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: packet[0] = link_.rxLastSeq; break;
      case 1: packet[0] = NextSeq(link_.rxLastSeq); break;
      case 2: packet[0] = NextSeq(NextSeq(link_.rxLastSeq)); break;
      default: packet[0] = input_.ConsumeIntegral<uint8_t>(); break;
    }
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: packet[1] = headSeq; break;
      case 1: packet[1] = PreviousSeq(headSeq); break;
      case 2: packet[1] = PreviousSeq(link_.txNextSeq); break;
      default: packet[1] = input_.ConsumeIntegral<uint8_t>(); break;
    }
    const uint8_t repeat = input_.ConsumeBool() ? kFlagRepeat : 0;
    std::memset(packet.data() + 3, 0, kPacketBytes - 3);
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:  // control packet with a chosen code
        packet[2] = static_cast<uint8_t>(kFlagControl | repeat);
        packet[3] = input_.ConsumeIntegralInRange<uint8_t>(0, 6);
        break;
      case 1:  // any flags at all
        packet[2] = input_.ConsumeIntegral<uint8_t>();
        packet[3] = input_.ConsumeIntegral<uint8_t>();
        break;
      default: {  // data, lengths 0 to 63, contents that differ per packet
        const uint8_t length = input_.ConsumeIntegralInRange<uint8_t>(0, kFlagLengthMask);
        packet[2] = static_cast<uint8_t>(length | repeat);
        for (int i = 3; i < kPacketBytes; ++i) packet[i] = static_cast<uint8_t>(nextByte_++);
        break;
      }
    }
    layer_.readPlan = ReadPlan::Packet;
  }

  void PlanWrite() {
    switch (input_.ConsumeIntegralInRange<int>(0, 15)) {
      case 0: layer_.writeResult = 0; break;
      case 1: layer_.writeResult = -1; break;
      default: layer_.writeResult = kPacketBytes; break;
    }
  }

  // One engine step, then every check.
  void Step(WaiterKind expectedWaiter = WaiterKind::None) {
    const uint32_t rxCountBefore = link_.rx.count;
    const uint32_t rxWriteBefore = link_.rx.writeIndex;
    const size_t writtenBefore = layer_.written.size();
    link_.Poll();
    layer_.readPlan = ReadPlan::Nothing;
    layer_.writeResult = kPacketBytes;

    if (link_.rx.count == 0) {
      stored_.clear();
    } else if (link_.rx.count == rxCountBefore + 1) {
      const LinkPacket& packet = link_.rx.slots[rxWriteBefore];
      const uint8_t length = PayloadLength(packet);
      Require(length <= kMaxPayload, "a packet longer than its slot was stored");
      stored_.insert(stored_.end(), packet.payload, packet.payload + length);
    } else {
      Require(link_.rx.count == rxCountBefore, "one step stored more than one packet");
    }
    Require(layer_.written.size() <= writtenBefore + 1, "one step wrote more than one packet");
    if (layer_.written.size() > writtenBefore) CheckWritten(layer_.written.back());
    ObserveState();
    Check(expectedWaiter);
  }

  // A fresh epoch of the byte streams starts whenever the link connects.
  void ObserveState() {
    const bool connected = link_.state == LinkState::Connected;
    if (connected && !wasConnected_) {
      accepted_.clear();
      onWire_ = 0;
      for (auto& sent : firstCopy_) sent.clear();
      for (bool& known : known_) known = false;
    }
    wasConnected_ = connected;
  }

  void CheckWritten(const LinkPacket& packet) {
    const uint8_t length = PayloadLength(packet);
    Require(length <= kMaxPayload, "a packet longer than 61 bytes went out");
    Require(packet.ack == link_.rxLastSeq, "a packet went out with a stale ack");
    if (IsControl(packet)) {
      Require(length == 0, "a control packet with a payload went out");
      const uint8_t code = packet.payload[0];
      Require(code == static_cast<uint8_t>(ControlCode::ConnectRequest) ||
                  code == static_cast<uint8_t>(ControlCode::ConnectAccept) ||
                  code == static_cast<uint8_t>(ControlCode::Reset),
              "an unknown control code went out");
      return;
    }
    if (length == 0) return;  // a pure acknowledgement
    const std::vector<uint8_t> bytes(packet.payload, packet.payload + length);
    if (!IsRepeat(packet)) {
      Require(onWire_ + length <= accepted_.size(), "data went out that Send never accepted");
      Require(std::equal(bytes.begin(), bytes.end(), accepted_.begin() + static_cast<long>(onWire_)),
              "data went out out of order or changed");
      onWire_ += length;
      firstCopy_[packet.seq] = bytes;
      known_[packet.seq] = true;
    } else if (known_[packet.seq]) {
      Require(bytes == firstCopy_[packet.seq], "a repeat carried other bytes than the first copy");
    } else {
      Fail("a repeat went out before its first copy");
    }
  }

  void SendBytes(uint32_t count) {
    std::unique_ptr<uint8_t[]> data(new uint8_t[count]);
    for (uint32_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(nextByte_++ * 31u);
    const bool connected = link_.state == LinkState::Connected;
    const int32_t result = link_.Send(data.get(), count, 0);
    if (!connected) {
      Require(result == -1, "Send on a link that is down did not give -1");
    } else {
      Require(result >= 0 && static_cast<uint32_t>(result) <= count, "Send gave an impossible count");
      accepted_.insert(accepted_.end(), data.get(), data.get() + result);
    }
    Check();
  }

  void ReceiveBytes(uint32_t count) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[count]);
    const bool connected = link_.state == LinkState::Connected;
    const int32_t result = link_.Receive(buffer.get(), count, 0);
    if (!connected) {
      Require(result == -1, "Receive on a link that is down did not give -1");
    } else {
      Require(result >= 0 && static_cast<uint32_t>(result) <= count, "Receive gave an impossible count");
      Require(static_cast<size_t>(result) <= stored_.size(), "Receive gave bytes that never arrived");
      Require(std::equal(buffer.get(), buffer.get() + result, stored_.begin()),
              "Receive gave other bytes than those stored");
      stored_.erase(stored_.begin(), stored_.begin() + result);
    }
    Check();
  }

  void Check(WaiterKind expectedWaiter = WaiterKind::None) {
    Require(KnownState(link_.state), "unknown state");
    Require(RingConsistent(link_.rx), "receive ring indices inconsistent");
    Require(RingConsistent(link_.tx), "transmit ring indices inconsistent");
    Require(link_.waiter == expectedWaiter, "waiter left set");
    Require(link_.retryBudget == 0 || link_.retryBudget == 1 || link_.retryBudget == kUnlimitedRetries,
            "retry budget outside 0, 1, 255");
    Require(!link_.tx.Empty() || link_.retryBudget == 0, "retry budget left on an empty ring");
    if (link_.state != LinkState::Connected) {
      Require(link_.rx.Empty(), "received data kept on a link that is not connected");
      return;
    }
    size_t storedBytes = 0;
    for (uint32_t i = 0; i < link_.rx.count; ++i) {
      const LinkPacket& packet = link_.rx.slots[(link_.rx.readIndex + i) % LinkRing::kSlots];
      Require(!IsControl(packet), "a control packet was stored");
      Require(PayloadLength(packet) <= kMaxPayload, "a stored packet claims more than its slot");
      storedBytes += PayloadLength(packet);
    }
    if (link_.rx.Empty()) {
      Require(link_.rxReadOffset == 0, "read offset left behind an empty ring");
    } else {
      Require(link_.rxReadOffset < PayloadLength(link_.rx.Head()), "read offset past the head");
      storedBytes -= link_.rxReadOffset;
    }
    Require(storedBytes == stored_.size(), "the receive ring holds other bytes than were stored");
    for (uint32_t i = 0; i < link_.tx.count; ++i) {
      const LinkPacket& packet = link_.tx.slots[(link_.tx.readIndex + i) % LinkRing::kSlots];
      Require(PayloadLength(packet) <= kMaxPayload, "a queued packet claims more than its slot");
    }
  }

  FuzzedDataProvider& input_;
  SimClock clock_;
  FuzzLayer layer_;
  HostProbe link_;

  uint8_t nextByte_ = 0;
  bool wasConnected_ = false;
  std::deque<uint8_t> stored_;      // bytes in the receive ring, not yet taken
  std::vector<uint8_t> accepted_;   // bytes Send accepted since the link connected
  size_t onWire_ = 0;               // how many of them went out in a first copy
  std::array<std::vector<uint8_t>, 256> firstCopy_;
  std::array<bool, 256> known_{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const LinkState start = static_cast<LinkState>(input.ConsumeIntegralInRange<uint32_t>(0, 5));
  // Half the runs start just below the tick's wrap.
  const uint32_t startTick =
      input.ConsumeBool() ? 0xFFFFFFFFu - input.ConsumeIntegralInRange<uint32_t>(0, 200) : 1000;
  Harness harness(input, startTick);
  harness.Start(start);
  harness.Run();
  return 0;
}
