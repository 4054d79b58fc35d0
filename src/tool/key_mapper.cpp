#include "tool/key_mapper.h"

#include "client/command_protocol.h"
#include "platform/console.h"

KeyAction MapConsoleKey(uint8_t code) {
  switch (code) {
    case kConsoleKeyEscape:
      return {KeyTreatment::EndRun, 0};
    case kConsoleKeyPrefix:
    case kConsoleKeyExtendedPrefix:
      return {KeyTreatment::SkipExtendedKey, 0};
    case kConsoleKeyEnter:
      return {KeyTreatment::Forward, kKeyEnter};
    case kConsoleKeyBackspace:
      return {KeyTreatment::Forward, kKeyBackspace};
    case kConsoleKeyTab:
      return {KeyTreatment::Forward, kKeyTab};
    default:
      break;
  }
  if (code >= kKeyPrintableFirst && code <= kKeyPrintableLast) return {KeyTreatment::Forward, code};
  return {KeyTreatment::Drop, 0};
}
