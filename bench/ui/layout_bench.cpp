// Cost of laying out a tree of 2,000 controls under Wine, against the floor
// of one recursive walk over the same tree that makes a virtual no-op call
// on every control, measured in the same run.
//
//   layout_bench [passes=300] [rounds=9]
//
// The tree: a root column of 25 sections (columns sized to their content),
// each of 9 rows (rows sized to their content) of up to 8 labels (sized to
// their text), fixed-size buttons and stretching labels, 2,000 controls in
// all.
// Figures:
//   - the first pass, which measures every text once;
//   - a full pass: SetBounds of the root at 800 x 600 again (every box
//     arranges its children; estimates come from the cache);
//   - a resize pass: the root alternately 800 and 780 wide, so every
//     stretching rectangle changes;
//   - a one-leaf relayout: one label changes its text, the window's layout
//     pass re-lays out what that reaches, with the number of MeasureChildren
//     calls it made;
//   - the same with a button that changes its fixed width (no text to
//     measure: the layout work alone).
// Every figure is the median of the rounds; rounds alternate between the
// work and the floor.
#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/animation/timer_manager.h"
#include "ui/animation/timer_pulse.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/control/label.h"
#include "ui/control/linear_layout.h"
#include "ui/core/window.h"
#include "ui/render/render_factory_gdiplus.h"

namespace {

constexpr int kControls = 2000;
constexpr int kSections = 25;
constexpr int kRowsPerSection = 9;
constexpr RECT kClient = {0, 0, 800, 600};

int g_measure_calls = 0;

template <typename L>
class CountingLayout : public L {
 public:
  SIZE MeasureChildren(const std::vector<ui::Control*>& children, SIZE available) override {
    ++g_measure_calls;
    return L::MeasureChildren(children, available);
  }
};

double NowUs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Microseconds per call of |work|, over |passes| calls.
double Time(int passes, const std::function<void()>& work) {
  const double start = NowUs();
  for (int i = 0; i < passes; ++i) work();
  return (NowUs() - start) / passes;
}

// The window a tree lives in: no native window is needed for layout.
class BenchWindow : public ui::Window {};

// Animations (the window's first-layout fade) are started but never ticked:
// the benchmark runs no message loop.
class IdlePulse : public ui::TimerPulse {
 public:
  bool Start(uint32_t) override { return true; }
  void Stop() override {}
};

struct Tree {
  ui::VBox* root = nullptr;
  ui::Label* leaf = nullptr;     // the one that changes its text
  ui::Button* button = nullptr;  // the one that changes its width
  int count = 0;
};

Tree BuildTree(BenchWindow& window) {
  Tree tree;
  tree.root = new ui::VBox();
  tree.root->ReplaceLayout(new CountingLayout<ui::VLayout>());
  tree.count = 1;
  for (int s = 0; s < kSections && tree.count < kControls; ++s) {
    auto* section = new ui::Box(new CountingLayout<ui::VLayout>());
    section->SetFixedHeight(ui::Control::kAuto);
    section->GetLayout()->SetPadding(RECT{4, 4, 4, 4});
    tree.root->Add(section);
    ++tree.count;
    for (int r = 0; r < kRowsPerSection && tree.count < kControls; ++r) {
      auto* row = new ui::Box(new CountingLayout<ui::HLayout>());
      row->SetFixedHeight(ui::Control::kAuto);
      row->GetLayout()->SetChildMargin(6);
      section->Add(row);
      ++tree.count;
      for (int i = 0; tree.count < kControls && i < 8; ++i) {
        ui::Control* leaf = nullptr;
        if (i % 3 == 1) {
          auto* button = new ui::Button();
          button->SetFixedWidth(60);
          button->SetFixedHeight(24);
          button->SetText(L"OK");
          if (s == kSections / 2 && r == kRowsPerSection / 2 && i == 1) tree.button = button;
          leaf = button;
        } else {
          auto* label = new ui::Label();
          label->SetText(L"Item " + std::to_wstring(tree.count));
          if (i == 7) label->SetFixedWidth(ui::Control::kStretch);
          if (s == kSections / 2 && r == kRowsPerSection / 2 && i == 0) tree.leaf = label;
          leaf = label;
        }
        row->Add(leaf);
        ++tree.count;
      }
    }
  }
  window.AttachRoot(tree.root);
  return tree;
}

// The floor: every control gets one virtual call, and boxes are walked into.
// (Whether a control is a box is asked of its type: leaves and boxes alike
// refuse tab stops.)
int g_floor_sink = 0;
void Walk(ui::Control* control) {
  g_floor_sink += control->IsListElement() ? 1 : 0;
  auto* box = dynamic_cast<ui::Box*>(control);
  if (box == nullptr) return;
  for (ui::Control* child : box->children()) Walk(child);
}

}  // namespace

