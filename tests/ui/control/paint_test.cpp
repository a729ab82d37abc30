// Painting, checked pixel by pixel: colours by state, images with the hot
// cross-fade, alpha through the off-screen picture, borders, and progress
// bars.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/control/test_support.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/core/global_manager.h"
#include "ui/render/render.h"

namespace ui {
namespace {

using testing::MakeCanvas;
using testing::PixelAt;
using testing::Rect;

constexpr DWORD kWhite = 0xFFFFFFFF;
constexpr DWORD kRed = 0xFFFF0000;
constexpr DWORD kBlue = 0xFF0000FF;
constexpr DWORD kGreen = 0xFF00FF00;

int Red(DWORD pixel) { return (pixel >> 16) & 0xFF; }
int Green(DWORD pixel) { return (pixel >> 8) & 0xFF; }
int Blue(DWORD pixel) { return pixel & 0xFF; }

// Writes a solid 4 × 4 bitmap file and answers its full path.
std::wstring SolidBitmapFile(const wchar_t* name, DWORD rgb) {
  wchar_t folder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + name;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = 4;
  info.biHeight = 4;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + 16 * 4;
  FILE* out = _wfopen(path.c_str(), L"wb");
  fwrite(&file, sizeof(file), 1, out);
  fwrite(&info, sizeof(info), 1, out);
  for (int i = 0; i < 16; ++i) fwrite(&rgb, 4, 1, out);
  fclose(out);
  return path;
}

class PaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::AddTextColor(L"red", kRed);
    GlobalManager::AddTextColor(L"blue", kBlue);
    GlobalManager::AddTextColor(L"green", kGreen);
    GlobalManager::AddTextColor(L"black", 0xFF000000);
    GlobalManager::AddTextColor(L"half_red", 0x80FF0000);
    canvas_ = MakeCanvas(100, 100);
  }
  void FillWhite() { canvas_->FillPixels(Rect(0, 0, 100, 100), 0xFF); }
  DWORD At(int x, int y) const { return PixelAt(*canvas_, x, y); }

  std::unique_ptr<IRenderContext> canvas_;
};

TEST_F(PaintTest, BackgroundColoursFillOnlyTheDirtyPart) {
  // Opaque and translucent alike: a small change under an overlay's mask
  // must not blend the whole window again.
  Control opaque;
  opaque.SetBkColor(L"red");
  opaque.SetBounds(Rect(0, 0, 100, 50));
  opaque.Paint(canvas_.get(), Rect(0, 0, 50, 50));
  EXPECT_EQ(At(25, 25), kRed);
  EXPECT_EQ(At(75, 25), 0u);

  Control translucent;
  translucent.SetBkColor(L"half_red");
  translucent.SetBounds(Rect(0, 50, 100, 100));
  translucent.Paint(canvas_.get(), Rect(0, 50, 50, 100));
  EXPECT_EQ(At(25, 75) >> 24, 0x80u);
  EXPECT_EQ(At(75, 75), 0u);
  // A name that is not declared, or a colour of 0, paints nothing.
  Control unknown;
  unknown.SetBkColor(L"no_such_colour");
  unknown.SetBounds(Rect(0, 0, 100, 100));
  canvas_->Clear();
  unknown.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(50, 50), 0u);
}

// A rounded control painted piece by piece, each piece clipped as the
// window clips its dirty area, gives the pixels of one whole paint: pieces
// clear of the corners and edges are filled as plain rectangles, the others
// as the rounded shape.
TEST_F(PaintTest, ARoundedBackgroundPaintedInPiecesEqualsOneWholePaint) {
  for (const wchar_t* colour : {L"red", L"half_red"}) {
    Control round;
    round.SetBkColor(colour);
    round.SetBorderRound(SIZE{24, 16});
    round.SetBounds(Rect(5, 7, 93, 90));
    std::unique_ptr<IRenderContext> whole = MakeCanvas(100, 100);
    round.Paint(whole.get(), Rect(0, 0, 100, 100));
    canvas_->Clear();
    for (int y = 0; y < 100; y += 9) {
      for (int x = 0; x < 100; x += 7) {
        const RECT piece = Rect(x, y, x + 7, y + 9);
        AutoClip clip(canvas_.get(), piece);
        round.Paint(canvas_.get(), piece);
      }
    }
    int differing = 0;
    for (int y = 0; y < 100; ++y) {
      for (int x = 0; x < 100; ++x) differing += At(x, y) != PixelAt(*whole, x, y);
    }
    EXPECT_EQ(differing, 0) << colour;
    EXPECT_EQ(At(50, 50), PixelAt(*whole, 50, 50)) << colour;
  }
}

