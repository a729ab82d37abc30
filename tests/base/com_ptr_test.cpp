#include "base/com_ptr.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <utility>

namespace cbase {
namespace {

// What a test knows of a Counted object, kept outside it so that it can
// still be read once the object is gone.
struct Life {
  ULONG refs = 1;
  bool destroyed = false;
};

// A COM object that counts its references and records its destruction.
class Counted final : public IUnknown {
 public:
  explicit Counted(Life* life) : life_(life) {}
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
  ULONG STDMETHODCALLTYPE AddRef() override { return ++life_->refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --life_->refs;
    if (left == 0) {
      life_->destroyed = true;
      delete this;
    }
    return left;
  }

 private:
  virtual ~Counted() = default;
  Life* life_;
};

TEST(ComPtrTest, AdoptRetainAndMoveKeepTheCountExact) {
  Life life;
  auto* raw = new Counted(&life);
  {
    ComPtr<Counted> adopted(raw);
    EXPECT_EQ(life.refs, 1u);
    ComPtr<Counted> retained = ComPtr<Counted>::Retain(raw);
    EXPECT_EQ(life.refs, 2u);
    ComPtr<Counted> moved(std::move(adopted));
    EXPECT_FALSE(adopted);
    adopted.reset();
    EXPECT_EQ(life.refs, 2u);
    retained = std::move(moved);  // drops one reference, keeps the moved one
    EXPECT_EQ(life.refs, 1u);
    EXPECT_FALSE(life.destroyed);
  }
  EXPECT_TRUE(life.destroyed);
}

TEST(ComPtrTest, ReceiveReleasesTheOldObjectAndTakesTheNewReference) {
  Life first, second;
  ComPtr<IUnknown> source(new Counted(&second));
  ComPtr<IUnknown> target(new Counted(&first));
  ASSERT_EQ(source->QueryInterface(IID_IUnknown, target.receive_void()), S_OK);
  EXPECT_TRUE(first.destroyed);
  EXPECT_EQ(second.refs, 2u);
  source.reset();
  EXPECT_FALSE(second.destroyed);

  IUnknown* handed_on = target.release();
  EXPECT_FALSE(target);
  EXPECT_FALSE(second.destroyed);
  handed_on->Release();
  EXPECT_TRUE(second.destroyed);
}

}  // namespace
}  // namespace cbase
