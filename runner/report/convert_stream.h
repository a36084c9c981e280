// The convert pass: reads a test log as bytes and writes the XML report as
// it goes, in one pass and in bounded memory (the current line, the open
// nodes and fixed buffers; never the whole log or the whole tree).
//
// Lines end at LF; a final line without LF is not converted. Each line that
// starts with a kind prefix becomes one node of the report; other lines are
// dropped. Ill-formed UTF-8 becomes U+FFFD and conversion goes on.
#ifndef QUORVANE_RUNNER_REPORT_CONVERT_STREAM_H_
#define QUORVANE_RUNNER_REPORT_CONVERT_STREAM_H_

#include <istream>
#include <ostream>

namespace Tavrin::Report {

enum class StreamStatus {
  kOk,
  kReadFailed,   // the log stream reported an error; the report holds what came before
  kWriteFailed,  // the report stream failed; the pass stopped there
};

// Converts the test log read from `log` into the XML report written to
// `report` (both byte streams; open files in binary mode): the XML
// declaration, then the elements of the records. Flushes `report` at the
// end. Never throws on any content of the log; throws std::bad_alloc when
// a line does not fit in memory.
StreamStatus ConvertStream(std::istream& log, std::ostream& report);

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_CONVERT_STREAM_H_