TEST_F(PaintTest, RoundCornersClipTheControl) {
  Control round;
  round.SetBkColor(L"red");
  round.SetBorderRound(SIZE{20, 20});
  round.SetBounds(Rect(0, 0, 60, 60));
  round.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(30, 30), kRed);
  EXPECT_EQ(At(1, 1), 0u);
}

TEST_F(PaintTest, StateColoursFallBackPushedToHotAndHotToNormal) {
  Button button;
  button.SetBounds(Rect(0, 0, 10, 10));
  button.SetAttribute(L"normalcolor", L"red");
  button.SetAttribute(L"hotcolor", L"blue");
  const struct {
    const wchar_t* state;
    DWORD expected;
  } cases[] = {{L"normal", kRed}, {L"hot", kBlue}, {L"pushed", kBlue}, {L"disabled", kRed}};
  for (const auto& c : cases) {
    canvas_->Clear();
    button.SetAttribute(L"state", c.state);
    button.Paint(canvas_.get(), Rect(0, 0, 100, 100));
    EXPECT_EQ(At(5, 5), c.expected) << c.state;
  }
  button.SetAttribute(L"pushedcolor", L"green");
  button.SetAttribute(L"state", L"pushed");
  button.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(5, 5), kGreen);
}

TEST_F(PaintTest, TheHotColourFadesInOverTheNormalOne) {
  Control control;
  control.SetBounds(Rect(0, 0, 10, 10));
  control.SetAttribute(L"normalcolor", L"red");
  control.SetAttribute(L"hotcolor", L"blue");
  control.SetAttribute(L"fadehot", L"true");
  control.SetState(kControlStateHot);
  control.SetHotAlpha(128);
  control.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_NEAR(Red(At(5, 5)), 127, 2);
  EXPECT_NEAR(Blue(At(5, 5)), 128, 2);
  control.SetHotAlpha(0);
  control.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(5, 5), kRed);
}

TEST_F(PaintTest, StateImagesCrossFadeOrBlendTheFadesOfOnePicture) {
  const std::wstring red = SolidBitmapFile(L"ui_control_red.bmp", 0x00FF0000);
  const std::wstring blue = SolidBitmapFile(L"ui_control_blue.bmp", 0x000000FF);
  Control control;
  control.SetBounds(Rect(0, 0, 20, 20));
  control.SetAttribute(L"normalimage", red);
  control.SetAttribute(L"hotimage", blue);
  ASSERT_NE(control.GetAnimationPlayer(AnimationType::kHot), nullptr);
  control.SetState(kControlStateHot);
  control.SetHotAlpha(128);
  FillWhite();
  control.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_NEAR(Red(At(10, 10)), 127, 2);
  EXPECT_NEAR(Blue(At(10, 10)), 128, 2);

  // The same file in both states: drawn once, with the fades blended.
  Control same;
  same.SetBounds(Rect(0, 0, 20, 20));
  same.SetAttribute(L"normalimage", L"file='" + red + L"' fade='100'");
  same.SetAttribute(L"hotimage", L"file='" + red + L"'");
  same.SetHotAlpha(0);
  FillWhite();
  same.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(Red(At(10, 10)), 255);
  EXPECT_NEAR(Green(At(10, 10)), 155, 2);

  // Without the hot fade, pushed falls back to the hot image at full
  // strength, and only while pushed: hot again, it has its own fade.
  Control pushed;
  pushed.SetBounds(Rect(0, 0, 20, 20));
  pushed.SetAttribute(L"normalimage", red);
  pushed.SetAttribute(L"hotimage", L"file='" + blue + L"' fade='50'");
  pushed.SetAttribute(L"fadehot", L"false");
  pushed.SetState(kControlStateHot);
  FillWhite();
  pushed.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  const DWORD hot_before_press = At(10, 10);
  EXPECT_NEAR(Red(hot_before_press), 205, 2);  // white under a fifth of blue
  EXPECT_EQ(Blue(hot_before_press), 255);
  pushed.SetState(kControlStatePushed);
  FillWhite();
  pushed.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  // An opaque picture is copied as is (GDI leaves its alpha to the window).
  EXPECT_EQ(At(10, 10) & 0xFFFFFF, kBlue & 0xFFFFFF);
  EXPECT_EQ(pushed.GetStateImage(kStateImageBackground, kControlStateHot).fade, 50);
  pushed.SetState(kControlStateHot);
  FillWhite();
  pushed.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(10, 10), hot_before_press);
}

