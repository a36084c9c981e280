// The type description of IVelmoraScript (the stand-in for the type library
// VelmoraRuntimeLib): its fourteen members with DISPIDs, kinds, parameters
// and help strings, from which the runtime object's IDispatch answers.
#ifndef QUORVANE_RUNTIME_VELMORA_SCRIPT_TYPE_H_
#define QUORVANE_RUNTIME_VELMORA_SCRIPT_TYPE_H_

#include "platform/com/type_description.h"
#include "platform/com/typelib_registration.h"

namespace Tavrin::Runtime {

const Platform::Com::InterfaceDescription& velmora_script_description();

// The type library VelmoraRuntimeLib, version 1.0, locale 0x409, no help
// file, holding IVelmoraScript (its coclass VelmoraScript is the class
// registered by the class script).
const Platform::Com::TypeLibraryDescription& velmora_runtime_library();

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_VELMORA_SCRIPT_TYPE_H_
