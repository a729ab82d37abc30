// WinIOMessagePump: the pump of I/O threads. It waits on an I/O completion
// port, which carries both the completions of registered handles and the
// pump's own wake-ups (a zero-byte packet whose key and overlapped pointer are
// the pump itself).
//
// Owned (shared) by its IOMessageLoop and created on the loop's thread; loop
// thread only, except ScheduleWork (any thread).
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>

#include "base/observer_list.h"
#include "base/scoped_handle.h"
#include "base/win_message_pump.h"

namespace cbase {

class IOHandler;

// What an overlapped operation on a registered handle carries: the OVERLAPPED
// the system fills, and the handler to tell. Owned by whoever started the
// operation; must live until the completion has been handled.
struct IOContext {
  OVERLAPPED overlapped;
  IOHandler* handler;
};

// Receives the completions of the handles registered with it. Loop thread.
class IOHandler {
 public:
  virtual ~IOHandler() = default;
  // `error` is 0 on success, else the system error code.
  virtual void OnIOCompleted(IOContext* context, DWORD bytes_transferred, DWORD error) = 0;
};

// Sees every completion handed to a handler. Loop thread.
class IOObserver {
 public:
  virtual ~IOObserver() = default;
  virtual void WillProcessIOEvent() = 0;
  virtual void DidProcessIOEvent() = 0;
};

class WinIOMessagePump : public WinMessagePump {
 public:
  WinIOMessagePump();
  ~WinIOMessagePump() override;
  WinIOMessagePump(const WinIOMessagePump&) = delete;
  WinIOMessagePump& operator=(const WinIOMessagePump&) = delete;

  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t run_time) override;

  // Associates `file` (opened for overlapped I/O) with the port; its
  // completions go to `handler`. Answers false if the system refused.
  bool RegisterIOHandler(HANDLE file, IOHandler* handler);

  // Waits up to `timeout_ms` for one completion and handles it. With a
  // `filter`, only that handler's completions are handled now; others are kept
  // for the run loop. Answers whether something was handled.
  bool WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter);

  void AddObserver(IOObserver* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(IOObserver* observer) { observers_.RemoveObserver(observer); }

 protected:
  void DoRunLoop() override;

 private:
  struct IOItem {
    IOHandler* handler;
    IOContext* context;
    DWORD bytes_transferred;
    DWORD error;
  };

  bool GetIOItem(DWORD timeout_ms, IOItem* item);
  bool TakeKeptItem(IOHandler* filter, IOItem* item);
  bool ProcessInternalIOItem(const IOItem& item);
  int64_t GetCurrentDelay() const;

  ScopedHandle port_;
  std::list<IOItem> completed_io_;
  ObserverList<IOObserver> observers_;
};

}  // namespace cbase
