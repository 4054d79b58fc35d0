#include "platform/option_syntax.h"

bool IsOptionArgument(const char* argument, const char* optionName) {
  if (argument[0] == '-') return true;
  return argument[0] == '/' && EqualsIgnoringAsciiCase(argument + 1, optionName);
}
