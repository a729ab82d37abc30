#include "base/observer_list.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace cbase {
namespace {

struct Listener;
using Log = std::vector<std::string>;

struct Listener {
  Listener(ObserverList<Listener>* list, Log* log, std::string name)
      : list(list), log(log), name(std::move(name)) {}
  void OnEvent(int n) {
    log->push_back(name + std::to_string(n));
    if (remove) list->RemoveObserver(remove);
    if (add) list->AddObserver(add);
    if (renotify) {
      renotify = false;
      list->Notify(&Listener::OnEvent, n + 1);
    }
    remove = add = nullptr;
  }
  ObserverList<Listener>* list;
  Log* log;
  std::string name;
  Listener* remove = nullptr;
  Listener* add = nullptr;
  bool renotify = false;
};

TEST(ObserverListTest, ObserverRemovedDuringNotificationIsSkippedAndTheRestKeepOrder) {
  ObserverList<Listener> list;
  Log log;
  Listener a(&list, &log, "a"), b(&list, &log, "b"), c(&list, &log, "c"), d(&list, &log, "d");
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  list.AddObserver(&d);
  list.AddObserver(&b);  // already there: ignored
  b.remove = &c;         // a later one
  d.remove = &d;         // itself
  list.Notify(&Listener::OnEvent, 1);
  EXPECT_EQ(log, (Log{"a1", "b1", "d1"}));
  EXPECT_EQ(list.size(), 2u);

  log.clear();
  b.remove = &a;  // an earlier one
  list.Notify(&Listener::OnEvent, 2);
  list.Notify(&Listener::OnEvent, 3);
  EXPECT_EQ(log, (Log{"a2", "b2", "b3"}));
  EXPECT_FALSE(list.HasObserver(&a));
  EXPECT_TRUE(list.HasObserver(&b));
}

TEST(ObserverListTest, ObserverAddedDuringNotificationIsReachedByTheSameWalk) {
  ObserverList<Listener> list;
  Log log;
  Listener a(&list, &log, "a"), b(&list, &log, "b");
  list.AddObserver(&a);
  a.add = &b;
  list.Notify(&Listener::OnEvent, 1);
  EXPECT_EQ(log, (Log{"a1", "b1"}));
}

TEST(ObserverListTest, RemovalInsideANestedNotificationWaitsForTheOutermostToCompact) {
  ObserverList<Listener> list;
  Log log;
  Listener a(&list, &log, "a"), b(&list, &log, "b"), c(&list, &log, "c");
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  a.renotify = true;  // a starts a nested walk...
  b.remove = &a;      // ...in which b removes a, before the outer walk reaches b
  list.Notify(&Listener::OnEvent, 1);
  EXPECT_EQ(log, (Log{"a1", "a2", "b2", "c2", "b1", "c1"}));
  EXPECT_EQ(list.size(), 2u);
  log.clear();
  list.Notify(&Listener::OnEvent, 5);
  EXPECT_EQ(log, (Log{"b5", "c5"}));
}

}  // namespace
}  // namespace cbase