TEST_F(PaintTest, AlphaBlendsTheControlAndItsChildrenAsOnePicture) {
  Box box;
  box.SetBkColor(L"red");
  auto* child = new Control();
  child->SetBkColor(L"blue");
  child->SetMargin(Rect(10, 10, 10, 10), false);
  box.Add(child);
  box.SetBounds(Rect(0, 0, 40, 40));
  box.SetAlpha(128);
  FillWhite();
  box.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  // Red at half over white; the child blue at half, not blue over red.
  EXPECT_EQ(Red(At(5, 5)), 255);
  EXPECT_NEAR(Green(At(5, 5)), 127, 2);
  EXPECT_NEAR(Red(At(20, 20)), 127, 2);
  EXPECT_EQ(Blue(At(20, 20)), 255);

  // The picture is kept while nothing changes, and repainted after a change.
  child->SetBkColor(L"green");
  FillWhite();
  box.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(Green(At(20, 20)), 255);
  EXPECT_NEAR(Red(At(20, 20)), 127, 2);

  box.SetAlpha(0);
  FillWhite();
  box.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(5, 5), kWhite);
}

TEST_F(PaintTest, ACachedControlRepaintsItsPictureOnlyAfterAChange) {
  GlobalManager::AddTextColor(L"cache_test", kRed);
  Box box;
  box.SetUseCache(true);
  box.SetBkColor(L"cache_test");
  auto* child = new Control();
  child->SetBkColor(L"blue");
  child->SetFixedWidth(10);
  child->SetFixedHeight(10);
  box.Add(child);
  box.SetBounds(Rect(0, 0, 40, 40));
  box.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(20, 20), kRed);
  EXPECT_EQ(At(5, 5), kBlue);

  // A colour redefined behind the control's back: the picture is reused.
  // Children are painted directly and show their own changes.
  GlobalManager::AddTextColor(L"cache_test", kGreen);
  child->SetBkColor(L"black");
  canvas_->Clear();
  box.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(20, 20), kRed);
  EXPECT_EQ(At(5, 5), 0xFF000000u);

  // A change made while hidden is seen once shown again.
  box.SetVisible(false);
  box.SetBorderRound(SIZE{0, 0});
  box.SetVisible(true);
  box.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(20, 20), kGreen);
}

TEST_F(PaintTest, RenderOffsetShiftsTheLookInsideTheControl) {
  Control control;
  control.SetBkColor(L"red");
  control.SetBounds(Rect(10, 10, 50, 50));
  control.SetRenderOffset(POINT{20, 0});
  control.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(15, 20), kRed);
  EXPECT_EQ(At(40, 20), 0u);
  EXPECT_EQ(At(5, 20), 0u);
}

TEST_F(PaintTest, BordersAreDrawnInsideTheControl) {
  Control uniform;
  uniform.SetAttribute(L"bordercolor", L"blue");
  uniform.SetAttribute(L"bordersize", L"2");
  uniform.SetBounds(Rect(0, 0, 20, 20));
  FillWhite();
  uniform.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(0, 10), kBlue);
  EXPECT_EQ(At(19, 10), kBlue);
  EXPECT_EQ(At(10, 10), kWhite);

  Control bottom;
  bottom.SetAttribute(L"bordercolor", L"red");
  bottom.SetAttribute(L"bordersize", L"0,0,0,1");
  bottom.SetBounds(Rect(30, 0, 50, 20));
  bottom.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(40, 19), kRed);
  EXPECT_EQ(At(40, 0), kWhite);
}

