// What waiting costs: processor time per minute of
//
//   IdleConnectedLink/<s>   a connected host link with nothing to send or
//                           receive (its worker polls every 10 ms), measured
//                           for <s> seconds of the process's CPU clock while
//                           the peer, a hand-stepped link, stays silent;
//   ListeningLoop/<s>       the command's listening loop with nothing to
//                           show: kavlo-usb-virtual -debug under a
//                           pseudo-terminal, idle for <s> seconds. Counted
//                           per thread from /proc: the main thread (the loop
//                           itself, asking for debug output every 50 ms),
//                           the link's worker (the newest thread: the link
//                           is created after the virtual device opened), and
//                           the whole process, emulated device included.
//
// Figures are scaled to one minute.
#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "link/transport_host.h"
#include "link_probe.h"
#include "packet_pipe.h"
#include "tool_process.h"

namespace {

constexpr double kSecondsPerMinute = 60.0;

double ProcessCpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void IdleConnectedLink(benchmark::State& state) {
  const auto span = std::chrono::seconds(state.range(0));
  PacketPipe pipe;
  TransportHost host(&pipe.HostEnd());
  DeviceProbe device(&pipe.DeviceEnd(), SystemClock(), LinkWorker::Manual);
  device.Listen();
  std::atomic<bool> pumping{true};
  std::thread pump([&] {
    while (pumping.load()) {
      device.Poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const bool connected = host.Connect();
  // The device turns Connected on the host's acknowledgement of its accept.
  for (int i = 0; i < 1000 && device.CurrentState() != LinkState::Connected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  pumping.store(false);
  pump.join();
  if (!connected || device.CurrentState() != LinkState::Connected) {
    state.SkipWithError("the links did not connect");
    return;
  }
  double cpu = 0;
  for (auto _ : state) {
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(span);
    cpu = ProcessCpuSeconds() - before;
  }
  state.counters["cpu_ms_per_minute"] = cpu * 1000.0 * kSecondsPerMinute / static_cast<double>(span.count());
  state.counters["link_state_connected"] = host.CurrentState() == LinkState::Connected ? 1 : 0;
}

// Nanoseconds on the processor of every thread of a process, by thread id.
std::map<int, double> ThreadCpuNanoseconds(pid_t pid) {
  std::map<int, double> threads;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* directory = opendir(tasks.c_str());
  if (directory == nullptr) return threads;
  while (dirent* entry = readdir(directory)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
    double running = 0;
    if (schedstat >> running) threads[std::atoi(entry->d_name)] = running;
  }
  closedir(directory);
  return threads;
}

void ListeningLoop(benchmark::State& state) {
  const auto span = std::chrono::seconds(state.range(0));
  char pattern[] = "/tmp/kavlo-bench-listen-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    state.SkipWithError("no scratch directory");
    return;
  }
  double mainMs = 0;
  double workerMs = 0;
  double totalMs = 0;
  for (auto _ : state) {
    ToolProcess tool(KAVLO_VIRTUAL_TOOL, {"-debug"}, {}, pattern);
    if (!tool.WaitForOutput("Press [escape] to exit.") || !tool.WaitForKeyMode(true)) {
      state.SkipWithError("the listening loop did not start");
      break;
    }
    const pid_t pid = tool.Pid();
    // Let the connection's own traffic settle first.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::map<int, double> before = ThreadCpuNanoseconds(pid);
    std::this_thread::sleep_for(span);
    const std::map<int, double> after = ThreadCpuNanoseconds(pid);
    tool.Type("\x1b");
    tool.Finish();
    for (const auto& [thread, nanoseconds] : after) {
      const auto earlier = before.find(thread);
      const double spent = (nanoseconds - (earlier == before.end() ? 0.0 : earlier->second)) / 1e6;
      totalMs += spent;
      if (thread == pid) mainMs += spent;
    }
    if (!after.empty()) {
      const int newest = after.rbegin()->first;
      const auto earlier = before.find(newest);
      workerMs += (after.rbegin()->second - (earlier == before.end() ? 0.0 : earlier->second)) / 1e6;
    }
  }
  const std::string remove = std::string("rm -rf '") + pattern + "'";
  if (std::system(remove.c_str()) != 0) state.SkipWithError("scratch directory left behind");
  const double scale = kSecondsPerMinute / static_cast<double>(span.count()) / static_cast<double>(state.iterations());
  state.counters["loop_thread_cpu_ms_per_minute"] = mainMs * scale;
  state.counters["link_worker_cpu_ms_per_minute"] = workerMs * scale;
  state.counters["process_cpu_ms_per_minute"] = totalMs * scale;
}

BENCHMARK(IdleConnectedLink)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(ListeningLoop)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
