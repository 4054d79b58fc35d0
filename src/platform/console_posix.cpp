#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/signal_wake_posix.h"
#include "platform/terminal_key_decoder.h"

namespace {

// Bytes taken from standard input at once; the decoder's queue holds the
// codes of many such reads.
constexpr size_t kReadChunk = 32;
constexpr uint8_t kDefaultErase = 0x7F;

}  // namespace

// Standard input as a key source. On a terminal, the key mode (no line
// editing, no echo; signals and output processing untouched) is set from
// construction to destruction, taken back while the process is suspended.
struct Console::Native {
  Native() {
    uint8_t erase = kDefaultErase;
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0) {
      terminal = true;
      keyMode = saved;
      keyMode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
      keyMode.c_cc[VMIN] = 1;
      keyMode.c_cc[VTIME] = 0;
      if (saved.c_cc[VERASE] != _POSIX_VDISABLE) erase = saved.c_cc[VERASE];
      suspend = std::make_unique<SuspendWatch>();
      EnterKeyMode();
    }
    decoder = TerminalKeyDecoder(erase);
    lastInputAt = SystemClock().Now();
  }

  ~Native() {
    if (terminal) LeaveKeyMode();
  }

  void EnterKeyMode() { tcsetattr(STDIN_FILENO, TCSANOW, &keyMode); }
  void LeaveKeyMode() { tcsetattr(STDIN_FILENO, TCSANOW, &saved); }

  // Ctrl-Z: the terminal gets its own mode back while the process is
  // stopped. A continue after any stop sets the key mode again, in case
  // someone changed the terminal meanwhile.
  void FollowJobControl() {
    if (!suspend) return;
    if (suspend->TakeSuspendRequest()) {
      LeaveKeyMode();
      suspend->SuspendNow();
      EnterKeyMode();
    }
    if (suspend->TakeContinued()) EnterKeyMode();
  }

  void MarkEnded() {
    ended = true;
    decoder.Flush();
  }

  // Takes what standard input holds, waiting at most `timeout` ms for it or
  // for a signal; then ends a sequence that has gone quiet.
  void Pump(int timeout) {
    FollowJobControl();
    pollfd sources[2] = {{ended ? -1 : STDIN_FILENO, POLLIN, 0}, {SignalWakeDescriptor(), POLLIN, 0}};
    const int ready = poll(sources, 2, timeout);
    if (ready > 0 && sources[1].revents != 0) {
      DrainSignalWake();
      FollowJobControl();
    }
    if (ready > 0 && sources[0].revents != 0) {
      if ((sources[0].revents & POLLNVAL) != 0) {
        MarkEnded();
      } else {
        uint8_t bytes[kReadChunk];
        const ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
        if (got > 0) {
          for (ssize_t i = 0; i < got; ++i) decoder.Feed(bytes[i]);
          lastInputAt = SystemClock().Now();
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
          MarkEnded();
        }
      }
    }
    if (decoder.Pending() && SystemClock().Now() - lastInputAt >= kLoneEscapeDelayMs) decoder.Flush();
  }

  // Waits until the sequence whose bytes are arriving is complete, or has
  // been quiet long enough to be ended.
  void SettlePending() {
    while (!decoder.HasCode() && decoder.Pending()) {
      const uint32_t quiet = SystemClock().Now() - lastInputAt;
      Pump(quiet >= kLoneEscapeDelayMs ? 0 : static_cast<int>(kLoneEscapeDelayMs - quiet));
    }
  }

  bool terminal = false;
  termios saved{};
  termios keyMode{};
  std::unique_ptr<SuspendWatch> suspend;
  TerminalKeyDecoder decoder;
  bool ended = false;
  uint32_t lastInputAt = 0;
};

Console::Console() : native_(std::make_unique<Native>()) {}

Console::~Console() = default;

bool Console::KeyWaiting() {
  if (!native_->decoder.HasCode()) native_->Pump(0);
  return native_->decoder.HasCode() || native_->decoder.Pending();
}

uint8_t Console::ReadKey() {
  if (!native_->decoder.HasCode()) native_->Pump(0);
  native_->SettlePending();
  return native_->decoder.TakeCode();
}

void Console::AwaitInput(uint32_t milliseconds) { native_->Pump(static_cast<int>(milliseconds)); }

bool Console::InputEnded() {
  return native_->ended && !native_->decoder.HasCode() && !native_->decoder.Pending();
}
