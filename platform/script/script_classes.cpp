#include "platform/script/script_classes.h"

#include "platform/script/dictionary.h"
#include "platform/script/file_system.h"
#include "platform/script/script_control.h"
#include "platform/script/shell.h"

namespace Tavrin::Platform::Script {

void register_script_classes() {
  Com::register_builtin_class(CLSID_ScriptControl, kScriptControlVersionProgId, create_script_control,
                              kScriptControlProgId);
  Com::register_builtin_class(CLSID_FileSystemObject, L"Scripting.FileSystemObject.1", create_file_system_object,
                              L"Scripting.FileSystemObject");
  Com::register_builtin_class(CLSID_Dictionary, L"Scripting.Dictionary.1", create_dictionary,
                              L"Scripting.Dictionary");
  Com::register_builtin_class(CLSID_Shell, L"WScript.Shell.1", create_shell, L"WScript.Shell");
}

}  // namespace Tavrin::Platform::Script
