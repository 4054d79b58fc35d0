#include "tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

constexpr int kSignalExitBase = 128;
constexpr int kSettleMs = 100;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// In the child: the environment for the run, then the executable.
[[noreturn]] void ExecTool(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, const std::string& directory) {
  std::vector<std::string> names;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "KAVLO_VIRTUAL_", 14) == 0) names.emplace_back(*entry, std::strchr(*entry, '=') - *entry);
  }
  for (const std::string& name : names) unsetenv(name.c_str());
  setenv("KAVLO_TEST_BOARD_LOG", (directory + "/board.log").c_str(), 1);
  for (const std::string& setting : environment) {
    const size_t equals = setting.find('=');
    setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
  }
  if (chdir(directory.c_str()) != 0) _exit(126);
  std::vector<char*> argv{const_cast<char*>(executable.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(executable.c_str(), argv.data());
  _exit(127);
}

// In the child: what a shell does for a foreground job. The tool runs in a
// process group of its own that owns the terminal; when it stops, the shell
// reports it and waits for the word to continue it in the foreground. The
// shell ends with the tool's exit code.
[[noreturn]] void RunJobShell(int terminal, int reports, int commands, const std::string& executable,
                              const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                              const std::string& directory) {
  signal(SIGTTOU, SIG_IGN);  // giving the terminal away from the background
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    tcsetpgrp(terminal, getpid());
    signal(SIGTTOU, SIG_DFL);
    ExecTool(executable, arguments, environment, directory);
  }
  setpgid(job, job);
  tcsetpgrp(terminal, job);
  for (;;) {
    int status = 0;
    if (waitpid(job, &status, WUNTRACED) != job) _exit(125);
    if (WIFSTOPPED(status)) {
      const char stopped = 'S';
      char word = 0;
      if (write(reports, &stopped, 1) != 1 || read(commands, &word, 1) != 1) _exit(125);
      tcsetpgrp(terminal, job);
      kill(-job, SIGCONT);
      continue;
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : kSignalExitBase + WTERMSIG(status));
  }
}

}  // namespace

std::string MaskStatistics(const std::string& text) {
  static const std::regex statistics(
      R"(Transfer time: [0-9]+ ms \(send time: [0-9]+ ms\)(; Average: [0-9]+ bytes/second\.)?)");
  return std::regex_replace(text, statistics, "<statistics>");
}

