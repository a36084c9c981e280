// The type description of IVelmoraScript (the stand-in for the type library
// VelmoraRuntimeLib): its fourteen members with DISPIDs, kinds, parameters
// and help strings, from which the runtime object's IDispatch answers.
#ifndef QUORVANE_RUNTIME_VELMORA_SCRIPT_TYPE_H_
#define QUORVANE_RUNTIME_VELMORA_SCRIPT_TYPE_H_

#include "platform/com/type_description.h"

namespace Tavrin::Runtime {

const Platform::Com::InterfaceDescription& velmora_script_description();

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_VELMORA_SCRIPT_TYPE_H_
