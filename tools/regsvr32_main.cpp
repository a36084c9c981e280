// regsvr32: registers and unregisters in-process servers by calling their
// entry points, like Windows' regsvr32.exe (command line in
// tools/regsvr32_args.h, exit codes in tools/regsvr32_run.h).
#include <iostream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tools/regsvr32_args.h"
#include "tools/regsvr32_run.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(Tavrin::Platform::from_utf8(argv[i]));
  try {
    const Tavrin::Regsvr32::Options options = Tavrin::Regsvr32::parse_options(args);
    return Tavrin::Regsvr32::run(options, std::cout, std::cerr);
  } catch (const Tavrin::Regsvr32::UsageError& e) {
    if (!Tavrin::Regsvr32::asks_for_silence(args))
      std::cerr << "regsvr32: " << e.what() << "\n"
                << "Usage: regsvr32 [/u] [/s] [/n] [/i[:cmdline]] module...\n"
                << "  /u  unregister   /s  silent   /i  call DllInstall with cmdline   /n  with /i: DllInstall only\n";
    return Tavrin::Regsvr32::kExitUsage;
  } catch (...) {
    return Tavrin::Regsvr32::kExitCallFailed;
  }
}
