#include "tool/tool_output.h"

#include <cstdarg>
#include <cstdio>

void Print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

void PrepareOutput() { std::setvbuf(stdout, nullptr, _IONBF, 0); }

bool OutputClosed() { return std::ferror(stdout) != 0; }
