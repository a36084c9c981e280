// Reference counting and QueryInterface for the objects of the system, so
// that each class writes only its own methods.
//
//   class ProxyObject final
//       : public ComObject<DispatchImpl<IVelmoraProxy>, IVelmoraProxy, IDispatch> { ... };
//
//   class ErrorObject final
//       : public ComObject<Bases<IErrorInfo, ICreateErrorInfo>, IErrorInfo, ICreateErrorInfo> { ... };
//
//   class TestObject final
//       : public ComObject<Bases<DispatchImpl<ITestServer>, IAdder>,
//                          ITestServer, Through<IDispatch, ITestServer>, IAdder> { ... };
//
// `Base` is what the object derives from: an interface, an implementation
// helper such as DispatchImpl<I>, or several of them as Bases<A, B, ...>
// (the constructor's arguments go to the first). `Interfaces` are the ones
// QueryInterface hands out, each for its own IID; IUnknown is answered
// with the first one's, which is the object's identity. An interface that
// two bases derive from (IDispatch of two dual interfaces) is named with
// the base it is reached through: Through<IDispatch, ITestServer>. Anything
// else is E_NOINTERFACE; a class that answers more (client proxies, say)
// overrides QueryInterface and asks ComObject::QueryInterface first.
//
// An object starts with one reference and deletes itself when the last
// goes. The count is atomic: references may be taken and dropped on any
// thread.
#ifndef QUORVANE_PLATFORM_COM_COM_OBJECT_H_
#define QUORVANE_PLATFORM_COM_COM_OBJECT_H_

#include <atomic>
#include <new>
#include <utility>

#include "platform/com/unknown.h"

namespace Tavrin::Platform::Com {

// Several classes to derive from at once.
template <class First, class... Rest>
struct Bases : First, Rest... {
  template <class... Args>
  explicit Bases(Args&&... args) : First(std::forward<Args>(args)...) {}
};

// `Interface`, reached through the base `Path` (see above).
template <class Interface, class Path>
struct Through {};

namespace detail {

template <class Entry>
struct InterfaceEntry {
  using Path = Entry;
  static constexpr const IID& iid() { return uuid_of<Entry>(); }
  template <class Object>
  static void* pointer(Object* object) {
    return static_cast<Entry*>(object);
  }
};

template <class Interface, class P>
struct InterfaceEntry<Through<Interface, P>> {
  using Path = P;
  static constexpr const IID& iid() { return uuid_of<Interface>(); }
  template <class Object>
  static void* pointer(Object* object) {
    return static_cast<Interface*>(static_cast<P*>(object));
  }
};

}  // namespace detail

template <class Base, class Primary, class... Others>
class ComObject : public Base {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) {
      *object = static_cast<IUnknown*>(static_cast<typename detail::InterfaceEntry<Primary>::Path*>(this));
    } else {
      (try_entry<Primary>(iid, object) || ... || try_entry<Others>(iid, object));
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
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
  template <class Entry>
  bool try_entry(REFIID iid, void** object) {
    if (iid != detail::InterfaceEntry<Entry>::iid()) return false;
    *object = detail::InterfaceEntry<Entry>::pointer(this);
    return true;
  }

  std::atomic<ULONG> references_{1};
};

// The body of a creation function: makes an Object from `args` and hands
// out its `iid` interface through `object`. E_OUTOFMEMORY when the object
// cannot be made; E_NOINTERFACE (and no object left behind) when it does
// not answer `iid`.
template <class Object, class... Args>
HRESULT create_object(REFIID iid, void** object, Args&&... args) {
  if (!object) return E_POINTER;
  *object = nullptr;
  Object* created = new (std::nothrow) Object(std::forward<Args>(args)...);
  if (!created) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_COM_OBJECT_H_
