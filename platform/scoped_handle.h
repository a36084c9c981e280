// The shape of every owner of an operating-system resource here: one
// handle, closed when the owner goes, moved but never copied. A traits
// type says what the empty handle is and how one is closed; ScopedFd
// (platform/scoped_fd.h) and ScopedKey (platform/scoped_key.h) are made
// from it.
#ifndef QUORVANE_PLATFORM_SCOPED_HANDLE_H_
#define QUORVANE_PLATFORM_SCOPED_HANDLE_H_

namespace Tavrin::Platform {

// Traits: `using Handle = ...;`, `static Handle empty() noexcept` and
// `static void close(Handle) noexcept` (called for non-empty handles only).
template <class Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() noexcept = default;
  explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Traits::empty(); }
  explicit operator bool() const noexcept { return valid(); }
  // Where a call that opens a resource puts its handle: the held one is
  // closed first.
  Handle* out() noexcept {
    reset();
    return &handle_;
  }
  // Gives the handle up without closing it; the owner is empty afterwards.
  Handle release() noexcept {
    const Handle handle = handle_;
    handle_ = Traits::empty();
    return handle;
  }
  // Closes the held handle and holds `handle` instead.
  void reset(Handle handle = Traits::empty()) noexcept {
    if (handle_ != Traits::empty()) Traits::close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::empty();
};

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_SCOPED_HANDLE_H_
