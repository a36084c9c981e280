// Script objects and functions as automation objects: a dynamic IDispatch
// over a script value, for automation callees that receive one (a callback,
// an options object). GetIDsOfNames gives every name an id (so a property
// put may add one); Invoke reads, writes or calls the script value's
// property of that name, and DISPID_VALUE called as a method calls a
// function value itself. A script error inside becomes DISP_E_EXCEPTION
// with its number and description. Once the engine is gone, calls fail
// with E_UNEXPECTED.
#ifndef QUORVANE_PLATFORM_SCRIPT_SCRIPT_DISPATCH_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_SCRIPT_DISPATCH_INTERNAL_H_

#include "platform/com/com.h"
#include "platform/script/engine_internal.h"

namespace Tavrin::Platform::Script {

// A new dispatch object over the value at `index` of `ctx`'s stack.
Com::ComPtr<IDispatch> create_script_dispatch(duk_context* ctx, int index);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_SCRIPT_DISPATCH_INTERNAL_H_
