// Event dispatch: handler order and the continue flag, bubbling, the state
// machine of a press, and handlers that delete their control.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/control/test_support.h"
#include "ui/control/box.h"
#include "ui/control/button.h"

namespace ui {
namespace {

using testing::Rect;
using testing::TestWindow;

EventArgs MouseEvent(EventType type, Control* sender, POINT point) {
  EventArgs args;
  args.type = type;
  args.sender = sender;
  args.mouse = point;
  return args;
}

// Records which handler ran, answering |result|.
EventCallback Record(std::vector<std::string>* log, const std::string& name, bool result = true) {
  return [log, name, result](const EventArgs&) {
    log->push_back(name);
    return result;
  };
}

TEST(DispatchTest, CodeThenAllThenMarkupThenMarkupAll) {
  std::vector<std::string> log;
  Control control;
  control.AttachMarkupEvent(kEventAll, Record(&log, "markup all"));
  control.AttachMarkupEvent(kEventClick, Record(&log, "markup click"));
  control.AttachEvent(kEventAll, Record(&log, "code all"));
  control.AttachEvent(kEventClick, Record(&log, "code click 1"));
  control.AttachEvent(kEventClick, Record(&log, "code click 2"));
  control.SendEvent(kEventClick);
  EXPECT_EQ(log, (std::vector<std::string>{"code click 1", "code click 2", "code all",
                                           "markup click", "markup all"}));
}

TEST(DispatchTest, AFalseAnswerStopsEverythingAfterIt) {
  std::vector<std::string> log;
  auto* parent = new Box();
  auto* control = new Control();
  parent->Add(control);
  parent->AttachBubbledEvent(kEventClick, Record(&log, "bubbled"));
  control->AttachEvent(kEventClick, Record(&log, "stop", false));
  control->AttachEvent(kEventClick, Record(&log, "never"));
  control->AttachMarkupEvent(kEventClick, Record(&log, "markup skipped"));
  control->AttachMarkupEvent(kEventAll, Record(&log, "markup all", false));
  control->SendEvent(kEventClick);
  // Not even the "all" handlers after it, nor the parent's bubbled ones.
  EXPECT_EQ(log, (std::vector<std::string>{"stop"}));

  // An "all" list that says no stops what follows it.
  log.clear();
  control->AttachEvent(kEventAll, Record(&log, "code all"));
  control->DetachEvent(kEventClick);
  control->SendEvent(kEventClick);
  EXPECT_EQ(log, (std::vector<std::string>{"code all", "markup skipped", "markup all"}));

  // A yes from an "all" list cannot revive an event its own list stopped.
  Control lone;
  std::vector<std::string> order;
  lone.AttachEvent(kEventClick, Record(&order, "no", false));
  lone.AttachEvent(kEventAll, Record(&order, "yes"));
  lone.AttachMarkupEvent(kEventClick, Record(&order, "markup click"));
  lone.SendEvent(kEventClick);
  EXPECT_EQ(order, (std::vector<std::string>{"no"}));

  // A code "all" handler that says no keeps the markup lists from running.
  order.clear();
  Control other;
  other.AttachEvent(kEventAll, Record(&order, "code all", false));
  other.AttachMarkupEvent(kEventClick, Record(&order, "markup click"));
  other.AttachMarkupEvent(kEventAll, Record(&order, "markup all"));
  other.SendEvent(kEventClick);
  EXPECT_EQ(order, (std::vector<std::string>{"code all"}));
  delete parent;
}

TEST(DispatchTest, UnconsumedEventsClimbThroughEveryBoxsBubbledHandlers) {
  std::vector<std::string> log;
  Box outer;
  auto* inner = new Box();
  auto* control = new Control();
  inner->Add(control);
  outer.Add(inner);
  inner->AttachEvent(kEventClick, Record(&log, "inner own"));
  inner->AttachBubbledEvent(kEventClick, Record(&log, "inner bubbled"));
  inner->AttachBubbledMarkupEvent(kEventAll, Record(&log, "inner bubbled markup all"));
  outer.AttachBubbledEvent(kEventClick, [&](const EventArgs& args) {
    log.push_back(args.sender == control ? "outer sees the sender" : "outer sees another");
    return true;
  });
  control->SendEvent(kEventClick);
  EXPECT_EQ(log, (std::vector<std::string>{"inner bubbled", "inner bubbled markup all",
                                           "outer sees the sender"}));

  log.clear();
  outer.AttachBubbledEvent(kEventAll, Record(&log, "outer stops", false));
  inner->SendEvent(kEventClick);
  EXPECT_EQ(log, (std::vector<std::string>{"inner own", "inner bubbled", "inner bubbled markup all",
                                           "outer sees another", "outer stops"}));
}

TEST(DispatchTest, InternalEventsBypassTheHandlers) {
  std::vector<std::string> log;
  Control control;
  control.AttachEvent(kEventAll, Record(&log, "all"));
  EventArgs focus = MouseEvent(kEventInternalSetFocus, &control, POINT{0, 0});
  control.DispatchEvent(focus);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(control.IsFocused());
  EXPECT_EQ(control.GetState(), kControlStateHot);
}

TEST(DispatchTest, AHandlerMayDeleteItsControl) {
  std::vector<std::string> log;
  auto* box = new Box();
  auto* control = new Control();
  box->Add(control);
  box->AttachEvent(kEventClick, [&](const EventArgs&) {
    log.push_back("deleting");
    delete box;
    return true;
  });
  box->AttachEvent(kEventAll, Record(&log, "never"));
  box->AttachBubbledEvent(kEventClick, Record(&log, "never bubbled"));
  box->SendEvent(kEventClick);
  EXPECT_EQ(log, (std::vector<std::string>{"deleting"}));

  // The same from inside a list, and from a child removed by its parent.
  TestWindow window;
  auto* root = new VBox();
  auto* button = new Button();
  root->Add(button);
  window.AttachRoot(root);
  button->AttachClick([&](const EventArgs&) {
    root->Remove(button);  // delayed: deleted from the message loop
    return true;
  });
  button->AttachClick([&](const EventArgs&) {
    log.push_back("second handler");
    return true;
  });
  button->SetBounds(Rect(0, 0, 10, 10));
  button->Invoke();
  EXPECT_EQ(window.DelayedCleanupCount(), 1u);
  EXPECT_EQ(log.back(), "second handler");
  window.RunDelayedCleanup();
  EXPECT_EQ(root->ChildCount(), 0);
}

TEST(StateMachineTest, PressInsideAndReleaseOutsideGivesNoClick) {
  TestWindow window;
  auto* root = new VBox();
  auto* button = new Button();
  root->Add(button);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 100, 100));
  button->SetBounds(Rect(10, 10, 50, 30));
  int clicks = 0;
  button->AttachClick([&](const EventArgs&) {
    ++clicks;
    return true;
  });

