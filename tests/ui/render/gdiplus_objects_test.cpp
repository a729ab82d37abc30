// Pens, brushes, paths and matrices from the factory, checked by what they
// draw and by their geometry.
#include <gtest/gtest.h>

#include "tests/ui/render/pixels.h"
#include "ui/render/render_context_gdiplus.h"
#include "ui/render/render_factory_gdiplus.h"

namespace ui {
namespace {

using testing::CountPixels;
using testing::MakeWhite;
using testing::PaintBitmap;
using testing::PixelAt;

constexpr DWORD kRed = 0xFFFF0000;
constexpr DWORD kBlue = 0xFF0000FF;
constexpr DWORD kWhite = 0xFFFFFFFF;

TEST(PenTest, SettingsRoundTripAndClonesAreIndependent) {
  RenderFactory_GdiPlus factory;
  std::unique_ptr<IPen> pen = factory.CreatePen(kRed, 3);
  EXPECT_EQ(pen->GetWidth(), 3);
  EXPECT_EQ(pen->GetColor(), kRed);
  pen->SetStartCap(LineCap::kRound);
  pen->SetEndCap(LineCap::kTriangle);
  pen->SetDashCap(DashCap::kRound);
  pen->SetLineJoin(LineJoin::kBevel);
  pen->SetDashStyle(DashStyle::kDot);
  EXPECT_EQ(pen->GetStartCap(), LineCap::kRound);
  EXPECT_EQ(pen->GetEndCap(), LineCap::kTriangle);
  EXPECT_EQ(pen->GetDashCap(), DashCap::kRound);
  EXPECT_EQ(pen->GetLineJoin(), LineJoin::kBevel);
  EXPECT_EQ(pen->GetDashStyle(), DashStyle::kDot);

  std::unique_ptr<IPen> copy = pen->Clone();
  copy->SetWidth(7);
  copy->SetColor(kBlue);
  EXPECT_EQ(pen->GetWidth(), 3);
  EXPECT_EQ(pen->GetColor(), kRed);
  EXPECT_EQ(copy->GetWidth(), 7);
  EXPECT_EQ(copy->GetDashStyle(), DashStyle::kDot);
}

TEST(PenTest, DashesLeaveGaps) {
  RenderFactory_GdiPlus factory;
  RenderContext_GdiPlus context;
  std::unique_ptr<IPen> pen = factory.CreatePen(kRed, 2);
  const RECT row = {0, 0, 200, 20};
  MakeWhite(context, 200, 20);
  context.DrawLine(pen.get(), 0, 10, 200, 10);
  const int solid = CountPixels(context, row, [](DWORD p) { return p != kWhite; });
  pen->SetDashStyle(DashStyle::kDash);
  MakeWhite(context, 200, 20);
  context.DrawLine(pen.get(), 0, 10, 200, 10);
  const int dashed = CountPixels(context, row, [](DWORD p) { return p != kWhite; });
  EXPECT_GT(dashed, solid / 3);
  EXPECT_LT(dashed, solid * 9 / 10);
}

TEST(BrushTest, SolidAndTextureBrushesFillPaths) {
  RenderFactory_GdiPlus factory;
  RenderContext_GdiPlus context;
  std::unique_ptr<IPath> path = factory.CreatePath();
  path->AddRect(RECT{4, 4, 36, 36});

  std::unique_ptr<IBrush> solid = factory.CreateBrush(kBlue);
  EXPECT_EQ(solid->GetColor(), kBlue);
  MakeWhite(context, 40, 40);
  context.FillPath(path.get(), solid.get());
  EXPECT_EQ(PixelAt(context, 20, 20), kBlue);
  EXPECT_EQ(PixelAt(context, 2, 2), kWhite);

  // A 2 x 2 checker of red and blue repeats across the path.
  GdiBitmap checker;
  PaintBitmap(checker, 2, 2, [](int x, int y) { return (x + y) % 2 ? kBlue : kRed; });
  std::unique_ptr<IBrush> texture = factory.CreateBrush(checker.GetBitmap());
  std::unique_ptr<IBrush> copy = texture->Clone();
  texture.reset();  // the clone stands on its own
  MakeWhite(context, 40, 40);
  context.FillPath(path.get(), copy.get());
  const DWORD a = PixelAt(context, 20, 20);
  EXPECT_TRUE(a == kRed || a == kBlue);
  EXPECT_NE(PixelAt(context, 21, 20), a);
  EXPECT_EQ(PixelAt(context, 22, 20), a);
  EXPECT_EQ(PixelAt(context, 21, 21), a);
  EXPECT_EQ(PixelAt(context, 2, 2), kWhite);
}

TEST(PathTest, ShapesContainPointsAndReportBounds) {
  RenderFactory_GdiPlus factory;
  std::unique_ptr<IPath> path = factory.CreatePath();
  EXPECT_EQ(path->GetFillMode(), FillMode::kAlternate);
  path->AddRect(10, 20, 50, 40);
  EXPECT_TRUE(path->IsContainsPoint(30, 30));
  EXPECT_FALSE(path->IsContainsPoint(5, 30));
  RECT bounds = path->GetBounds(nullptr);
  EXPECT_EQ(bounds.left, 10);
  EXPECT_EQ(bounds.top, 20);
  EXPECT_EQ(bounds.right, 50);
  EXPECT_EQ(bounds.bottom, 40);

  // The outline with a pen: on the edge, not in the middle.
  std::unique_ptr<IPen> pen = factory.CreatePen(kRed, 4);
  EXPECT_TRUE(path->IsStrokeContainsPoint(10, 30, pen.get()));
  EXPECT_FALSE(path->IsStrokeContainsPoint(30, 30, pen.get()));
  EXPECT_FALSE(path->IsStrokeContainsPoint(10, 30, nullptr));
  const RECT wide = path->GetBounds(pen.get());
  EXPECT_LT(wide.left, 10);

  // Alternate fill: a square inside a square is a hole; winding fills it.
  std::unique_ptr<IPath> ring = factory.CreatePath();
  ring->AddRect(0, 0, 40, 40);
  ring->AddRect(10, 10, 30, 30);
  EXPECT_FALSE(ring->IsContainsPoint(20, 20));
  ring->SetFillMode(FillMode::kWinding);
  EXPECT_EQ(ring->GetFillMode(), FillMode::kWinding);
  EXPECT_TRUE(ring->IsContainsPoint(20, 20));

  std::unique_ptr<IPath> copy = ring->Clone();
  ring->Reset();
  EXPECT_FALSE(ring->IsContainsPoint(5, 5));
  EXPECT_TRUE(copy->IsContainsPoint(5, 5));
}

TEST(PathTest, FiguresLinesAndCurves) {
  RenderFactory_GdiPlus factory;
  std::unique_ptr<IPath> triangle = factory.CreatePath();
  triangle->AddPolygon({{0, 0}, {40, 0}, {0, 40}});
  EXPECT_TRUE(triangle->IsContainsPoint(5, 5));
  EXPECT_FALSE(triangle->IsContainsPoint(35, 35));

  std::unique_ptr<IPath> figure = factory.CreatePath();
  figure->StartFigure();
  figure->AddLines({{0, 0}, {40, 0}, {40, 40}});
  figure->AddLine(40, 40, 0, 40);
  figure->CloseFigure();
  EXPECT_TRUE(figure->IsContainsPoint(20, 20));

  std::unique_ptr<IPath> round = factory.CreatePath();
  round->AddEllipse(RECT{0, 0, 40, 40});
  EXPECT_TRUE(round->IsContainsPoint(20, 20));
  EXPECT_FALSE(round->IsContainsPoint(2, 2));

  std::unique_ptr<IPath> pie = factory.CreatePath();
  pie->AddPie(0, 0, 40, 40, 0, 90);  // the lower right quarter
  EXPECT_TRUE(pie->IsContainsPoint(28, 28));
  EXPECT_FALSE(pie->IsContainsPoint(12, 12));

  std::unique_ptr<IPath> curves = factory.CreatePath();
  curves->AddBezier(0, 0, 10, 30, 30, 30, 40, 0);
  curves->AddArc(0, 40, 20, 20, 0, 180);
  curves->AddCurve({{0, 80}, {20, 90}, {40, 80}});
  const RECT bounds = curves->GetBounds(nullptr);
  EXPECT_EQ(bounds.left, 0);
  EXPECT_EQ(bounds.right, 40);
  EXPECT_GE(bounds.bottom, 80);
}

TEST(MatrixTest, TransformsMovePaths) {
  RenderFactory_GdiPlus factory;
  std::unique_ptr<IPath> path = factory.CreatePath();
  path->AddRect(0, 0, 40, 10);

  std::unique_ptr<IMatrix> move = factory.CreateMatrix();
  move->Translate(100, 50);
  move->Scale(2, 1);  // prepended: scales before moving
  path->Transform(move.get());
  RECT bounds = path->GetBounds(nullptr);
  EXPECT_EQ(bounds.left, 100);
  EXPECT_EQ(bounds.top, 50);
  EXPECT_EQ(bounds.right, 180);
  EXPECT_EQ(bounds.bottom, 60);

  // A quarter turn about the rectangle's centre swaps its width and height.
  std::unique_ptr<IPath> bar = factory.CreatePath();
  bar->AddRect(0, 0, 40, 10);
  std::unique_ptr<IMatrix> turn = factory.CreateMatrix();
  turn->RotateAt(90, POINT{20, 5});
  bar->Transform(turn.get());
  bounds = bar->GetBounds(nullptr);
  EXPECT_NEAR(bounds.left, 15, 1);
  EXPECT_NEAR(bounds.right, 25, 1);
  EXPECT_NEAR(bounds.top, -15, 1);
  EXPECT_NEAR(bounds.bottom, 25, 1);

  std::unique_ptr<IPath> spun = factory.CreatePath();
  spun->AddRect(0, 0, 40, 10);
  std::unique_ptr<IMatrix> rotate = factory.CreateMatrix();
  rotate->Rotate(90);
  spun->Transform(rotate.get());
  EXPECT_TRUE(spun->IsContainsPoint(-5, 20));
}

TEST(PathTest, DrawnAndFilledOnAContext) {
  RenderFactory_GdiPlus factory;
  RenderContext_GdiPlus context;
  std::unique_ptr<IPath> path = factory.CreatePath();
  path->AddEllipse(4, 4, 36, 36);
  std::unique_ptr<IPen> pen = factory.CreatePen(kRed, 3);
  MakeWhite(context, 40, 40);
  context.DrawPath(path.get(), pen.get());
  EXPECT_EQ(PixelAt(context, 20, 20), kWhite);
  EXPECT_EQ(PixelAt(context, 20, 4), kRed);
  // Missing objects draw nothing.
  context.DrawPath(nullptr, pen.get());
  context.FillPath(path.get(), nullptr);
  EXPECT_EQ(PixelAt(context, 20, 20), kWhite);
}

}  // namespace
}  // namespace ui
