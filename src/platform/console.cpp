#include "platform/console.h"

#include "platform/clock.h"
#include "platform/stop_request.h"

// The platform only knows how to wait a while for input; the limit over
// the whole wait and the early end on a stop are the same everywhere.
bool Console::WaitForKey(uint32_t milliseconds) {
  Clock& clock = SystemClock();
  const uint32_t start = clock.Now();
  for (;;) {
    if (KeyWaiting()) return true;
    if (StopRequested()) return false;
    const uint32_t elapsed = clock.Now() - start;
    if (elapsed >= milliseconds) return false;
    AwaitInput(milliseconds - elapsed);
  }
}
