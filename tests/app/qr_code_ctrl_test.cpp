#include "app/qr_code_ctrl.h"

#include <gdiplus.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/render/pixels.h"
#include "ui/render/render_context_gdiplus.h"

namespace {

using ui::testing::PixelAt;

// GDI+ runs for the whole program, as it does in the assistant.
class GdiplusSession : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token_, &input, nullptr));
  }
  void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

 private:
  ULONG_PTR token_ = 0;
};
const ::testing::Environment* const kGdiplus =
    ::testing::AddGlobalTestEnvironment(new GdiplusSession);

DWORD Rgb(DWORD pixel) { return pixel & 0xFFFFFF; }

TEST(QRCodeCtrlTest, AttributesAndTheirDefaults) {
  QRCodeCtrl qr;
  EXPECT_EQ(3u, qr.error_level());
  EXPECT_EQ(0xFF000000u, qr.code_color());
  EXPECT_EQ(0xFFFFFFFFu, qr.background_color());

  for (const wchar_t* ignored : {L"4", L"-1", L"99"}) {
    qr.SetAttribute(L"errlevel", ignored);
    EXPECT_EQ(3u, qr.error_level()) << ignored;
  }
  qr.SetAttribute(L"errlevel", L" +2x");
  EXPECT_EQ(2u, qr.error_level());
  qr.SetAttribute(L"errlevel", L"abc");  // no digits read as 0
  EXPECT_EQ(0u, qr.error_level());

  qr.SetAttribute(L"qrcolor", L"  #FF0000FF");
  EXPECT_EQ(0xFF0000FFu, qr.code_color());
  qr.SetAttribute(L"qrbkcolor", L"80ff8000zz");
  EXPECT_EQ(0x80FF8000u, qr.background_color());
  EXPECT_EQ(0u, QRCodeCtrl::ParseColor(L"white"));
  EXPECT_EQ(0xFFFFFFFFu, QRCodeCtrl::ParseColor(L"#123456789"));

  qr.SetAttribute(L"name", L"support_qr");  // the rest is Control's
  EXPECT_EQ(L"support_qr", qr.GetName());
  qr.SetAttribute(L"text", L"");
  EXPECT_EQ(0, qr.symbol_size());
}

TEST(QRCodeCtrlTest, SymbolIsTheLibrarysAtTheChosenLevel) {
  QRCodeCtrl qr;
  qr.SetAttribute(L"errlevel", L"1");
  qr.SetAttribute(L"text", L"https://fernwick.example/support?channel=02 \u5BA2\u670D");
  const std::string utf8 = "https://fernwick.example/support?channel=02 \xE5\xAE\xA2\xE6\x9C\x8D";
  // The library's own symbol for the same bytes at medium: equal modules
  // include equal format bits, so the level is the same too.
  std::vector<uint8_t> expected(qrcodegen_BUFFER_LEN_MAX);
  std::vector<uint8_t> scratch(qrcodegen_BUFFER_LEN_MAX);
  ASSERT_TRUE(qrcodegen_encodeText(utf8.c_str(), scratch.data(), expected.data(),
                                   qrcodegen_Ecc_MEDIUM, qrcodegen_VERSION_MIN,
                                   qrcodegen_VERSION_MAX, qrcodegen_Mask_AUTO, true));
  const int size = qrcodegen_getSize(expected.data());
  ASSERT_EQ(size, qr.symbol_size());
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      ASSERT_EQ(qrcodegen_getModule(expected.data(), x, y), qr.IsDark(x, y)) << x << "," << y;
    }
  }
  // Outside the symbol nothing is dark.
  EXPECT_FALSE(qr.IsDark(-1, 0));
  EXPECT_FALSE(qr.IsDark(size, size - 1));
}

