#include "base/thread_table.h"

#include <windows.h>

#include <iterator>
#include <map>
#include <utility>

#include "base/lock.h"
#include "base/message_loop_proxy.h"
#include "base/thread.h"

namespace cbase {

namespace {

struct Table {
  Lock lock;
  std::map<int32_t, FrameworkThread*> threads;
};

Table& GetTable() {
  static Table table;  // thread-safe first use; destroyed at exit
  return table;
}

}  // namespace

void ThreadTable::BindThreadId(int32_t id) {
  Table& table = GetTable();
  ThreadLocalRecord* record = ThreadLocalRecord::Current();
  if (!record) return;
  AutoLock hold(table.lock);
  auto inserted = table.threads.emplace(id, record->owner);
  if (inserted.second || inserted.first->second == record->owner) {
    ++record->binding_count;
    record->bound_id = id;
  }
}

void ThreadTable::UnbindThreadId() {
  ThreadLocalRecord* record = ThreadLocalRecord::Current();
  if (!record || record->binding_count <= 0) return;
  if (--record->binding_count > 0) return;
  Table& table = GetTable();
  AutoLock hold(table.lock);
  auto it = table.threads.find(record->bound_id);
  if (it != table.threads.end() && it->second == record->owner) table.threads.erase(it);
  record->bound_id = -1;
}

void ThreadTable::UnbindAllForCurrentThread() {
  ThreadLocalRecord* record = ThreadLocalRecord::Current();
  if (!record || record->binding_count <= 0) return;
  Table& table = GetTable();
  AutoLock hold(table.lock);
  for (auto it = table.threads.begin(); it != table.threads.end();) {
    it = it->second == record->owner ? table.threads.erase(it) : std::next(it);
  }
  record->binding_count = 0;
  record->bound_id = -1;
}

std::shared_ptr<MessageLoopProxy> ThreadTable::GetProxy(int32_t id) {
  Table& table = GetTable();
  AutoLock hold(table.lock);
  auto it = table.threads.find(id);
  return it == table.threads.end() ? nullptr : it->second->proxy();
}

bool ThreadTable::PostDelayedTaskToThread(int32_t id, Task task, int64_t delay_us) {
  std::shared_ptr<MessageLoopProxy> proxy = GetProxy(id);
  return proxy && proxy->PostDelayedTask(std::move(task), delay_us);
}

}  // namespace cbase
