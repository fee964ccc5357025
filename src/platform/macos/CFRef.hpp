#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

namespace vellory::macos {

// Owns one Core Foundation reference and releases it exactly once. Adopting takes over a
// reference the caller already owns (from a Create or Copy function, or one the platform handed
// over); a null reference is allowed and owns nothing.
template <class Ref>
class CFRef {
 public:
  CFRef() = default;
  explicit CFRef(Ref adopted) : ref_(adopted) {}
  ~CFRef() { reset(); }

  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) {
      reset();
      ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
  }

  Ref get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

  void reset(Ref adopted = nullptr) {
    if (ref_ != nullptr) CFRelease(ref_);
    ref_ = adopted;
  }

 private:
  Ref ref_ = nullptr;
};

}  // namespace vellory::macos
