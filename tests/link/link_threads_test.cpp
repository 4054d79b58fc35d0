// The link with its worker thread: wake-ups, the worker's cadence, and
// creating and destroying links while the worker is busy. Runs under TSan.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "link_probe.h"
#include "scripted_layer.h"
#include "simulated_link_pair.h"

namespace {

using Milliseconds = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// Real time, with a hook that runs once just before the next wait on an
// event begins: after the waiting call has reset the event and released the
// link's lock, i.e. between its last look at the record and its wait.
class HookClock final : public Clock {
 public:
  uint32_t Now() override { return SystemClock().Now(); }
  void Sleep(uint32_t milliseconds) override { SystemClock().Sleep(milliseconds); }
  bool WaitFor(Event& event, uint32_t milliseconds) override {
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      hook.swap(hook_);
    }
    if (hook) hook();
    return SystemClock().WaitFor(event, milliseconds);
  }
  void BeforeNextWait(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    hook_ = std::move(hook);
  }

 private:
  std::mutex mutex_;
  std::function<void()> hook_;
};

// Records how long the worker sleeps between steps. Its time moves only by
// those sleeps (a step takes no time), so the worker's cadence shows in the
// recorded lengths whatever the load on the machine; each sleep also lasts
// a real millisecond so the worker cannot spin.
class RecordingClock final : public Clock {
 public:
  uint32_t Now() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return now_;
  }
  void Sleep(uint32_t milliseconds) override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      sleeps_.push_back(milliseconds);
      now_ += milliseconds;
    }
    SystemClock().Sleep(kBusyPollMs);
  }
  bool WaitFor(Event& event, uint32_t milliseconds) override {
    return SystemClock().WaitFor(event, milliseconds);
  }
  std::vector<uint32_t> TakeSleeps() {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<uint32_t> taken;
    taken.swap(sleeps_);
    return taken;
  }

 private:
  std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
  uint32_t now_ = 0;
};

// Waits (bounded, to catch a hang) until the condition holds.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = SteadyClock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(Milliseconds(1));
  }
  return true;
}

// Opens a threaded host link against a scripted peer that accepts the
// first request it sees.
bool ConnectToScriptedPeer(TransportHost& host, ScriptedLayer& layer) {
  std::thread peer([&] {
    if (Eventually([&] { return !layer.Sent().empty(); })) {
      layer.Deliver(MakePacket(0x7F, 0xFF, 0x40, {0x02}));
    }
  });
  const bool connected = host.Connect();
  peer.join();
  return connected;
}

template <class Probe>
LinkState StateOf(Probe& link) {
  return link.CurrentState();
}

TEST(LinkThreads, WorkerPollsAtOnceSlowlyWhenIdleAndFastWhenBusy) {
  RecordingClock clock;
  ScriptedLayer layer;
  HostProbe link(&layer, clock);
  ASSERT_TRUE(Eventually([&] { return layer.ReadCalls() > 0; }));

  ASSERT_TRUE(Eventually([&] { return clock.TakeSleeps().size() >= 1; }));
  std::vector<uint32_t> sleeps;
  ASSERT_TRUE(Eventually([&] {
    for (uint32_t ms : clock.TakeSleeps()) sleeps.push_back(ms);
    return sleeps.size() >= 4;
  }));
  for (uint32_t ms : sleeps) EXPECT_EQ(ms, kIdlePollMs);

  link.lock.Acquire();
  link.waiter = WaiterKind::Receive;
  link.lock.Release();
  clock.TakeSleeps();
  sleeps.clear();
  ASSERT_TRUE(Eventually([&] {
    for (uint32_t ms : clock.TakeSleeps()) sleeps.push_back(ms);
    return sleeps.size() >= 6;
  }));
  // The first may have been decided before the change.
  for (size_t i = 1; i < sleeps.size(); ++i) EXPECT_EQ(sleeps[i], kBusyPollMs);

  link.lock.Acquire();
  link.waiter = WaiterKind::None;
  link.lock.Release();
}

// The reply arrives, and the worker signals, after Receive has looked at
// the empty ring but before it starts waiting. It must still be woken.
TEST(LinkThreads, ReplyBetweenTheLastLookAndTheWaitStillWakes) {
  HookClock clock;
  ScriptedLayer layer;
  HostProbe link(&layer, clock);
  ASSERT_TRUE(ConnectToScriptedPeer(link, layer));

  clock.BeforeNextWait([&] {
    layer.Deliver(MakeDataPacket(0x80, 0xFF, {1, 2, 3}));
    // Until the worker has stored it (and so signalled).
    Eventually([&] {
      link.lock.Acquire();
      const bool stored = link.rx.count > 0;
      link.lock.Release();
      return stored;
    });
  });
  uint8_t buffer[3] = {};
  const auto start = SteadyClock::now();
  EXPECT_EQ(link.Receive(buffer, 3, 30000), 3);
  EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(15)) << "the signal was lost";
  EXPECT_EQ(buffer[2], 3);
}

// Abort signals with nobody waiting. That old signal must not end the wait
// of the next Connect before the peer has answered.
TEST(LinkThreads, StaleSignalDoesNotEndALaterWait) {
  SimulatedLinkPair pair;
  ASSERT_TRUE(pair.Connect());
  pair.host.Abort();
  ASSERT_TRUE(pair.host.wakeEvent.IsSet());
  pair.device.Abort();
  pair.device.Listen();
  EXPECT_TRUE(pair.host.Connect());
  EXPECT_EQ(pair.host.CurrentState(), LinkState::Connected);
}

TEST(LinkThreads, PeerResetWakesAWaitingReceiveAtOnce) {
  ScriptedLayer layer;
  TransportHost link(&layer);
  ASSERT_TRUE(ConnectToScriptedPeer(link, layer));

  std::thread peer([&] {
    std::this_thread::sleep_for(Milliseconds(100));
    layer.Deliver(MakePacket(0x05, 0x00, 0x40, {0x05}));
  });
  uint8_t buffer[8];
  const auto start = SteadyClock::now();
  EXPECT_EQ(link.Receive(buffer, 8, 60000), -1);
  EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(30));
  peer.join();
  EXPECT_EQ(link.CurrentState(), LinkState::Idle);
}

TEST(LinkThreads, DeletingAConnectedLinkSendsNothing) {
  ScriptedLayer layer;
  auto* link = new TransportHost(&layer);
  ASSERT_TRUE(ConnectToScriptedPeer(*link, layer));
  ASSERT_TRUE(Eventually([&] { return layer.Sent().size() >= 2; }));  // request, ack
  layer.TakeSent();
  delete link;
  layer.Close();
  EXPECT_TRUE(layer.Sent().empty());
}

// Links come and go quickly, some while the worker is inside a slow Write
// (answering a packet with a Reset). No hang, and no call of the layer once
// the destructor has returned.
TEST(LinkThreads, CreatingAndDeletingLinksNeverOutlivesTheLayer) {
  for (int round = 0; round < 40; ++round) {
    ScriptedLayer layer;
    if (round % 2 == 0) {
      layer.SetWriteDelay(Milliseconds(15));
      layer.Deliver(MakePacket(0x00, 0x00, 0x01, {0xAA}));
    }
    auto* link = new TransportHost(&layer);
    std::this_thread::sleep_for(Milliseconds(round % 5));
    delete link;
    layer.Close();
    std::this_thread::sleep_for(Milliseconds(2));
    EXPECT_EQ(layer.CallsAfterClose(), 0) << "round " << round;
  }
}

}  // namespace
