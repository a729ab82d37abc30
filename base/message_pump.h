// MessagePump: what drives a MessageLoop. It waits for work and calls back into
// the loop through MessagePump::Delegate.
//
// A pump belongs to the thread of its loop; only ScheduleWork may be called
// from other threads. Pumps are shared between the loop and whoever is waking
// it (so a poster can finish ScheduleWork while the loop is going away).
#pragma once

#include <cstdint>

struct tagMSG;

namespace cbase {

// Optional hook of a UI run: gets each window message instead of the default
// translate-and-dispatch and answers whether the run should go on.
class MessageDispatcher {
 public:
  virtual ~MessageDispatcher() = default;
  virtual bool Dispatch(const tagMSG& message) = 0;
};

class MessagePump {
 public:
  // The loop side of a pump. Every call happens on the loop's thread.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Runs at most one immediate task; answers whether it ran one.
    virtual bool DoWork() = 0;
    // Runs at most one due delayed task; answers whether it ran one. Writes to
    // *next_run_time the earliest pending run time (0: none) when it changes.
    virtual bool DoDelayedWork(int64_t* next_run_time) = 0;
    // Runs deferred non-nestable work or, with nothing left, lets the run
    // quit if asked to; answers whether it did work.
    virtual bool DoIdleWork() = 0;
  };

  virtual ~MessagePump() = default;

  // Runs until Quit. Nested calls are allowed. Loop thread.
  virtual void Run(Delegate* delegate) = 0;
  // Ends the innermost Run once control returns to the pump. Loop thread.
  virtual void Quit() = 0;
  // Makes the running pump call DoWork soon. Any thread.
  virtual void ScheduleWork() = 0;
  // Makes the pump call DoDelayedWork at about `run_time` (MonotonicNow
  // microseconds). Loop thread.
  virtual void ScheduleDelayedWork(int64_t run_time) = 0;
};

// One active Run of a Windows pump; nested runs stack them. Loop thread.
struct PumpRunState {
  int run_depth;
  bool should_quit;
  MessagePump::Delegate* delegate;
  MessageDispatcher* dispatcher;  // UI pump only
};

}  // namespace cbase
