// ComPtr: a move-only owner of one reference to a COM object.
//
// Construction from a raw pointer adopts a reference the caller already holds
// (what creators and QueryInterface hand out); Retain adds one for a pointer
// the caller only borrows. The owner calls Release exactly once for the
// reference it holds. The object's own threading rules apply; the owner does
// no locking.
#pragma once

#include <unknwn.h>

#include <utility>

namespace cbase {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ~ComPtr() { reset(); }

  // A new owner with its own reference to a borrowed pointer.
  static ComPtr Retain(T* borrowed) {
    if (borrowed != nullptr) borrowed->AddRef();
    return ComPtr(borrowed);
  }

  ComPtr(ComPtr&& other) noexcept : ptr_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // Hands the reference on; the caller must release it.
  T* release() { return std::exchange(ptr_, nullptr); }

  // Releases the held reference and adopts `adopted`.
  void reset(T* adopted = nullptr) {
    T* old = std::exchange(ptr_, adopted);
    if (old != nullptr) old->Release();
  }

  // Out-parameter slot for creators (releases what is held first);
  // receive_void() for the void** of QueryInterface and CoCreateInstance.
  T** receive() {
    reset();
    return &ptr_;
  }
  void** receive_void() { return reinterpret_cast<void**>(receive()); }

 private:
  T* ptr_ = nullptr;
};

}  // namespace cbase
