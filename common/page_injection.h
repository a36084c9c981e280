// Internal to libQuorvaneCommon. Where ScriptInjector::InjectToStreamANSI
// puts the support scripts into an HTML page, and what it puts there.
#ifndef QUORVANE_COMMON_PAGE_INJECTION_H_
#define QUORVANE_COMMON_PAGE_INJECTION_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/resource_file.h"

namespace Tavrin {

// The offset in page at which the script elements go: the place belonging
// to the first of "</head>", "<head>", "<html>", "<body>", "</body>",
// "</html>", "</script>" that occurs in page, taken at its last occurrence
// (before the closing head, body and html tags, after the others). Tags
// match without regard to ASCII case and only as written: "<body onload=..>"
// is no "<body>". std::string_view::npos when none occurs.
// One backward pass over the page; nothing is copied.
std::size_t find_insertion_point(std::string_view page);

// One <script src="/quorvane/special/file/NAME" type="text/javascript"></script>
// per injected file, in order, directly adjacent; empty when none is
// injected. Names go in as they are.
std::string script_elements(const std::vector<File>& files);

}  // namespace Tavrin

#endif  // QUORVANE_COMMON_PAGE_INJECTION_H_
