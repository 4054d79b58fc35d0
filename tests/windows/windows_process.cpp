#include "windows_process.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace {

constexpr DWORD kKilledExitCode = 0xDEAD;
constexpr uint32_t kOutputPollMs = 10;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

bool DroppedFromEnvironment(const std::wstring& entry) {
  return entry.rfind(L"KAVLO_VIRTUAL_", 0) == 0 || entry.rfind(L"KAVLO_TEST_", 0) == 0;
}

std::wstring NameOf(const std::wstring& entry) {
  const size_t equals = entry.find(L'=', 1);
  std::wstring name = entry.substr(0, equals);
  std::transform(name.begin(), name.end(), name.begin(), ::towupper);
  return name;
}

// This process's environment less the dropped settings, plus `added`,
// sorted by name as Windows keeps it, as one block of zero-terminated
// entries ending in an empty one.
std::wstring EnvironmentBlock(const std::vector<std::string>& added) {
  std::vector<std::wstring> entries;
  wchar_t* own = GetEnvironmentStringsW();
  for (const wchar_t* entry = own; *entry != L'\0'; entry += wcslen(entry) + 1) {
    if (!DroppedFromEnvironment(entry)) entries.emplace_back(entry);
  }
  FreeEnvironmentStringsW(own);
  for (const std::string& setting : added) {
    const std::wstring entry = Widen(setting);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::wstring& old) { return NameOf(old) == NameOf(entry); }),
                  entries.end());
    entries.push_back(entry);
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const std::wstring& left, const std::wstring& right) { return NameOf(left) < NameOf(right); });
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  block += L'\0';
  return block;
}

}  // namespace

std::string HostPath(const std::string& buildPath) {
  std::string path = buildPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  if (!buildPath.empty() && buildPath[0] == '/') path = "Z:" + path;
  return path;
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count literally unless a quote follows them.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string MaskStatistics(const std::string& text) {
  static const std::regex statistics(
      R"(Transfer time: [0-9]+ ms \(send time: [0-9]+ ms\)(; Average: [0-9]+ bytes/second\.)?)");
  return std::regex_replace(text, statistics, "<statistics>");
}

WindowsProcess::WindowsProcess(const std::string& executable, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment, const std::string& directory,
                               ChildConsole console)
    : errorPath(directory + "\\stderr.txt") {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outputWrite = nullptr;
  if (!CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) return;
  SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE errorFile = CreateFileW(Widen(errorPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

  std::string commandLine = QuoteArgument(executable);
  for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);
  std::wstring command = Widen(commandLine);
  std::wstring block = EnvironmentBlock(environment);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outputWrite;
  startup.hStdError = errorFile;
  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (console == ChildConsole::None) flags |= DETACHED_PROCESS;
  PROCESS_INFORMATION info{};
  if (CreateProcessW(Widen(executable).c_str(), &command[0], nullptr, nullptr, TRUE, flags, &block[0], Widen(directory).c_str(), &startup, &info)) {
    process = info.hProcess;
    CloseHandle(info.hThread);
  }
  // The child holds its own copies; the pipe ends when the child does.
  CloseHandle(outputWrite);
  if (errorFile != INVALID_HANDLE_VALUE) CloseHandle(errorFile);
  collector = std::thread([this] { CollectOutput(); });
}

WindowsProcess::~WindowsProcess() {
  if (process != nullptr) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process, kKilledExitCode);
      WaitForSingleObject(process, INFINITE);
    }
    CloseHandle(process);
  }
  if (collector.joinable()) collector.join();
  if (outputRead != nullptr) CloseHandle(outputRead);
}

void WindowsProcess::CollectOutput() {
  char bytes[4096];
  DWORD got = 0;
  while (ReadFile(outputRead, bytes, sizeof bytes, &got, nullptr) && got > 0) {
    std::lock_guard<std::mutex> hold(outputMutex);
    output.append(bytes, got);
  }
}

bool WindowsProcess::WaitForOutput(const std::string& text, uint32_t limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Output().find(text) != std::string::npos) return true;
    Sleep(kOutputPollMs);
  }
  return false;
}

int WindowsProcess::Finish(uint32_t limitMs) {
  if (process == nullptr) return -1;
  if (WaitForSingleObject(process, limitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process, kKilledExitCode);
    WaitForSingleObject(process, INFINITE);
    if (collector.joinable()) collector.join();
    return -1;
  }
  // The pipe ends with the child; all it wrote is collected then.
  if (collector.joinable()) collector.join();
  DWORD exitCode = 0;
  GetExitCodeProcess(process, &exitCode);
  return static_cast<int>(exitCode);
}

std::string WindowsProcess::RawOutput() {
  std::lock_guard<std::mutex> hold(outputMutex);
  return output;
}

std::string WindowsProcess::Output() {
  std::string text = RawOutput();
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i];
  }
  return plain;
}

std::string WindowsProcess::ErrorOutput() const {
  std::ifstream file(errorPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
