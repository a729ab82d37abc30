#include "base/scoped_handle.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <utility>

namespace cbase {
namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandleTest, ClosesOnceAcrossMoveResetAndRelease) {
  HANDLE raw = NewEvent();
  ASSERT_NE(raw, nullptr);
  {
    ScopedHandle first(raw);
    ScopedHandle second(std::move(first));
    EXPECT_FALSE(first);
    {
      ScopedHandle third;
      third = std::move(second);
      first.reset();  // an emptied owner must not close what it handed on
    }
    EXPECT_FALSE(IsOpen(raw));
  }

  HANDLE kept = NewEvent();
  {
    ScopedHandle owner(kept);
    EXPECT_EQ(owner.release(), kept);
  }
  EXPECT_TRUE(IsOpen(kept));
  ::CloseHandle(kept);
}

TEST(ScopedHandleTest, ResetClosesTheOldHandleButNotTheSameOne) {
  HANDLE a = NewEvent();
  HANDLE b = NewEvent();
  ScopedHandle owner(a);
  owner.reset(a);
  EXPECT_TRUE(IsOpen(a));
  owner.reset(b);
  EXPECT_FALSE(IsOpen(a));
  EXPECT_TRUE(IsOpen(b));

  // Moving into an owner closes what it held before.
  ScopedHandle other(NewEvent());
  HANDLE other_raw = other.get();
  other = std::move(owner);
  EXPECT_FALSE(IsOpen(other_raw));
  EXPECT_EQ(other.get(), b);
}

TEST(ScopedHandleTest, ReceiveClosesWhatWasHeldAndTakesTheNewHandle) {
  ScopedHandle source(NewEvent());
  ScopedHandle copy(NewEvent());
  HANDLE before = copy.get();
  HANDLE* slot = copy.receive();
  // Checked before the slot is filled: the new handle may reuse the value.
  EXPECT_FALSE(IsOpen(before));
  EXPECT_FALSE(copy);
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), source.get(), ::GetCurrentProcess(), slot, 0,
                                FALSE, DUPLICATE_SAME_ACCESS));
  ASSERT_TRUE(copy);
  ASSERT_TRUE(::SetEvent(source.get()));
  EXPECT_EQ(::WaitForSingleObject(copy.get(), 0), WAIT_OBJECT_0);
}

TEST(ScopedHandleTest, BothNoHandleValuesAreEmpty) {
  EXPECT_FALSE(ScopedHandle());
  EXPECT_FALSE(ScopedHandle(nullptr));
  ScopedHandle file(::CreateFileW(L"Z:\\no\\such\\folder\\file.bin", GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(file);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);  // still what the creator said
}

}  // namespace
}  // namespace cbase
