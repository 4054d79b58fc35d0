#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A path recorded at build time as a path of this system. A cross build
// records the build machine's paths; under wine that machine's root is
// drive Z:.
std::string HostPath(const std::string& buildPath);

// Whether a child program shares this process's console (keys written to
// it reach the program, and so do its control events) or has none at all.
enum class ChildConsole { Shared, None };

// One run of a command-line program: its standard output through a pipe
// (collected as it comes), standard error into a file, in a given working
// directory. `environment` adds NAME=value settings to this
// process's own; inherited KAVLO_VIRTUAL_* and KAVLO_TEST_* settings are
// dropped first.
class WindowsProcess {
 public:
  WindowsProcess(const std::string& executable, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, const std::string& directory,
                 ChildConsole console = ChildConsole::Shared);
  // Ends the program if it still runs.
  ~WindowsProcess();
  WindowsProcess(const WindowsProcess&) = delete;
  WindowsProcess& operator=(const WindowsProcess&) = delete;

  bool Started() const { return process != nullptr; }
  // Waits until the output holds `text`; false after `limitMs` (a hang).
  bool WaitForOutput(const std::string& text, uint32_t limitMs = 20000);
  // Waits for the end of the run: its exit code, or -1 after `limitMs`
  // (the program is then ended).
  int Finish(uint32_t limitMs = 30000);

  // Standard output as written, CR LF line ends included.
  std::string RawOutput();
  // Standard output with every CR LF turned into LF.
  std::string Output();
  // Standard error as written.
  std::string ErrorOutput() const;

 private:
  void CollectOutput();

  HANDLE process = nullptr;
  HANDLE outputRead = nullptr;
  std::string errorPath;
  std::thread collector;
  std::mutex outputMutex;
  std::string output;
};

// Replaces the figures of "Transfer time: ..." lines by "<statistics>".
std::string MaskStatistics(const std::string& text);

// Quotes one argument for a Windows command line, so that the C runtime's
// parsing gives it back unchanged.
std::string QuoteArgument(const std::string& argument);
