// Quorvane: runs a JScript test script against browsers, or converts a test
// log into an XML report.
#include <string>
#include <vector>

#include "platform/script/script_classes.h"
#include "platform/text.h"
#include "runner/startup.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> tokens;
  tokens.reserve(argc);
  for (int i = 0; i < argc; ++i) tokens.push_back(Tavrin::Platform::from_utf8(argv[i]));
  // The script control and the classes scripts create are built in.
  Tavrin::Platform::Script::register_script_classes();
  return Tavrin::Runner::RunMain(tokens);
}
