#include "platform/script/script_classes.h"

#include "platform/script/script_control.h"

namespace Tavrin::Platform::Script {

void register_script_classes() {
  Com::register_builtin_class(CLSID_ScriptControl, kScriptControlVersionProgId, create_script_control,
                              kScriptControlProgId);
}

}  // namespace Tavrin::Platform::Script