int main(int argc, char** argv) {
  const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  ui::SetRenderFactory(std::make_unique<ui::RenderFactory_GdiPlus>());
  ui::TimerManager timers(cbase::SystemTickClock(), std::make_unique<IdlePulse>());
  ui::Control::SetAnimationTimerManager(&timers);

  {
    BenchWindow window;
    Tree tree = BuildTree(window);

    const double first_start = NowUs();
    window.LayoutPass(kClient);
    const double first_pass = NowUs() - first_start;

    std::vector<double> full, resize, relayout, leaf_resize, floor;
    std::vector<int> measure_counts, resize_measure_counts;
    bool wide = true;
    int text_version = 0;
    for (int round = 0; round < rounds; ++round) {
      full.push_back(Time(passes, [&] { tree.root->SetBounds(kClient); }));
      floor.push_back(Time(passes, [&] { Walk(tree.root); }));
      resize.push_back(Time(passes, [&] {
        wide = !wide;
        tree.root->SetBounds(RECT{0, 0, wide ? 800 : 780, 600});
      }));
      tree.root->SetBounds(kClient);
      relayout.push_back(Time(passes, [&] {
        tree.leaf->SetText(L"Changed " + std::to_wstring(++text_version % 2 ? 1 : 22222));
        g_measure_calls = 0;
        window.LayoutPass(kClient);
        measure_counts.push_back(g_measure_calls);
      }));
      leaf_resize.push_back(Time(passes, [&] {
        tree.button->SetFixedWidth(tree.button->GetFixedWidth() == 60 ? 70 : 60);
        g_measure_calls = 0;
        window.LayoutPass(kClient);
        resize_measure_counts.push_back(g_measure_calls);
      }));
    }

    const double full_us = Median(full);
    const double resize_us = Median(resize);
    const double relayout_us = Median(relayout);
    const double leaf_resize_us = Median(leaf_resize);
    const double floor_us = Median(floor);
    std::printf("layout of %d controls (%d passes x %d rounds, medians)\n", tree.count, passes,
                rounds);
    std::printf("  first pass (measures every text)  %9.1f us\n", first_pass);
    std::printf("  full pass, root at 800x600        %9.1f us  %6.3f us/control  %5.1fx floor\n",
                full_us, full_us / tree.count, full_us / floor_us);
    std::printf("  resize pass, 800 <-> 780 wide     %9.1f us  %6.3f us/control  %5.1fx floor\n",
                resize_us, resize_us / tree.count, resize_us / floor_us);
    std::printf("  one-leaf relayout                 %9.1f us  %6.3f us/control  %5.1fx floor\n",
                relayout_us, relayout_us / tree.count, relayout_us / floor_us);
    std::printf("    MeasureChildren calls per relayout: %d (min %d, max %d)\n",
                measure_counts[measure_counts.size() / 2],
                *std::min_element(measure_counts.begin(), measure_counts.end()),
                *std::max_element(measure_counts.begin(), measure_counts.end()));
    std::printf("  one-leaf width change             %9.1f us  %6.3f us/control  %5.1fx floor\n",
                leaf_resize_us, leaf_resize_us / tree.count, leaf_resize_us / floor_us);
    std::printf("    MeasureChildren calls per relayout: %d\n",
                resize_measure_counts[resize_measure_counts.size() / 2]);
    std::printf("  floor: virtual no-op walk         %9.1f us  %6.3f us/control\n", floor_us,
                floor_us / tree.count);
    std::printf("  target: full pass under 2000 us: %s\n", full_us < 2000 ? "met" : "MISSED");
  }

  ui::SetRenderFactory(nullptr);
  Gdiplus::GdiplusShutdown(token);
  return g_floor_sink == -1 ? 1 : 0;
}