TEST_F(PaintTest, ProgressBarsFillByValue) {
  Progress horizontal;
  horizontal.SetAttribute(L"progresscolor", L" green");
  horizontal.SetAttribute(L"value", L"150");
  horizontal.SetBounds(Rect(0, 0, 100, 20));
  horizontal.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(0, 10), kGreen);
  EXPECT_EQ(At(99, 10), kGreen);

  Progress vertical;
  vertical.SetAttribute(L"hor", L"false");
  vertical.SetAttribute(L"progresscolor", L"blue");
  vertical.SetAttribute(L"value", L"25");
  vertical.SetBounds(Rect(0, 0, 10, 100));
  canvas_->Clear();
  vertical.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(5, 74), 0u);
  EXPECT_EQ(At(5, 75), kBlue);
  EXPECT_EQ(At(5, 99), kBlue);

  Progress empty_range;
  empty_range.SetAttribute(L"progresscolor", L"red");
  empty_range.SetAttribute(L"min", L"5");
  empty_range.SetAttribute(L"max", L"5");
  empty_range.SetAttribute(L"value", L"5");
  empty_range.SetBounds(Rect(0, 0, 100, 10));
  canvas_->Clear();
  empty_range.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_EQ(At(50, 5), 0u);
}

TEST_F(PaintTest, TextTakesTheColourOfItsState) {
  Label label;
  label.SetText(L"\x2588\x2588\x2588");  // full blocks
  label.SetAttribute(L"normaltextcolor", L"black");
  label.SetAttribute(L"disabledtextcolor", L"red");
  label.SetBounds(Rect(0, 0, 100, 30));
  auto count = [this](auto test) {
    int n = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 100; ++x) n += test(At(x, y)) ? 1 : 0;
    }
    return n;
  };
  FillWhite();
  label.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_GT(count([](DWORD p) { return Red(p) < 64 && Blue(p) < 64; }), 20);
  label.SetEnabled(false);
  FillWhite();
  label.Paint(canvas_.get(), Rect(0, 0, 100, 100));
  EXPECT_GT(count([](DWORD p) { return Red(p) > 200 && Blue(p) < 64; }), 20);
  EXPECT_EQ(count([](DWORD p) { return Red(p) < 64 && Blue(p) < 64; }), 0);
}

// A label draws its text from what it kept once it has drawn it twice, and
// shows a new text, or the text in a new colour, on the next paint.
TEST_F(PaintTest, ALabelRepaintsItsKeptTextAndShowsChangesAtOnce) {
  auto paint = [this](Label& label) {
    FillWhite();
    label.Paint(canvas_.get(), Rect(0, 0, 100, 100));
    const DWORD* bits = reinterpret_cast<const DWORD*>(canvas_->GetBits());
    return std::vector<DWORD>(bits, bits + 100 * 100);
  };
  auto fresh = [&](const wchar_t* text, const wchar_t* color) {
    Label label;
    label.SetText(text);
    label.SetAttribute(L"normaltextcolor", color);
    label.SetBounds(Rect(0, 0, 100, 30));
    return paint(label);
  };
  Label label;
  label.SetText(L"Setup 45%");
  label.SetAttribute(L"normaltextcolor", L"black");
  label.SetBounds(Rect(0, 0, 100, 30));
  const std::vector<DWORD> first = paint(label);
  EXPECT_EQ(paint(label), first);
  EXPECT_EQ(paint(label), first);

  label.SetText(L"Setup 46%");
  EXPECT_EQ(paint(label), fresh(L"Setup 46%", L"black"));
  EXPECT_NE(paint(label), first);
  label.SetAttribute(L"normaltextcolor", L"red");
  EXPECT_EQ(paint(label), fresh(L"Setup 46%", L"red"));
  EXPECT_EQ(paint(label), fresh(L"Setup 46%", L"red"));
}

// Counts the times its own look is painted.
class CountingControl : public Control {
 public:
  void PaintSelf(IRenderContext* context, const RECT& dirty) override {
    ++paints;
    Control::PaintSelf(context, dirty);
  }
  int paints = 0;
};