TEST(QRCodeCtrlTest, EmptyOrOverlongTextKeepsThePreviousSymbol) {
  QRCodeCtrl qr;
  ASSERT_TRUE(qr.SetQrText("800800202"));
  const int size = qr.symbol_size();
  const bool corner = qr.IsDark(8, 8);
  EXPECT_FALSE(qr.SetQrText(""));
  EXPECT_FALSE(qr.SetQrText(std::string(4000, 'x')));  // beyond version 40 at level high
  qr.SetAttribute(L"text", std::wstring(4000, L'y'));
  EXPECT_EQ(size, qr.symbol_size());
  EXPECT_EQ(corner, qr.IsDark(8, 8));
}

// Paints |qr| laid out at |bounds| into a white context.
void PaintInto(QRCodeCtrl& qr, const RECT& bounds, ui::RenderContext_GdiPlus& context) {
  ui::testing::MakeWhite(context, bounds.right + 10, bounds.bottom + 10);
  qr.SetBounds(bounds);
  qr.PaintBackgroundImage(&context);
}

TEST(QRCodeCtrlTest, OnePixelPerModuleFillsTheSquare) {
  QRCodeCtrl qr;
  qr.SetAttribute(L"errlevel", L"0");
  qr.SetAttribute(L"qrcolor", L"  #FF0000FF");
  qr.SetAttribute(L"text", L"abcdefghijklmnopqrst");  // 20 bytes: version 2
  ASSERT_EQ(25, qr.symbol_size());
  ui::RenderContext_GdiPlus context;
  PaintInto(qr, RECT{0, 0, 168, 168}, context);
  for (int y = 0; y < 25; ++y) {
    for (int x = 0; x < 25; ++x) {
      const int px = (2 * x + 1) * 168 / 50, py = (2 * y + 1) * 168 / 50;
      ASSERT_EQ(qr.IsDark(x, y) ? 0x0000FFu : 0xFFFFFFu, Rgb(PixelAt(context, px, py)))
          << x << "," << y;
    }
  }
  // The finder patterns reach the square's corners; nothing lies outside.
  EXPECT_EQ(0x0000FFu, Rgb(PixelAt(context, 0, 0)));
  EXPECT_EQ(0x0000FFu, Rgb(PixelAt(context, 167, 0)));
  EXPECT_EQ(0x0000FFu, Rgb(PixelAt(context, 0, 167)));
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 168, 0)));
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 0, 168)));
}

TEST(QRCodeCtrlTest, SquareIsCentredInTheContentArea) {
  QRCodeCtrl qr;
  qr.SetAttribute(L"qrbkcolor", L"#FF00FF00");  // light modules green, unlike the page
  qr.SetAttribute(L"text", L"800800202");
  ui::RenderContext_GdiPlus context;
  PaintInto(qr, RECT{0, 0, 200, 100}, context);
  // 100 by 100 from x = 50: the top finder patterns mark the edges.
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 49, 0)));
  EXPECT_EQ(0x000000u, Rgb(PixelAt(context, 50, 0)));
  EXPECT_EQ(0x000000u, Rgb(PixelAt(context, 149, 0)));
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 150, 0)));
  EXPECT_EQ(0x000000u, Rgb(PixelAt(context, 50, 99)));
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 50, 100)));

  // Padding shrinks the content area: 168 - 2 x 10 = 148 from (10, 10).
  qr.SetAttribute(L"padding", L"10,10,10,10");
  PaintInto(qr, RECT{0, 0, 168, 168}, context);
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 9, 10)));
  EXPECT_EQ(0x000000u, Rgb(PixelAt(context, 10, 10)));
  EXPECT_EQ(0x000000u, Rgb(PixelAt(context, 157, 10)));
  EXPECT_EQ(0xFFFFFFu, Rgb(PixelAt(context, 158, 10)));
}

TEST(QRCodeCtrlTest, NoSymbolDrawsNothing) {
  QRCodeCtrl qr;
  ui::RenderContext_GdiPlus context;
  PaintInto(qr, RECT{0, 0, 50, 50}, context);
  EXPECT_EQ(0, ui::testing::CountPixels(context, RECT{0, 0, 60, 60},
                                        [](DWORD pixel) { return Rgb(pixel) != 0xFFFFFF; }));
}

}  // namespace
