// ObserverList: the observers of one subject, safe against changes made by the
// observers themselves while they are being notified.
//
// Removing an observer during a notification only blanks its entry, so the
// walk in progress skips it and keeps its place; blanked entries are squeezed
// out, keeping the others' order, when the outermost notification ends. An
// observer added during a notification is reached by that same walk, because
// the walk re-reads the list's length after every call. Adding an observer
// that is already listed does nothing. The list does not own its observers.
//
// Single-thread: the owning object's thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace cbase {

template <typename Observer>
class ObserverList {
 public:
  ObserverList() = default;
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;

  void AddObserver(Observer* observer) {
    if (!observer || HasObserver(observer)) return;
    observers_.push_back(observer);
  }

  void RemoveObserver(Observer* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    if (notify_depth_ > 0) {
      *it = nullptr;
    } else {
      observers_.erase(it);
    }
  }

  bool HasObserver(const Observer* observer) const {
    return observer &&
           std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
  }

  // Observers currently listed (blanked entries not counted).
  size_t size() const {
    return static_cast<size_t>(
        std::count_if(observers_.begin(), observers_.end(), [](Observer* o) { return o; }));
  }
  bool empty() const { return size() == 0; }

  // Calls (observer->*method)(args...) on every listed observer, in order.
  template <typename Method, typename... Args>
  void Notify(Method method, Args&&... args) {
    ++notify_depth_;
    for (size_t i = 0; i < observers_.size(); ++i) {
      if (Observer* observer = observers_[i]) (observer->*method)(args...);
    }
    if (--notify_depth_ == 0) Compact();
  }

 private:
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr), observers_.end());
  }

  std::vector<Observer*> observers_;
  int notify_depth_ = 0;
};

}  // namespace cbase
