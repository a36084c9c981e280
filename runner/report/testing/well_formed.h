// Test helper: checks a report with a real XML parser (libxml2).
#ifndef QUORVANE_RUNNER_REPORT_TESTING_WELL_FORMED_H_
#define QUORVANE_RUNNER_REPORT_TESTING_WELL_FORMED_H_

#include <string>
#include <string_view>

namespace Tavrin::Report {

// Empty when `report` is the XML declaration followed by well-formed,
// namespace-well-formed content; otherwise the parser's message. The content
// may hold several top-level elements, or none: it is wrapped in one element
// before parsing.
std::string xml_error(std::string_view report);

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_TESTING_WELL_FORMED_H_
