#include "base/scoped_hglobal.h"

#include <windows.h>

#include <cstring>
#include <gtest/gtest.h>
#include <utility>

namespace cbase {
namespace {

UINT LockCount(HGLOBAL block) { return ::GlobalFlags(block) & GMEM_LOCKCOUNT; }

TEST(ScopedHGlobalTest, LockViewsUnlockOnceEach) {
  ScopedHGlobal block(::GlobalAlloc(GMEM_MOVEABLE, 16));
  ASSERT_TRUE(block);
  {
    ScopedGlobalLock outer(block.get());
    ASSERT_TRUE(outer);
    EXPECT_GE(outer.size(), 16u);
    std::memcpy(outer.get(), "abc", 4);
    {
      ScopedGlobalLock inner(block.get());
      EXPECT_EQ(LockCount(block.get()), 2u);
      ScopedGlobalLock moved(std::move(inner));
      EXPECT_FALSE(inner);
      inner.reset();
      EXPECT_EQ(LockCount(block.get()), 2u);
      EXPECT_STREQ(static_cast<const char*>(moved.get()), "abc");
    }
    EXPECT_EQ(LockCount(block.get()), 1u);
    outer.reset();
    EXPECT_EQ(LockCount(block.get()), 0u);
    EXPECT_EQ(outer.size(), 0u);
  }
  EXPECT_EQ(LockCount(block.get()), 0u);
}

TEST(ScopedHGlobalTest, ReleasedBlockSurvivesAndANullBlockLocksNothing) {
  HGLOBAL raw = nullptr;
  {
    ScopedHGlobal block(::GlobalAlloc(GMEM_MOVEABLE, 8));
    raw = block.release();
  }
  EXPECT_EQ(::GlobalFlags(raw) & GMEM_INVALID_HANDLE, 0u);
  ScopedHGlobal again(raw);
  EXPECT_EQ(again.get(), raw);

  ScopedGlobalLock nothing(nullptr);
  EXPECT_FALSE(nothing);
  EXPECT_EQ(nothing.size(), 0u);
}

}  // namespace
}  // namespace cbase
