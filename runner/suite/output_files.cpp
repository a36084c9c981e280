#include "runner/suite/output_files.h"

#include <fstream>
#include <sstream>

#include <boost/filesystem.hpp>

#include "platform/text.h"

namespace Tavrin::Suite {

std::optional<std::string> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return bytes.str();
}

void make_folder(const std::string& path) {
  boost::system::error_code error;
  boost::filesystem::create_directories(boost::filesystem::path(path), error);
  if (error) throw OutputError("cannot make folder " + path + ": " + error.message());
}

void write_bytes(const std::string& path, const std::string& bytes) {
  const boost::filesystem::path parent = boost::filesystem::path(path).parent_path();
  if (!parent.empty()) make_folder(parent.string());
  const std::string fresh = path + ".new";
  std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  boost::system::error_code error;
  if (out) boost::filesystem::rename(fresh, path, error);
  if (!out || error) {
    boost::filesystem::remove(fresh, error);
    throw OutputError("cannot write " + path);
  }
}

std::string script_stem(const std::wstring& display_path) {
  std::string path = Platform::to_utf8(display_path);
  if (path.size() > 3 && path.compare(path.size() - 3, 3, ".js") == 0) path.erase(path.size() - 3);
  std::string stem;
  std::istringstream parts(path);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part.empty() || part == ".") continue;
    if (part == "..") part = "_up";
    stem += (stem.empty() ? "" : "/") + part;
  }
  return "scripts/" + stem;
}

}  // namespace Tavrin::Suite
