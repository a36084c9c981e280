#include "helper/helper_paths.h"

#include <boost/filesystem.hpp>

#include "platform/text.h"

namespace Tavrin::Helper {

bool file_exists(const std::wstring& path) {
  boost::system::error_code error;
  return boost::filesystem::is_regular_file(Platform::to_utf8(path), error);
}

std::wstring registration_tool(const HelperPaths& paths) {
  const std::wstring beside = paths.dir + L"/regsvr32";
  return file_exists(beside) ? beside : L"regsvr32";
}

}  // namespace Tavrin::Helper
