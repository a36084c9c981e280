// Read-me mode of QuorvaneHelper: opens the installed read-me (README.md in
// the programs' directory) with the desktop's opener, xdg-open, started
// detached so the helper does not wait for it.
#ifndef QUORVANE_HELPER_README_H_
#define QUORVANE_HELPER_README_H_

#include "helper/helper_paths.h"

namespace Tavrin::Helper {

// Starts "xdg-open <read-me>". Quiet: a failure to start is ignored.
void open_readme(const HelperPaths& paths);

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_README_H_
