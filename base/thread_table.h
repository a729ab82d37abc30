// ThreadTable: the process-wide map from small integer identifiers to
// framework threads, so that code which only knows an identifier (UIThreadId
// for the UI thread) can post to that thread.
//
// A thread binds itself from inside its framework-thread body (typically in
// Init) and unbinds in Cleanup; bindings still held when the body ends are
// dropped then. All operations take the table's lock; posting may be done
// from any thread.
//
//   cbase::ThreadTable::BindThreadId(cbase::UIThreadId);          // in Init
//   cbase::ThreadTable::PostTaskToThread(cbase::UIThreadId, task); // anywhere
#pragma once

#include <cstdint>
#include <memory>

#include "base/queued_task.h"

namespace cbase {

class MessageLoopProxy;

// The process's main (UI) thread.
constexpr int32_t UIThreadId = 0;

class ThreadTable {
 public:
  ThreadTable() = delete;

  // Binds `id` to the calling thread, which must be running a
  // framework-thread body (else nothing happens). Binding an id the thread
  // already holds counts again; an id held by another thread changes nothing.
  static void BindThreadId(int32_t id);
  // Undoes one successful BindThreadId of the calling thread; the id is free
  // again when the count reaches zero.
  static void UnbindThreadId();

  // Posts to the thread bound to `id`. False when no thread is bound, it has
  // no loop, or its loop refused; the task is then destroyed.
  static bool PostDelayedTaskToThread(int32_t id, Task task, int64_t delay_us);
  static bool PostTaskToThread(int32_t id, Task task) {
    return PostDelayedTaskToThread(id, std::move(task), 0);
  }

  // The proxy of the loop of the thread bound to `id`, or null.
  static std::shared_ptr<MessageLoopProxy> GetProxy(int32_t id);

  // Drops every binding of the calling thread (its body is ending).
  static void UnbindAllForCurrentThread();
};

}  // namespace cbase
