// Object creation by class id and program id, as on Windows.
//
// A class id is looked up, in this order:
// 1. among the built-in classes that the platform layer offers itself
//    (register_builtin_class), which need no registration;
// 2. under HKEY_CLASSES_ROOT\CLSID\{id}\InprocServer32 (when the context
//    allows CLSCTX_INPROC_SERVER): the default value names a module, which is
//    loaded by path (once per process) and asked for the class factory
//    through its exported DllGetClassObject;
// 3. under HKEY_CLASSES_ROOT\CLSID\{id}\LocalServer32 (CLSCTX_LOCAL_SERVER):
//    the default value is the server's command line, and the object is
//    reached out of process through
//    Tavrin::Platform::Com::create_local_server_instance (local_server.h).
// A class found nowhere gives REGDB_E_CLASSNOTREG. Creation needs an
// initialised apartment on the calling thread (CO_E_NOTINITIALIZED
// otherwise).
//
// A program id resolves through HKEY_CLASSES_ROOT\<progid>\CLSID; a
// version-independent program id without that key follows its CurVer.
#ifndef QUORVANE_PLATFORM_COM_ACTIVATION_H_
#define QUORVANE_PLATFORM_COM_ACTIVATION_H_

#include <cstddef>
#include <functional>
#include <string>

#include "platform/com/function_factory.h"
#include "platform/com/unknown.h"
#include "platform/export.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

// The entry points an in-process server exports with C linkage.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using LPFNCANUNLOADNOW = HRESULT (*)();

// The class factory of `clsid` as interface `iid` in *object. `server_info`
// must be null. Results: S_OK; REGDB_E_CLASSNOTREG (class unknown, or not
// registered for `context`); CO_E_DLLNOTFOUND (module cannot be loaded);
// CO_E_ERRORINDLL (module lacks DllGetClassObject); the module's own
// failure; CO_E_NOTINITIALIZED.
QUORVANE_PLATFORM_EXPORT HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* server_info, REFIID iid,
                                                  void** object);
// CoGetClassObject for IClassFactory, then CreateInstance(outer, iid).
// *object is null on failure.
QUORVANE_PLATFORM_EXPORT HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                                  void** object);

// The class id of a program id. CO_E_CLASSSTRING when the program id is not
// registered (or `progid` is null or empty); *clsid is GUID_NULL then.
QUORVANE_PLATFORM_EXPORT HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID* clsid);
// The program id registered for a class (CLSID\{id}\ProgID) in a new
// string that the caller frees with CoTaskMemFree. REGDB_E_CLASSNOTREG
// when there is none.
QUORVANE_PLATFORM_EXPORT HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progid);

// Puts an object into its running state: calls IRunnableObject::Run when the
// object offers that interface, else S_OK (the object runs already).
QUORVANE_PLATFORM_EXPORT HRESULT OleRun(IUnknown* object);

namespace Tavrin::Platform::Com {
// Creates an object the way every caller in the system does: CoCreateInstance
// with CLSCTX_ALL asking for IUnknown, OleRun, then QueryInterface for
// `iid`. Returns the first failure; *object is null then.
QUORVANE_PLATFORM_EXPORT HRESULT create_running_object(REFCLSID clsid, REFIID iid, void** object);
}  // namespace Tavrin::Platform::Com

// Task memory (malloc / free).
QUORVANE_PLATFORM_EXPORT void* CoTaskMemAlloc(std::size_t size);
QUORVANE_PLATFORM_EXPORT void CoTaskMemFree(void* block);

// Unloads every loaded in-process module whose DllCanUnloadNow says S_OK.
QUORVANE_PLATFORM_EXPORT void CoFreeUnusedLibraries();

namespace Tavrin::Platform::Com {

// Makes a new object of a built-in class: its interface `iid` in *object.
using BuiltinFactory = ObjectMaker;

// Adds a built-in class, reachable by `clsid` and (when not empty) by
// `progid` and by its version-independent program id, before anything
// registered; ProgIDFromCLSID answers `progid`. A later call for the same
// class id replaces the earlier one. Safe from any thread.
QUORVANE_PLATFORM_EXPORT void register_builtin_class(REFCLSID clsid, const std::wstring& progid,
                                                     BuiltinFactory factory,
                                                     const std::wstring& independent_progid = {});

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_ACTIVATION_H_
