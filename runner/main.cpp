// Quorvane: runs a JScript test script against browsers, or converts a test
// log into an XML report.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/script/script_classes.h"
#include "platform/text.h"
#include "runner/startup.h"

int main(int argc, char** argv) {
  // A script's Date converts to local time through the C library, which
  // looks at the zone file again on every conversion while TZ is unset (a
  // stat each time; the date of every log record takes six). Naming the
  // system's own zone file makes it read once. Set before any thread
  // starts; the programs the run starts inherit the same zone.
  if (!std::getenv("TZ")) ::setenv("TZ", ":/etc/localtime", 0);
  std::vector<std::wstring> tokens;
  tokens.reserve(argc);
  for (int i = 0; i < argc; ++i) tokens.push_back(Tavrin::Platform::from_utf8(argv[i]));
  // The script control and the classes scripts create are built in.
  Tavrin::Platform::Script::register_script_classes();
  return Tavrin::Runner::RunMain(tokens);
}
