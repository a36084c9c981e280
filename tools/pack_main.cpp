// QuorvanePack: builds a resource package (Resource.dat) from files on
// disk. See tools/pack_args.h for the command line. Exit code 0 when the
// package was written, 1 when a file could not be read or the package not
// written, 2 for a command line it does not understand.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/script_injector.h"
#include "platform/text.h"
#include "tools/pack_args.h"

namespace {

bool readable_file(const std::string& path) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) return false;
  std::ifstream in(path, std::ios::binary);
  return in.is_open();
}

int run(const std::vector<std::string>& args) {
  using namespace Tavrin;
  const Pack::Request request = Pack::parse_arguments(args);
  if (request.help) {
    std::cout << Pack::kUsage;
    return 0;
  }
  for (const Pack::Entry& entry : request.entries) {
    if (!readable_file(entry.path)) {
      std::cerr << "QuorvanePack: cannot read " << entry.path << "\n";
      return 1;
    }
  }
  for (const std::string& warning : Pack::shadowing_warnings(request.entries)) {
    std::cerr << "QuorvanePack: warning: " << warning << "\n";
  }
  ScriptInjector package;
  for (const Pack::Entry& entry : request.entries) {
    package.AddFile({entry.name, entry.path}, entry.inject, entry.type);
  }
  if (request.output) {
    package.Serialize(Platform::from_utf8(*request.output));
  } else {
    package.Serialize();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const Tavrin::Pack::UsageError& e) {
    std::cerr << "QuorvanePack: " << e.what() << "\n" << Tavrin::Pack::kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "QuorvanePack: " << e.what() << "\n";
    return 1;
  }
}
