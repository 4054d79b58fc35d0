#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

// What the board model received during one run (board_log_main.cpp).
struct BoardLog {
  std::vector<std::string> blocks;  // payloads in hex
  uint32_t reboots = 0;
  std::string keys;   // hex
  std::string modes;  // hex
  uint32_t sessions = 0;
  uint32_t disconnects = 0;
};

// Where the tool's standard input and output go.
enum class ToolStreams {
  Terminal,             // both on a new pseudo-terminal, as typed at a shell
  InputFromNull,        // input /dev/null, output on the pseudo-terminal
  OutputToClosedPipe,   // input /dev/null, output a pipe whose reader is gone
  TerminalJob,          // as Terminal, the tool being the foreground job of a
                        // small job-control shell, so that Ctrl-Z stops it
};

// One run of a tool executable in its own session, with the
// pseudo-terminal as its controlling terminal, in a scratch directory that
// also holds the board log and standard error. `environment` adds
// NAME=value settings; inherited KAVLO_VIRTUAL_* settings are dropped.
class ToolProcess {
 public:
  ToolProcess(const std::string& executable, const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment, const std::string& directory,
              ToolStreams streams = ToolStreams::Terminal);
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Types bytes at the terminal.
  void Type(const std::string& bytes);
  // Waits until the output holds `text`; false after `limitMs` (a hang).
  bool WaitForOutput(const std::string& text, int limitMs = 60000);
  // Waits until the terminal is in key mode (no line editing, no echo), or
  // back in line mode.
  bool WaitForKeyMode(bool on, int limitMs = 60000);
  // Waits until the tool has read everything typed, then a little longer,
  // so that what was typed is served before the next bytes come.
  void WaitUntilInputTaken();
  // TerminalJob: waits until the tool has stopped (Ctrl-Z); false after
  // `limitMs`. Then brings it back to the foreground and continues it.
  bool WaitUntilSuspended(int limitMs = 60000);
  void ResumeInForeground();
  // Waits for the end of the run: its exit code, or 128 plus the number of
  // a signal that killed it, or -1 after `limitMs` (the process is killed).
  int Finish(int limitMs = 60000);

  // Output so far with the terminal's CR LF turned back into LF and the
  // figures of transfer statistics replaced by "<statistics>".
  std::string Output() const;
  std::string ErrorOutput() const;
  BoardLog Board() const;
  // The terminal's settings as they are now.
  termios TerminalSettings() const;
  pid_t Pid() const { return pid; }

 private:
  void Collect(int waitMs);

  pid_t pid = -1;
  int master = -1;
  int slave = -1;  // kept open, so the terminal outlives the tool
  int jobReports = -1;   // TerminalJob: the shell writes 'S' when the tool stopped
  int jobCommands = -1;  // TerminalJob: a byte here continues the tool
  std::string directory;
  std::string raw;
};

// Replaces the figures of "Transfer time: ..." lines by "<statistics>".
std::string MaskStatistics(const std::string& text);
