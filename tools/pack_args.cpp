#include "tools/pack_args.h"

namespace Tavrin::Pack {

const char kUsage[] =
    "Usage: QuorvanePack [--output PACKAGE] [FILE [--name NAME] [--inject] [--type TYPE]]...\n"
    "Builds a resource package holding the FILEs in the order given\n"
    "(default package: Resource.dat in the current directory).\n"
    "  --name NAME   the file's name in the package (default: its own name)\n"
    "  --inject      HTML pages get a script element for the file\n"
    "  --type TYPE   content type: js, html, css, png, gif, jpeg, svg, ico, txt or\n"
    "                default (default: from the file's extension)\n";

namespace {

std::string base_name(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Entry& last_entry(Request& request, const std::string& option) {
  if (request.entries.empty()) throw UsageError(option + " must follow a FILE");
  return request.entries.back();
}

const std::string& value_of(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

}  // namespace

Request parse_arguments(const std::vector<std::string>& args) {
  Request request;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      Entry entry;
      entry.path = arg;
      entry.name = base_name(arg);
      entry.type = mime_type_for_file_name(entry.name);
      request.entries.push_back(entry);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "-h" || arg == "--help") {
      request.help = true;
    } else if (arg == "-o" || arg == "--output") {
      request.output = value_of(args, i);
    } else if (arg == "--name") {
      Entry& entry = last_entry(request, arg);
      entry.name = value_of(args, i);
    } else if (arg == "--inject") {
      last_entry(request, arg).inject = true;
    } else if (arg == "--type") {
      Entry& entry = last_entry(request, arg);
      const std::string& type = value_of(args, i);
      const std::optional<File::MIMEType> parsed = mime_type_from_name(type);
      if (!parsed) throw UsageError("unknown type " + type);
      entry.type = *parsed;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  return request;
}

std::vector<std::string> shadowing_warnings(const std::vector<Entry>& entries) {
  std::vector<std::string> warnings;
  for (std::size_t later = 0; later < entries.size(); ++later) {
    for (std::size_t earlier = 0; earlier < later; ++earlier) {
      if (entries[later].name.find(entries[earlier].name) != std::string::npos) {
        warnings.push_back("\"" + entries[later].name + "\" cannot be found by its name: \"" +
                           entries[earlier].name + "\" comes first and occurs in it");
        break;
      }
    }
  }
  return warnings;
}

}  // namespace Tavrin::Pack
