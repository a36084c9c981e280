// The type descriptions of IScriptControl and IScriptError (internal).
#ifndef QUORVANE_PLATFORM_SCRIPT_SCRIPT_CONTROL_TYPE_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_SCRIPT_CONTROL_TYPE_INTERNAL_H_

#include "platform/com/type_description.h"

namespace Tavrin::Platform::Script {

const Com::InterfaceDescription& script_control_description();
const Com::InterfaceDescription& script_error_description();

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_SCRIPT_CONTROL_TYPE_INTERNAL_H_
