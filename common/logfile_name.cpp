#include "common/logfile_name.h"

#include <cstdio>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/filesystem/operations.hpp>

#include "common/directories.h"
#include "platform/text.h"

namespace Tavrin::Logger {

std::wstring date_folder_name(const boost::gregorian::date& day) {
  // as_short_string gives the English abbreviation whatever the locale.
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%s-%02d", static_cast<int>(day.year()), day.month().as_short_string(),
                static_cast<int>(day.day()));
  return Platform::from_utf8(text);
}

boost::gregorian::date current_local_date() {
  // Throws std::runtime_error "could not convert calendar time to local
  // time" when the C library cannot give the local time.
  return boost::gregorian::day_clock::local_day();
}

std::wstring get_logfile_name(const std::wstring& company, const std::wstring& product, const std::wstring& name,
                              const std::wstring& folder) {
  return get_logfile_name(company, product, name, folder, current_local_date());
}

std::wstring get_logfile_name(const std::wstring& company, const std::wstring& product, const std::wstring& name,
                              const std::wstring& folder, const boost::gregorian::date& day) {
  const std::wstring dated = Filesystem::get_product_home_directory(company, product, folder) + L"/" +
                             date_folder_name(day);
  const std::string native = Platform::to_utf8(dated);
  if (!boost::filesystem::is_directory(native)) boost::filesystem::create_directory(native);
  return dated + L"/" + name + L".log";
}

}  // namespace Tavrin::Logger