  EventArgs down = MouseEvent(kEventMouseButtonDown, button, POINT{20, 20});
  button->DispatchEvent(down);
  EXPECT_EQ(button->GetState(), kControlStatePushed);
  EXPECT_TRUE(button->HasMouseCapture());
  EventArgs up = MouseEvent(kEventMouseButtonUp, button, POINT{80, 80});
  button->DispatchEvent(up);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button->GetState(), kControlStateNormal);
  EXPECT_EQ(button->GetHotAlpha(), 0);

  button->DispatchEvent(down);
  up.mouse = POINT{49, 29};
  button->DispatchEvent(up);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button->GetState(), kControlStateHot);
  // A release without a press does nothing.
  button->DispatchEvent(up);
  EXPECT_EQ(clicks, 1);
}

TEST(StateMachineTest, KeysInvokeAndDisabledButtonsDoNot) {
  TestWindow window;
  auto* root = new VBox();
  auto* button = new Button();
  root->Add(button);
  window.AttachRoot(root);
  int clicks = 0;
  button->AttachClick([&](const EventArgs&) {
    ++clicks;
    return true;
  });
  EventArgs key = MouseEvent(kEventKeyDown, button, POINT{0, 0});
  key.wparam = VK_RETURN;
  button->DispatchEvent(key);
  key.wparam = VK_SPACE;
  button->DispatchEvent(key);
  key.wparam = 'A';
  button->DispatchEvent(key);
  EXPECT_EQ(clicks, 2);
  button->SetEnabled(false);
  EXPECT_EQ(button->GetState(), kControlStateDisabled);
  button->Invoke();
  EXPECT_EQ(clicks, 2);
}

