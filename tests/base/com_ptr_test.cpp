#include "base/com_ptr.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <utility>

namespace cbase {
namespace {

// A COM object that counts its references and records its destruction.
class Counted final : public IUnknown {
 public:
  explicit Counted(bool* destroyed) : destroyed_(destroyed) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid != IID_IUnknown) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      *destroyed_ = true;
      delete this;
    }
    return left;
  }
  ULONG refs() const { return refs_; }

 private:
  virtual ~Counted() = default;
  ULONG refs_ = 1;
  bool* destroyed_;
};

TEST(ComPtrTest, AdoptRetainAndMoveKeepTheCountExact) {
  bool destroyed = false;
  auto* raw = new Counted(&destroyed);
  {
    ComPtr<Counted> adopted(raw);
    EXPECT_EQ(raw->refs(), 1u);
    ComPtr<Counted> retained = ComPtr<Counted>::Retain(raw);
    EXPECT_EQ(raw->refs(), 2u);
    ComPtr<Counted> moved(std::move(adopted));
    EXPECT_FALSE(adopted);
    adopted.reset();
    EXPECT_EQ(raw->refs(), 2u);
    retained = std::move(moved);  // drops one reference, keeps the moved one
    EXPECT_EQ(raw->refs(), 1u);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

TEST(ComPtrTest, ReceiveReleasesTheOldObjectAndTakesTheNewReference) {
  bool first_gone = false;
  bool second_gone = false;
  ComPtr<IUnknown> source(new Counted(&second_gone));
  ComPtr<IUnknown> target(new Counted(&first_gone));
  ASSERT_EQ(source->QueryInterface(IID_IUnknown, target.receive_void()), S_OK);
  EXPECT_TRUE(first_gone);
  EXPECT_EQ(static_cast<Counted*>(target.get())->refs(), 2u);
  source.reset();
  EXPECT_FALSE(second_gone);

  IUnknown* handed_on = target.release();
  EXPECT_FALSE(target);
  EXPECT_FALSE(second_gone);
  handed_on->Release();
  EXPECT_TRUE(second_gone);
}

}  // namespace
}  // namespace cbase
