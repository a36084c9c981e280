// ComPtr<T>: the smart interface pointer. It holds one reference to an
// interface and releases it when it goes; copying adds a reference. The
// shape follows Microsoft::WRL::ComPtr, which a Windows build may use in its
// place.
//
//   ComPtr<IDispatch> dispatch;
//   HRESULT hr = unknown->QueryInterface(IID_IDispatch, dispatch.put_void());
//   ComPtr<IVelmoraScript> script = dispatch.as<IVelmoraScript>();  // null if not supported
#ifndef QUORVANE_PLATFORM_COM_COM_PTR_H_
#define QUORVANE_PLATFORM_COM_COM_PTR_H_

#include <cstddef>
#include <utility>

#include "platform/com/unknown.h"

namespace Tavrin::Platform::Com {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `p` (which may be null).
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Takes over a reference that the caller already owns (no AddRef).
  static ComPtr attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Gives the reference to the caller (no Release); the pointer is empty.
  T* detach() { return std::exchange(p_, nullptr); }

  // Releases the held reference, if any.
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Releases the held reference and returns the address of the empty
  // pointer, for functions that return a new reference through T**.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // A new reference for an out-parameter: *out = pointer, AddRef'ed.
  void copy_to(T** out) const {
    *out = p_;
    if (p_) p_->AddRef();
  }

  // The object's interface U, or an empty pointer when it has none.
  template <class U>
  ComPtr<U> as() const {
    ComPtr<U> result;
    if (p_) p_->QueryInterface(uuid_of<U>(), result.put_void());
    return result;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_COM_PTR_H_
