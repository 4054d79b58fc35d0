#pragma once

#include <cstdint>
#include <memory>

// A joinable thread running one entry function. The thread starts in Start
// and is joined by Join or, at the latest, by the destructor.
class Thread {
 public:
  using Entry = uint32_t (*)(void* parameter);

  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread; false when it could not be created.
  bool Start(Entry entry, void* parameter);
  // True between a successful Start and Join.
  bool Started() const;
  // Waits without limit for the thread to end.
  void Join();

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};
