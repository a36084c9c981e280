// The root interface of every component object, and the class factory.
//
// Interfaces are abstract structs whose methods all return HRESULT (except
// AddRef and Release). Each names its identifier in a static member `kIid`,
// which uuid_of<T>() returns (the way __uuidof(T) does on Windows):
//
//   struct IThing : IDispatch {
//     static constexpr IID kIid = make_guid("{...}");
//     virtual HRESULT Do(LONG n) = 0;
//   };
//
// Objects count their references: AddRef and Release return the new count
// (for information only); the object deletes itself when the count drops to
// zero. Interfaces have a protected destructor: never `delete` one, Release it.
#ifndef QUORVANE_PLATFORM_COM_UNKNOWN_H_
#define QUORVANE_PLATFORM_COM_UNKNOWN_H_

#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/win32/types.h"

namespace Tavrin::Platform::Com {
template <class Interface>
constexpr const IID& uuid_of() {
  return Interface::kIid;
}
}  // namespace Tavrin::Platform::Com

struct IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{00000000-0000-0000-C000-000000000046}");

  // Sets *object to the interface `iid` of this object (one new reference)
  // and returns S_OK, or sets it to null and returns E_NOINTERFACE.
  // E_POINTER when `object` is null. Asking any interface of an object for
  // IUnknown gives the same pointer (the object's identity).
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;
constexpr IID IID_IUnknown = IUnknown::kIid;

// Makes the objects of one class. Obtained from a server by class id
// (CoGetClassObject, or DllGetClassObject of an in-process server).
struct IClassFactory : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{00000001-0000-0000-C000-000000000046}");

  // Creates an object and returns its interface `iid` in *object.
  // CLASS_E_NOAGGREGATION when `outer` is not null (no class here supports
  // aggregation). On failure *object is null.
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  // Keeps the server loaded (lock true) or lets it go (false), counted.
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};
constexpr IID IID_IClassFactory = IClassFactory::kIid;

// Puts an object into its running state (see OleRun).
struct IRunnableObject : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{00000126-0000-0000-C000-000000000046}");

  // `bind_context` is reserved and null.
  virtual HRESULT Run(void* bind_context) = 0;
  virtual BOOL IsRunning() = 0;

 protected:
  ~IRunnableObject() = default;
};
constexpr IID IID_IRunnableObject = IRunnableObject::kIid;

#endif  // QUORVANE_PLATFORM_COM_UNKNOWN_H_
