// Task and QueuedTask: the unit of work of a MessageLoop.
#pragma once

#include <cstdint>
#include <functional>

namespace cbase {

// A callable without arguments or result. Copyable.
using Task = std::function<void()>;

// One posted task as it travels through a loop's queues. Plain record; owned by
// the queue that holds it.
struct QueuedTask {
  // Microseconds on the MonotonicNow clock; 0 means "as soon as possible".
  int64_t run_time = 0;
  // Order among delayed tasks with equal run times; set when the task enters
  // the delayed queue.
  int32_t sequence_num = 0;
  // False for tasks posted with the non-nestable operations: they only run at
  // the outermost run of the loop.
  bool nestable = true;
  Task task;
};

}  // namespace cbase
