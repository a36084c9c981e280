// reg: queries, adds, deletes and exports registry keys and values, like
// Windows' reg.exe (command line in tools/reg_args.h). Exit code 0 on
// success, 1 on failure.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tools/reg_args.h"
#include "tools/reg_commands.h"

namespace {

constexpr const char* kUsage =
    "REG QUERY  KEY [/v NAME | /ve] [/s]\n"
    "REG ADD    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "REG DELETE KEY [/v NAME | /ve | /va] [/f]\n"
    "REG EXPORT KEY FILE [/y]\n"
    "\n"
    "  KEY   ROOT[\\SUBKEY], ROOT one of HKCU, HKLM, HKCR (or HKEY_CURRENT_USER,\n"
    "        HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT)\n"
    "  TYPE  REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY,\n"
    "        REG_NONE (default REG_SZ)\n"
    "  /ve   the default value; /va all values; /s (query) all subkeys;\n"
    "  /f    no confirmation; /y (export) overwrite FILE without asking\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(Tavrin::Platform::from_utf8(argv[i]));
  if (args.size() == 1 && (args[0] == L"/?" || args[0] == L"-?" || args[0] == L"--help")) {
    std::cout << kUsage;
    return 0;
  }
  try {
    const Tavrin::Reg::Command command = Tavrin::Reg::parse_command(args);
    return Tavrin::Reg::run_command(command, std::cout, std::cerr, std::cin);
  } catch (const Tavrin::Reg::UsageError& e) {
    std::cerr << "ERROR: Invalid syntax: " << e.what() << ".\nType \"reg /?\" for usage.\n";
  } catch (const std::exception& e) {
    std::cerr << "ERROR: " << e.what() << "\n";
  }
  return 1;
}
