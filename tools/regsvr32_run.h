// What `regsvr32` does with its options: loads each module by path and
// calls its entry points, printing one line per module unless silent.
//
// Exit codes (those of Windows' regsvr32.exe):
//   0  every call succeeded
//   1  bad command line
//   3  a module could not be loaded
//   4  a module lacks an entry point it was asked to call
//   5  an entry point failed (its HRESULT is printed)
// Modules are handled in order; the first failure ends the run.
#ifndef QUORVANE_TOOLS_REGSVR32_RUN_H_
#define QUORVANE_TOOLS_REGSVR32_RUN_H_

#include <ostream>
#include <string>

#include "tools/regsvr32_args.h"

namespace Tavrin::Regsvr32 {

constexpr int kExitSuccess = 0;
constexpr int kExitUsage = 1;
constexpr int kExitLoadFailed = 3;
constexpr int kExitNoEntryPoint = 4;
constexpr int kExitCallFailed = 5;

// Runs `options`; lines of success go to `out`, failures to `err`
// (neither when silent). Throws nothing.
int run(const Options& options, std::ostream& out, std::ostream& err);

// The absolute, normalised form of a module path given on the command line.
std::wstring module_full_path(const std::wstring& path);

}  // namespace Tavrin::Regsvr32

#endif  // QUORVANE_TOOLS_REGSVR32_RUN_H_
