// Upload of one 32,768-byte image through the command's own upload path
// (image file, image record, client, link, HID layer) to the virtual
// interface, which runs the device side in real time at its default timing:
// one report per millisecond each way, no latency.
//
// Reported beside the floor the protocol's design sets: the image record of
// 32,771 bytes travels in 538 packets of at most 61 bytes, and only the head
// of the transmit ring is ever on the wire, so at best one packet goes out
// per round trip, and a round trip takes at least one busy poll (1 ms).
//
//   UploadImage32K            median upload time, bytes per second, ratio
//                             to the floor (design target: 1.15 or less)
//   UploadImage32KLoss/<‰>    the same with that share (per mille) of
//                             reports lost in each direction, for the plot
//                             in docs/performance.md
#include <unistd.h>
#include <fcntl.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "client/command_protocol.h"
#include "client/interface_client.h"
#include "link/link_packet.h"
#include "tool/upload_image.h"
#include "virtual/virtual_interface.h"

namespace {

constexpr uint32_t kImageBytes = kMaxImageSize;
constexpr uint32_t kRecordBytes = kImageBytes + kImageRecordHeaderSize;
constexpr uint32_t kFloorPackets = (kRecordBytes + kMaxPayload - 1) / kMaxPayload;  // 538
constexpr double kFloorMs = kFloorPackets * 1.0;  // one packet per 1 ms round trip

// Standard output goes to /dev/null while the tool prints its progress, and
// comes back for the benchmark's report.
class MutedOutput {
 public:
  MutedOutput() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~MutedOutput() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

std::string WriteRandomImage() {
  char path[] = "/tmp/kavlo-bench-image-XXXXXX";
  const int descriptor = mkstemp(path);
  std::vector<uint8_t> image(kImageBytes);
  std::mt19937 random(7);
  for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
  if (descriptor < 0 || write(descriptor, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
    std::fprintf(stderr, "cannot write %s\n", path);
    std::exit(1);
  }
  close(descriptor);
  return path;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Connects once, then times each upload alone (the connection, version
// query and goodbye are not part of it).
void Upload(benchmark::State& state, const VirtualSettings& settings) {
  const std::string path = WriteRandomImage();
  std::vector<double> milliseconds;
  {
    MutedOutput muted;
    InstallVirtualInterface(settings);
    InterfaceClient client;
    if (!client.Connect()) {
      state.SkipWithError("no connection to the virtual interface");
    } else {
      for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool uploaded = UploadImage(client, path.c_str(), kRecordFirstImage);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!uploaded) {
          state.SkipWithError("the upload failed");
          break;
        }
        state.SetIterationTime(elapsed.count());
        milliseconds.push_back(elapsed.count() * 1000.0);
      }
    }
  }
  std::remove(path.c_str());
  if (milliseconds.empty()) return;
  const double median = Median(milliseconds);
  state.counters["median_ms"] = median;
  state.counters["bytes_per_second"] = kRecordBytes / (median / 1000.0);
  state.counters["floor_ms"] = kFloorMs;
  state.counters["floor_ratio"] = median / kFloorMs;
}

void UploadImage32K(benchmark::State& state) { Upload(state, VirtualSettings{}); }

void UploadImage32KLoss(benchmark::State& state) {
  VirtualSettings settings;
  settings.lossRate = static_cast<double>(state.range(0)) / 1000.0;
  state.counters["loss_rate"] = settings.lossRate;
  Upload(state, settings);
}

BENCHMARK(UploadImage32K)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(UploadImage32KLoss)
    ->Arg(0)->Arg(10)->Arg(20)->Arg(50)->Arg(100)->Arg(150)->Arg(200)
    ->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
