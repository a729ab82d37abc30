#include "base/scoped_gdi_object.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <utility>

namespace cbase {
namespace {

// GetObjectType answers 0 for a handle GDI no longer knows.
bool IsLive(HGDIOBJ object) { return ::GetObjectType(object) != 0; }

DWORD GdiObjectCount() { return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS); }

TEST(ScopedGdiObjectTest, DeletesOnceAcrossMoveAndReset) {
  const DWORD objects_before = GdiObjectCount();
  HBRUSH raw = ::CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(raw, nullptr);
  {
    ScopedBrush first(raw);
    ScopedBrush second(std::move(first));
    first.reset();
    EXPECT_TRUE(IsLive(raw));
    ScopedBrush third;
    third = std::move(second);
    EXPECT_TRUE(IsLive(raw));
  }
  EXPECT_FALSE(IsLive(raw));

  {
    ScopedFont font(
        ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    ScopedRegion region(::CreateRectRgn(0, 0, 4, 4));
    ScopedPen pen(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    HRGN old_region = region.get();
    region.reset(::CreateRectRgn(0, 0, 2, 2));
    EXPECT_FALSE(IsLive(old_region));
    EXPECT_TRUE(font && region && pen);
  }
  EXPECT_EQ(GdiObjectCount(), objects_before);
}

TEST(ScopedGdiObjectTest, SelectionIsUndoneSoDCAndBitmapCanBothBeFreed) {
  const DWORD objects_before = GdiObjectCount();
  ScopedGetDC screen(nullptr);
  ASSERT_TRUE(screen);
  ScopedCreatedDC memory(::CreateCompatibleDC(screen.get()));
  ASSERT_TRUE(memory);
  const HGDIOBJ original = ::GetCurrentObject(memory.get(), OBJ_BITMAP);
  HBITMAP raw = nullptr;
  {
    ScopedBitmap bitmap(::CreateCompatibleBitmap(screen.get(), 8, 8));
    raw = bitmap.get();
    {
      ScopedSelectObject select(memory.get(), bitmap.get());
      EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_BITMAP), original);
  }
  // A bitmap still selected into a DC cannot be deleted.
  EXPECT_FALSE(IsLive(raw));
  memory.reset();
  EXPECT_EQ(GdiObjectCount(), objects_before);
}

TEST(ScopedGdiObjectTest, IconIsDestroyed) {
  BYTE and_mask[4 * 4 / 8 * 2] = {};
  BYTE xor_mask[4 * 4 / 8 * 2] = {};
  HICON raw = ::CreateIcon(nullptr, 4, 4, 1, 1, and_mask, xor_mask);
  ASSERT_NE(raw, nullptr);
  { ScopedIcon icon(raw); }
  ICONINFO info = {};
  EXPECT_FALSE(::GetIconInfo(raw, &info));
}

}  // namespace
}  // namespace cbase
