#pragma once

// Which command-line arguments name options on this platform. An argument
// beginning with "-" always does. On Windows, so does every argument
// beginning with "/". On POSIX, where "/" begins every absolute path, an
// argument beginning with "/" is an option only when it spells one of the
// options, `optionName`, in any case of ASCII letters; every other one is a
// path.
bool IsOptionArgument(const char* argument, const char* optionName);

// True when the two texts are equal when ASCII letters are compared without
// regard to case. Independent of the locale.
inline bool EqualsIgnoringAsciiCase(const char* left, const char* right) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *left != '\0' && *right != '\0'; ++left, ++right) {
    if (lower(*left) != lower(*right)) return false;
  }
  return *left == *right;
}
