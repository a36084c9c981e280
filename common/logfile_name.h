// Names of dated log files under the product home directory:
// "<app data>/<company>/<product>/<folder>/<YYYY-Mon-DD>/<name>.log".
// Stateless; may be called from any thread.
#ifndef QUORVANE_COMMON_LOGFILE_NAME_H_
#define QUORVANE_COMMON_LOGFILE_NAME_H_

#include <string>

#include <boost/date_time/gregorian/greg_date.hpp>

#include "common/export.h"

namespace Tavrin::Logger {

// The date folder name of a day: year, "-", English three-letter month,
// "-", two-digit day, e.g. "2011-Jan-05".
QUORVANE_COMMON_EXPORT std::wstring date_folder_name(const boost::gregorian::date& day);

// Today's date from the system clock in local time.
// Throws std::runtime_error "could not convert calendar time to local time"
// if the local time cannot be determined.
QUORVANE_COMMON_EXPORT boost::gregorian::date current_local_date();

// The full path of the log file `name` ".log" in today's date folder under
// get_product_home_directory(company, product, folder); note the order: the
// third argument is the file name, the fourth the folder. The directories,
// the date folder included, are created; the file is not.
// Throws what get_product_home_directory and current_local_date throw, and
// boost::filesystem::filesystem_error if the date folder cannot be created.
QUORVANE_COMMON_EXPORT std::wstring get_logfile_name(const std::wstring& company, const std::wstring& product,
                                                     const std::wstring& name, const std::wstring& folder);

// The same for the given day instead of today.
QUORVANE_COMMON_EXPORT std::wstring get_logfile_name(const std::wstring& company, const std::wstring& product,
                                                     const std::wstring& name, const std::wstring& folder,
                                                     const boost::gregorian::date& day);

}  // namespace Tavrin::Logger

#endif  // QUORVANE_COMMON_LOGFILE_NAME_H_
