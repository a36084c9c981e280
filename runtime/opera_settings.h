// Opera's preferences file "opera6.ini", written before every Opera launch
// so that Opera starts quietly and uses the local proxy server on
// 127.0.0.1.
//
// The file lies in the product home folder "Opera" (created when missing)
// and is rewritten whole each time: ASCII text, every line ended by carriage
// return and line feed. Two runs that start Opera at once share the file.
#ifndef QUORVANE_RUNTIME_OPERA_SETTINGS_H_
#define QUORVANE_RUNTIME_OPERA_SETTINGS_H_

#include <string>

namespace Tavrin::Runtime {

// The file's bytes for Opera version `version` ("10.63.3516") and proxy
// port `port`.
std::string opera_settings_text(const std::wstring& version, int port);

// The version text of the program that starts `command` (its first
// argument): three numbers of its file version joined by ".". Throws
// boost::system::error_code when the program has no version.
std::wstring opera_version_text(const std::wstring& command);

// Writes the file for `command` and `port` and returns its full path. The
// version is read first (its failure propagates); the product home folder's
// failures propagate as get_product_home_directory throws them. A file that
// cannot be opened for writing is silently not written; the path is
// returned all the same.
std::wstring write_opera_settings(const std::wstring& command, int port);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_OPERA_SETTINGS_H_
