// The built-in classes of the script library: the script control and the
// automation classes that scripts create with `new ActiveXObject(...)`.
//
// A program that runs scripts calls register_script_classes() once after
// start-up; programs that do not link this library (the proxy, the helper,
// the registration tool) never load the engine. Each class answers its
// version-independent and its version-dependent program id:
//   "MSScriptControl.ScriptControl"  (".1")
//   "Scripting.FileSystemObject"     (".1")
//   "Scripting.Dictionary"           (".1")
//   "WScript.Shell"                  (".1")
#ifndef QUORVANE_PLATFORM_SCRIPT_SCRIPT_CLASSES_H_
#define QUORVANE_PLATFORM_SCRIPT_SCRIPT_CLASSES_H_

#include "platform/com/com.h"
#include "platform/script/export.h"

namespace Tavrin::Platform::Script {

// Registers every class above with the component system (built-in classes:
// no registry entries). Safe to call more than once.
QUORVANE_SCRIPT_EXPORT void register_script_classes();

// Makers of the objects, for register_script_classes and tests.
QUORVANE_SCRIPT_EXPORT HRESULT create_script_control(REFIID iid, void** object);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_SCRIPT_CLASSES_H_
