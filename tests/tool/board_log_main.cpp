// kavlo-usb on the virtual interface, for the process tests: when the run
// is over (the client gone), it writes what the board model received to the
// file named by KAVLO_TEST_BOARD_LOG, one record a line:
//
//   block <payload in hex>   every block, in order
//   reboots <n>
//   keys <hex>
//   modes <hex>              SetDebugMode modes, in order
//   sessions <n>
//   disconnects <n>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tool/main_routine.h"
#include "virtual/virtual_interface.h"

namespace {

void WriteHex(std::FILE* file, const std::vector<uint8_t>& bytes) {
  for (const uint8_t byte : bytes) std::fprintf(file, "%02x", byte);
}

void WriteBoardLog(const char* path, const VirtualBoardLog& log) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) return;
  for (const std::vector<uint8_t>& block : log.blocks) {
    std::fprintf(file, "block ");
    WriteHex(file, block);
    std::fprintf(file, "\n");
  }
  std::fprintf(file, "reboots %u\nkeys ", static_cast<unsigned>(log.reboots));
  WriteHex(file, log.keys);
  std::fprintf(file, "\nmodes ");
  WriteHex(file, log.debugModes);
  std::fprintf(file, "\nsessions %u\ndisconnects %u\n", static_cast<unsigned>(log.sessions),
               static_cast<unsigned>(log.disconnects));
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  const int exitCode = RunMainRoutine(argc, argv);
  if (const char* path = std::getenv("KAVLO_TEST_BOARD_LOG")) WriteBoardLog(path, VirtualBoardSnapshot());
  return exitCode;
}
