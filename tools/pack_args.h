// Command line of QuorvanePack, the program that builds a resource package
// from files on disk:
//
//   QuorvanePack [--output PACKAGE] [FILE [--name NAME] [--inject] [--type TYPE]]...
//
// Files go into the package in the order given. The options after a FILE
// apply to it: its name in the package (default: the file's own name
// without folders), whether pages get a script element for it, and its
// content type (default: from the extension). Without --output the package
// is "Resource.dat" in the current directory. "--" ends the options.
#ifndef QUORVANE_TOOLS_PACK_ARGS_H_
#define QUORVANE_TOOLS_PACK_ARGS_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/resource_file.h"

namespace Tavrin::Pack {

// A command line that cannot be understood; the message says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Entry {
  std::string path;  // where the file is read from
  std::string name;  // its name in the package
  bool inject = false;
  File::MIMEType type = File::MIMEType::kDefault;
};

struct Request {
  std::optional<std::string> output;
  std::vector<Entry> entries;
  bool help = false;
};

extern const char kUsage[];

// Parses the arguments after the program name. Throws UsageError.
Request parse_arguments(const std::vector<std::string>& args);

// One warning per entry that GetFile can never return by its own name,
// because an earlier entry's name occurs in it (or equals it).
std::vector<std::string> shadowing_warnings(const std::vector<Entry>& entries);

}  // namespace Tavrin::Pack

#endif  // QUORVANE_TOOLS_PACK_ARGS_H_