ToolProcess::ToolProcess(const std::string& executable, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, const std::string& scratch,
                         ToolStreams streams)
    : directory(scratch) {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  grantpt(master);
  unlockpt(master);
  const std::string slaveName = ptsname(master);
  slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);

  int closedPipe[2] = {-1, -1};
  if (streams == ToolStreams::OutputToClosedPipe && pipe(closedPipe) != 0) return;
  int reports[2] = {-1, -1};
  int commands[2] = {-1, -1};
  if (streams == ToolStreams::TerminalJob && (pipe2(reports, O_CLOEXEC) != 0 || pipe2(commands, O_CLOEXEC) != 0)) {
    return;
  }

  pid = fork();
  if (pid != 0) {
    if (closedPipe[0] >= 0) {
      close(closedPipe[0]);
      close(closedPipe[1]);
    }
    if (reports[0] >= 0) {
      close(reports[1]);
      close(commands[0]);
      jobReports = reports[0];
      jobCommands = commands[1];
    }
    return;
  }
  // The child: a session of its own with the terminal as its controlling one.
  setsid();
  const int terminal = open(slaveName.c_str(), O_RDWR);
  ioctl(terminal, TIOCSCTTY, 0);
  const int null = open("/dev/null", O_RDWR);
  const int errors = open((directory + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const bool keyboard = streams == ToolStreams::Terminal || streams == ToolStreams::TerminalJob;
  dup2(keyboard ? terminal : null, STDIN_FILENO);
  if (streams == ToolStreams::OutputToClosedPipe) {
    close(closedPipe[0]);
    dup2(closedPipe[1], STDOUT_FILENO);
  } else {
    dup2(terminal, STDOUT_FILENO);
  }
  dup2(errors, STDERR_FILENO);
  // A shell starts a job with the default actions and nothing blocked,
  // whatever the harness inherited (std::system, for one, ignores SIGINT
  // and SIGQUIT for a while).
  for (const int signalNumber : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU, SIGCONT}) {
    signal(signalNumber, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (streams == ToolStreams::TerminalJob) RunJobShell(terminal, reports[1], commands[0], executable, arguments,
                                                       environment, directory);
  ExecTool(executable, arguments, environment, directory);
}

ToolProcess::~ToolProcess() {
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  if (slave >= 0) close(slave);
  if (master >= 0) close(master);
  if (jobReports >= 0) close(jobReports);
  if (jobCommands >= 0) close(jobCommands);
}

bool ToolProcess::WaitUntilSuspended(int limitMs) {
  const int64_t end = NowMs() + limitMs;
  for (;;) {
    pollfd report{jobReports, POLLIN, 0};
    if (poll(&report, 1, 0) == 1) {
      char stopped = 0;
      return read(jobReports, &stopped, 1) == 1 && stopped == 'S';
    }
    if (NowMs() > end) return false;
    Collect(5);
  }
}

void ToolProcess::ResumeInForeground() {
  const char word = 'C';
  const ssize_t written = write(jobCommands, &word, 1);
  static_cast<void>(written);
}

void ToolProcess::Collect(int waitMs) {
  pollfd source{master, POLLIN, 0};
  if (poll(&source, 1, waitMs) <= 0) return;
  char bytes[4096];
  const ssize_t got = read(master, bytes, sizeof bytes);
  if (got > 0) raw.append(bytes, static_cast<size_t>(got));
}

void ToolProcess::Type(const std::string& bytes) {
  const ssize_t written = write(master, bytes.data(), bytes.size());
  static_cast<void>(written);
}

bool ToolProcess::WaitForOutput(const std::string& text, int limitMs) {
  const int64_t end = NowMs() + limitMs;
  while (Output().find(text) == std::string::npos) {
    if (NowMs() > end) return false;
    Collect(10);
  }
  return true;
}

bool ToolProcess::WaitForKeyMode(bool on, int limitMs) {
  const int64_t end = NowMs() + limitMs;
  for (;;) {
    const termios settings = TerminalSettings();
    const bool keyMode = (settings.c_lflag & (ICANON | ECHO)) == 0;
    if (keyMode == on) return true;
    if (NowMs() > end) return false;
    Collect(5);
  }
}

void ToolProcess::WaitUntilInputTaken() {
  const int64_t end = NowMs() + 20000;
  int waiting = 1;
  while (ioctl(slave, FIONREAD, &waiting) == 0 && waiting > 0 && NowMs() < end) Collect(5);
  const int64_t settled = NowMs() + kSettleMs;
  while (NowMs() < settled) Collect(5);
}

int ToolProcess::Finish(int limitMs) {
  const int64_t end = NowMs() + limitMs;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (NowMs() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
      return -1;
    }
    Collect(10);
  }
  pid = -1;
  for (;;) {
    const size_t before = raw.size();
    Collect(0);
    if (raw.size() == before) break;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return kSignalExitBase + WTERMSIG(status);
}

std::string ToolProcess::Output() const {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  return MaskStatistics(text);
}

std::string ToolProcess::ErrorOutput() const { return ReadFile(directory + "/stderr.txt"); }

BoardLog ToolProcess::Board() const {
  BoardLog log;
  std::istringstream lines(ReadFile(directory + "/board.log"));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "block") log.blocks.push_back(value);
    if (key == "reboots") log.reboots = static_cast<uint32_t>(std::stoul(value));
    if (key == "keys") log.keys = value;
    if (key == "modes") log.modes = value;
    if (key == "sessions") log.sessions = static_cast<uint32_t>(std::stoul(value));
    if (key == "disconnects") log.disconnects = static_cast<uint32_t>(std::stoul(value));
  }
  return log;
}

termios ToolProcess::TerminalSettings() const {
  termios settings{};
  tcgetattr(slave, &settings);
  return settings;
}
