// The bridge between script values and automation values (internal to the
// script control).
//
// Automation -> script: VT_EMPTY is undefined, VT_NULL null, VT_BOOL a
// boolean, integers and doubles numbers, VT_BSTR a string, VT_DATE a Date,
// a dispatch object a script object whose members are reached by name
// through IDispatch (bridge_object.cpp), an array a VBArray's value (the
// script reads it with `new VBArray(x).toArray()`).
// Script -> automation: undefined VT_EMPTY, null VT_NULL, booleans VT_BOOL,
// integral numbers of the 32-bit range VT_I4 and other numbers VT_R8,
// strings VT_BSTR, a Date VT_DATE, a bridged object its own IDispatch, a
// VBArray its array, and any other object or function a dynamic IDispatch
// over it (script_dispatch.h).
//
// The push functions and callbacks run inside the engine: they raise
// script errors, and C++ exceptions never leave them.
#ifndef QUORVANE_PLATFORM_SCRIPT_BRIDGE_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_BRIDGE_INTERNAL_H_

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "platform/com/com.h"
#include "platform/script/cesu8_internal.h"
#include "platform/script/engine_internal.h"

namespace Tavrin::Platform::Script {

// Sets up the globals ActiveXObject, VBArray and Enumerator and what the
// bridge keeps in the engine's stash.
void install_bridge(duk_context* ctx);

void push_text(duk_context* ctx, std::wstring_view text);
// The value at `index` as text (ToString), without raising for non-strings.
std::wstring get_text(duk_context* ctx, int index);

void push_variant(duk_context* ctx, const VARIANT& value);
// A new VARIANT for the value at `index`; raises a script error on failure.
Com::Variant to_variant(duk_context* ctx, int index);

// Pushes the script object for `object` (null pushes null).
void push_dispatch(duk_context* ctx, IDispatch* object);
// The dispatch object behind a bridged script object at `index`, or null.
IDispatch* bridged_dispatch(duk_context* ctx, int index);

// Raises a script error with `number` (an HRESULT) and `description`; its
// `message` is the description too.
[[noreturn]] void raise_error(duk_context* ctx, HRESULT number, const std::wstring& description);
// Raises the script error of a failed automation call: its EXCEPINFO when
// the callee filled one, else the thread's error info, else the text of
// the code.
[[noreturn]] void raise_call_error(duk_context* ctx, HRESULT hr, EXCEPINFO* info);

// The message of a standard exception as wide text; never throws.
std::wstring exception_text(const std::exception& e) noexcept;

// Runs `body` and turns any C++ exception it throws into a script error.
// Script errors raised inside pass through.
template <class Body>
int guarded(duk_context* ctx, Body body) {
  HRESULT hr = E_FAIL;
  std::wstring description;
  try {
    return body();
  } catch (const _com_error& e) {
    hr = e.Error();
    description = e.Description();
    if (description.empty()) description = e.ErrorMessage();
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
    description = L"Out of memory";
  } catch (const std::exception& e) {
    description = exception_text(e);
  }
  raise_error(ctx, hr, description);
}

// An engine callback with `guarded` around it, for registering:
//   duk_push_c_function(ctx, guarded_callback<my_function>, 1);
template <int (*Function)(duk_context*)>
int guarded_callback(duk_context* ctx) {
  return guarded(ctx, [ctx] { return Function(ctx); });
}

// The same for a body run under duk_safe_call.
template <int (*Body)(duk_context*, void*)>
int guarded_body(duk_context* ctx, void* data) {
  return guarded(ctx, [ctx, data] { return Body(ctx, data); });
}

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_BRIDGE_INTERNAL_H_
