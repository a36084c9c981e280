// libFuzzer target for the convert pass. Every input is taken as a test log:
//  - converting it must succeed and give a well-formed report (libxml2);
//  - on each of its lines that the regular-expression engine can take
//    without exhausting the stack, the attribute scanner must find exactly
//    the matches of the attribute pattern.
// Sanitizers (address, undefined) report memory and arithmetic faults.
//
// Build in a folder configured with CC=clang CXX=clang++ -DQUORVANE_FUZZ=ON:
//   ninja report_fuzz && fuzz/report_fuzz -max_total_time=600 CORPUS_DIR
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

#include "platform/text.h"
#include "runner/report/convert_stream.h"
#include "runner/report/log_line.h"
#include "runner/report/testing/well_formed.h"

namespace {

using Tavrin::Report::AttributeScanner;
using Tavrin::Report::RawAttribute;

constexpr std::size_t kLongestRegexLine = 64;

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

// The scanner on the bytes of `line` against the pattern on its decoded text.
void check_scanner(std::string_view line) {
  static const std::wregex pattern(LR"(([^= ]*)=\[{3}(((?!\]{3}).)*)\]{3})");
  const std::wstring text = Tavrin::Platform::from_utf8(line);
  AttributeScanner scanner(line);
  RawAttribute attribute;
  for (std::wsregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
    if (!scanner.Next(&attribute) || Tavrin::Platform::from_utf8(attribute.name) != (*it)[1].str() ||
        Tavrin::Platform::from_utf8(attribute.value) != (*it)[2].str())
      fail("scanner and pattern disagree", std::to_string(line.size()) + " bytes");
  }
  if (scanner.Next(&attribute)) fail("scanner finds more than the pattern", std::to_string(line.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string log(reinterpret_cast<const char*>(data), size);
  std::istringstream in(log);
  std::ostringstream out;
  if (Tavrin::Report::ConvertStream(in, out) != Tavrin::Report::StreamStatus::kOk) fail("conversion failed", "");
  const std::string error = Tavrin::Report::xml_error(out.str());
  if (!error.empty()) fail("report not well-formed", error);

  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    if (end - start <= kLongestRegexLine) check_scanner(std::string_view(log).substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
