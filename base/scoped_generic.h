// ScopedGeneric: the move-only owner every Win32 handle owner in cbase is
// built from.
//
// Traits name the handle type and say how to free it and which values mean
// "no handle":
//   struct Traits {
//     using Type = HFOO;
//     static Type Invalid();            // what an empty owner holds
//     static bool IsValid(Type value);  // false for every "no handle" value
//     static void Free(Type value);     // called once per valid value
//   };
// The owner frees its value exactly once: on destruction, on reset, or never
// when release() handed it on. Like unique_ptr, an owner belongs to whoever
// holds it; it does no locking, so one thread at a time.
#pragma once

namespace cbase {

template <typename Traits>
class ScopedGeneric {
 public:
  using Type = typename Traits::Type;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Type value) : value_(value) {}
  ~ScopedGeneric() { FreeIfValid(value_); }

  ScopedGeneric(ScopedGeneric&& other) noexcept : value_(other.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;

  Type get() const { return value_; }
  explicit operator bool() const { return Traits::IsValid(value_); }

  // Hands the value on; the owner is empty afterwards and frees nothing.
  Type release() {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  // Frees the held value (unless it is `value` itself) and takes `value`.
  void reset(Type value = Traits::Invalid()) {
    Type old = value_;
    value_ = value;
    if (old != value) FreeIfValid(old);
  }

  // For APIs that return a new handle through a pointer: frees what is held
  // and hands out the slot to fill.
  Type* receive() {
    reset();
    return &value_;
  }

 private:
  static void FreeIfValid(Type value) {
    if (Traits::IsValid(value)) Traits::Free(value);
  }

  Type value_ = Traits::Invalid();
};

}  // namespace cbase
