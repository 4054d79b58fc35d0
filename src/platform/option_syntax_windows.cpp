#include "platform/option_syntax.h"

bool IsOptionArgument(const char* argument, const char*) { return argument[0] == '-' || argument[0] == '/'; }
