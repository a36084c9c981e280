// A class factory that makes each of its objects through a function: the
// factory of built-in classes, of objects served out of process, and of any
// server whose objects need no module lock.
#ifndef QUORVANE_PLATFORM_COM_FUNCTION_FACTORY_H_
#define QUORVANE_PLATFORM_COM_FUNCTION_FACTORY_H_

#include <functional>

#include "platform/com/com_ptr.h"
#include "platform/com/unknown.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com {

// Makes a new object: its interface `iid` in *object.
using ObjectMaker = std::function<HRESULT(REFIID iid, void** object)>;

// A new factory (one reference) whose CreateInstance refuses aggregation
// (CLASS_E_NOAGGREGATION), then calls `make`; an exception of `make` becomes
// E_OUTOFMEMORY (std::bad_alloc) or E_UNEXPECTED. LockServer does nothing.
// Empty when memory runs out.
QUORVANE_PLATFORM_EXPORT ComPtr<IClassFactory> make_function_factory(ObjectMaker make);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_FUNCTION_FACTORY_H_
