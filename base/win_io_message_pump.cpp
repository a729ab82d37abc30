#include "base/win_io_message_pump.h"

#include <windows.h>

#include "base/default_message_pump.h"
#include "base/monotonic_clock.h"

namespace cbase {

WinIOMessagePump::WinIOMessagePump()
    : port_(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)) {}

WinIOMessagePump::~WinIOMessagePump() = default;

void WinIOMessagePump::ScheduleWork() {
  if (have_work_.exchange(1) != 0) return;
  auto* self = reinterpret_cast<OVERLAPPED*>(this);
  if (!PostQueuedCompletionStatus(port_.get(), 0, reinterpret_cast<ULONG_PTR>(this), self)) {
    have_work_.exchange(0);
  }
}

void WinIOMessagePump::ScheduleDelayedWork(int64_t run_time) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  // The run loop's wait is bounded by this time; nothing else to arm.
  delayed_work_time_ = run_time;
}

bool WinIOMessagePump::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  return CreateIoCompletionPort(file, port_.get(), reinterpret_cast<ULONG_PTR>(handler), 1) !=
         nullptr;
}

int64_t WinIOMessagePump::GetCurrentDelay() const {
  if (delayed_work_time_ == 0) return -1;
  const int64_t delay_us = delayed_work_time_ - MonotonicNow();
  return delay_us <= 0 ? 0 : delay_us;
}

void WinIOMessagePump::DoRunLoop() {
  for (;;) {
    const int64_t look = BeginLook();
    bool more_work_is_plausible = WaitForIOCompletion(0, nullptr);
    EndLook(look);
    if (state_->should_quit) break;

    more_work_is_plausible |= RunWorkSlice();
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;

    const int64_t delay = GetCurrentDelay();
    WaitForIOCompletion(delay < 0 ? INFINITE : WaitMillisecondsFor(delay), nullptr);
  }
}

bool WinIOMessagePump::WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter) {
  IOItem item;
  if (!TakeKeptItem(filter, &item)) {
    if (!GetIOItem(timeout_ms, &item)) return false;
    if (ProcessInternalIOItem(item)) return true;
  }
  if (filter && item.handler != filter) {
    completed_io_.push_back(item);
    return true;
  }
  observers_.Notify(&IOObserver::WillProcessIOEvent);
  item.handler->OnIOCompleted(item.context, item.bytes_transferred, item.error);
  observers_.Notify(&IOObserver::DidProcessIOEvent);
  return true;
}

bool WinIOMessagePump::TakeKeptItem(IOHandler* filter, IOItem* item) {
  for (auto it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool WinIOMessagePump::GetIOItem(DWORD timeout_ms, IOItem* item) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  item->error = 0;
  if (!GetQueuedCompletionStatus(port_.get(), &bytes, &key, &overlapped, timeout_ms)) {
    if (!overlapped) return false;  // timed out (or the port failed): nothing taken
    item->error = GetLastError();
  }
  item->handler = reinterpret_cast<IOHandler*>(key);
  item->context = reinterpret_cast<IOContext*>(overlapped);
  item->bytes_transferred = bytes;
  return true;
}

bool WinIOMessagePump::ProcessInternalIOItem(const IOItem& item) {
  if (reinterpret_cast<void*>(item.handler) == this &&
      reinterpret_cast<void*>(item.context) == this) {
    have_work_.exchange(0);
    return true;
  }
  return false;
}

}  // namespace cbase