TEST(StateMachineTest, MouseDisabledChildrenMakeTheButtonBoxOneButton) {
  TestWindow window;
  auto* root = new VBox();
  auto* box = new ButtonBox();
  auto* label = new Label();
  label->SetMouseEnabled(false);
  box->Add(label);
  root->Add(box);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 100, 100));
  int clicks = 0;
  box->AttachClick([&](const EventArgs& args) {
    EXPECT_EQ(args.sender, box);
    ++clicks;
    return true;
  });
  EventArgs down = MouseEvent(kEventMouseButtonDown, label, POINT{5, 5});
  label->DispatchEvent(down);
  EXPECT_EQ(box->GetState(), kControlStatePushed);
  EXPECT_EQ(label->GetState(), kControlStateNormal);
  EventArgs up = MouseEvent(kEventMouseButtonUp, label, POINT{5, 5});
  label->DispatchEvent(up);
  EXPECT_EQ(clicks, 1);
}

TEST(StateMachineTest, EnterAndLeaveFromDescendantsFollowTheHoveredControl) {
  TestWindow window;
  auto* root = new VBox();
  auto* box = new ButtonBox();
  auto* child = new Control();
  box->Add(child);
  root->Add(box);
  window.AttachRoot(root);

  window.SetHoverControl(child);
  EventArgs enter = MouseEvent(kEventMouseEnter, child, POINT{0, 0});
  child->DispatchEvent(enter);
  EXPECT_EQ(child->GetState(), kControlStateHot);
  EXPECT_EQ(box->GetState(), kControlStateHot);

  // The pointer moved from the child onto the box itself: the box stays hot.
  window.SetHoverControl(box);
  EventArgs leave = MouseEvent(kEventMouseLeave, child, POINT{0, 0});
  child->DispatchEvent(leave);
  EXPECT_EQ(child->GetState(), kControlStateNormal);
  EXPECT_EQ(box->GetState(), kControlStateHot);

  window.SetHoverControl(root);
  EventArgs box_leave = MouseEvent(kEventMouseLeave, box, POINT{0, 0});
  box->DispatchEvent(box_leave);
  EXPECT_EQ(box->GetState(), kControlStateNormal);
}

TEST(FocusTest, FocusMovesWithEventsAndTabSkipsContainers) {
  TestWindow window;
  auto* root = new VBox();
  auto* first = new Button();
  auto* panel = new HBox();
  auto* second = new Button();
  auto* hidden = new Button();
  hidden->SetVisible(false);
  auto* third = new Button();
  panel->Add(second);
  panel->Add(hidden);
  root->Add(first);
  root->Add(panel);
  root->Add(third);
  window.AttachRoot(root);
  window.LayoutPass(Rect(0, 0, 100, 100));

  std::vector<std::string> log;
  first->AttachEvent(kEventKillFocus, Record(&log, "first lost"));
  second->AttachEvent(kEventSetFocus, Record(&log, "second got"));
  window.SetFocusControl(first);
  EXPECT_TRUE(first->IsFocused());
  window.FocusNextTabStop();
  EXPECT_EQ(window.GetFocusControl(), second);
  EXPECT_FALSE(first->IsFocused());
  EXPECT_EQ(log, (std::vector<std::string>{"first lost", "second got"}));
  window.FocusNextTabStop();
  EXPECT_EQ(window.GetFocusControl(), third);
  window.FocusNextTabStop();
  EXPECT_EQ(window.GetFocusControl(), first);  // wraps
  window.FocusNextTabStop(false);
  EXPECT_EQ(window.GetFocusControl(), third);  // and back

  // Hiding the box that holds the focus takes it away.
  window.SetFocusControl(second);
  panel->SetVisible(false);
  EXPECT_EQ(window.GetFocusControl(), nullptr);
  // Disabled or invisible controls do not take it.
  window.SetFocusControl(hidden);
  EXPECT_EQ(window.GetFocusControl(), nullptr);
}

}  // namespace
}  // namespace ui