// The shape of the download overlay: a white page with a blue box on it, a
// translucent mask over the page, and on the mask a green card with rounded
// corners holding a black bar with rounded ends.
class OccluderTest : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    GlobalManager::AddTextColor(L"white", kWhite);
    root_.SetBkColor(L"white");
    root_.SetBounds(Rect(0, 0, 100, 100));
    box_ = Place(&root_, new CountingControl(), L"blue", Rect(10, 10, 90, 60));
    mask_ = Place(&root_, new Box(), L"half_red", Rect(0, 0, 100, 100));
    card_ = Place(mask_, new Box(), L"green", Rect(20, 20, 80, 80));
    card_->SetBorderRound(SIZE{8, 8});
    bar_ = Place(card_, new CountingControl(), L"black", Rect(30, 45, 70, 55));
    bar_->SetBorderRound(SIZE{8, 8});
  }
  template <typename T>
  T* Place(Box* parent, T* control, const wchar_t* color, const RECT& rect) {
    control->SetBkColor(color);
    control->SetFloat(true);
    parent->Add(control);
    control->SetBounds(rect);
    return control;
  }
  Control* Find(const RECT& dirty) { return root_.FindOccluderAmongChildren(dirty, dirty); }

  Box root_;
  CountingControl* box_ = nullptr;
  Box* mask_ = nullptr;
  Box* card_ = nullptr;
  CountingControl* bar_ = nullptr;
};

// The occluder is the last control painted whose opaque background covers
// all of the dirty part; translucent, shifted, hidden or faded controls and
// rounded corners cover nothing.
TEST_F(OccluderTest, TheLastOpaqueCoverOfTheDirtyPartIsFound) {
  const RECT bar = bar_->GetRect();
  EXPECT_EQ(Find(bar), card_);  // the bar's rounded ends do not cover it
  EXPECT_EQ(Find(Rect(30, 30, 40, 38)), card_);
  // Under the mask, outside the card: the blue box, painted before the mask.
  EXPECT_EQ(Find(Rect(12, 12, 18, 18)), box_);
  // The card's corner is not covered by the card.
  EXPECT_EQ(Find(Rect(20, 60, 24, 80)), nullptr);
  EXPECT_EQ(Find(Rect(5, 5, 15, 15)), nullptr);

  // Without the card the blue box under the mask covers the bar.
  card_->SetAlpha(200);
  EXPECT_EQ(Find(bar), box_);
  card_->SetAlpha(255);
  mask_->SetRenderOffset(POINT{2, 0});
  EXPECT_EQ(Find(bar), box_);
  mask_->SetRenderOffset(POINT{0, 0});
  card_->SetVisible(false);
  EXPECT_EQ(Find(bar), box_);
  card_->SetVisible(true);
  // The card clips its children to its straight part: a square bar covers
  // itself, but not where it reaches into the card's corner.
  bar_->SetBorderRound(SIZE{0, 0});
  EXPECT_EQ(Find(bar), bar_);
  bar_->SetBounds(Rect(20, 62, 70, 70));
  EXPECT_EQ(Find(Rect(20, 62, 70, 70)), nullptr);
  EXPECT_EQ(Find(Rect(30, 62, 70, 70)), bar_);
}

// Painting from the occluder gives the pixels a full paint gives, without
// painting what lies under it.
TEST_F(OccluderTest, PaintingFromTheOccluderMatchesAFullPaint) {
  const RECT bar = bar_->GetRect();
  root_.PaintAsRoot(canvas_.get(), Rect(0, 0, 100, 100), false);
  std::vector<DWORD> full;
  for (int y = bar.top; y < bar.bottom; ++y) {
    for (int x = bar.left; x < bar.right; ++x) full.push_back(At(x, y));
  }
  box_->paints = bar_->paints = 0;
  canvas_->FillPixels(Rect(0, 0, 100, 100), 0x40);  // whatever was there
  {
    AutoClip clip(canvas_.get(), bar);
    root_.PaintAsRoot(canvas_.get(), bar, true);
  }
  std::vector<DWORD> culled;
  for (int y = bar.top; y < bar.bottom; ++y) {
    for (int x = bar.left; x < bar.right; ++x) culled.push_back(At(x, y));
  }
  EXPECT_EQ(culled, full);
  EXPECT_EQ(box_->paints, 0);
  EXPECT_EQ(bar_->paints, 1);

  // Without culling everything in the way is painted.
  root_.PaintAsRoot(canvas_.get(), bar, false);
  EXPECT_EQ(box_->paints, 1);
}

}  // namespace
}  // namespace ui
