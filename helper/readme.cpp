#include "helper/readme.h"

#include "platform/process.h"
#include "platform/text.h"

namespace Tavrin::Helper {

void open_readme(const HelperPaths& paths) {
  namespace Process = Platform::Process;
  try {
    Process::StartOptions options;
    options.arguments = {"xdg-open", Platform::to_utf8(paths.readme())};
    options.output = Process::StartOptions::Output::kDiscard;
    Process::start_detached(options);
  } catch (...) {
  }
}

}  // namespace Tavrin::Helper
