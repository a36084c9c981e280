// Reference counting and QueryInterface for an object that implements one
// chain of interfaces, so that each class of the system writes only its own
// methods.
//
//   class ProxyObject final
//       : public ComObject<DispatchImpl<IVelmoraProxy>, IVelmoraProxy, IDispatch> { ... };
//
// `Base` is what the object derives from: an interface, or an
// implementation helper such as DispatchImpl<I>. `Primary` is the most
// derived interface; QueryInterface hands it out for IUnknown, for Primary
// and for each of `Others` (interfaces Primary derives from), and answers
// E_NOINTERFACE for anything else. An object starts with one reference and
// deletes itself when the last goes. The count is atomic: references may be
// taken and dropped on any thread.
#ifndef QUORVANE_PLATFORM_COM_COM_OBJECT_H_
#define QUORVANE_PLATFORM_COM_COM_OBJECT_H_

#include <atomic>
#include <utility>

#include "platform/com/unknown.h"

namespace Tavrin::Platform::Com {

template <class Base, class Primary, class... Others>
class ComObject : public Base {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == uuid_of<Primary>() || ((iid == uuid_of<Others>()) || ...)) {
      *object = static_cast<Primary*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  template <class... Args>
  explicit ComObject(Args&&... args) : Base(std::forward<Args>(args)...) {}
  virtual ~ComObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_COM_OBJECT_H_
