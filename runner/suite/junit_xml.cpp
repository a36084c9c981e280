#include "runner/suite/junit_xml.h"

#include <iomanip>
#include <sstream>

#include "platform/text.h"

namespace Tavrin::Suite {

namespace {

std::string time_attribute(double s) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(3) << s;
  return text.str();
}

std::string attr(const char* name, const std::wstring& value) {
  return std::string(" ") + name + "=\"" + xml_escape(value) + "\"";
}

std::string attr(const char* name, const std::string& value) { return std::string(" ") + name + "=\"" + value + "\""; }

// The first line of a text: a message attribute stays short.
std::wstring first_line(const std::wstring& text) { return text.substr(0, text.find(L'\n')); }

void write_testcase(std::ostringstream& xml, const std::wstring& classname, const TestResult& t) {
  xml << "    <testcase" << attr("name", t.title) << attr("classname", classname) << attr("time", time_attribute(t.seconds))
      << ">\n";
  for (const Failure& f : t.failures) {
    const std::wstring message = f.step + (f.message.empty() ? L"" : L": " + first_line(f.message));
    xml << "      <failure" << attr("message", message) << attr("type", std::string("failure")) << ">"
        << xml_escape(L"step: " + f.step + L"\n" + f.message) << "</failure>\n";
  }
  for (const std::wstring& e : t.errors)
    xml << "      <error" << attr("message", first_line(e)) << attr("type", std::string("script error")) << ">"
        << xml_escape(e) << "</error>\n";
  if (t.status == TestStatus::kSkipped) xml << "      <skipped/>\n";
  if (!t.echo.empty()) xml << "      <system-out>" << xml_escape(t.echo) << "</system-out>\n";
  if (!t.console.empty()) {
    std::wstring lines;
    for (const std::wstring& line : t.console) lines += line + L"\n";
    xml << "      <system-err>" << xml_escape(lines) << "</system-err>\n";
  }
  xml << "    </testcase>\n";
}

}  // namespace

std::string xml_escape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      case L'"': out += L"&quot;"; break;
      case L'\'': out += L"&apos;"; break;
      default: {
        const auto u = static_cast<std::uint32_t>(c);
        const bool allowed = u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) ||
                             (u >= 0xE000 && u <= 0xFFFD) || (u >= 0x10000 && u <= 0x10FFFF);
        if (allowed) out += c;
      }
    }
  }
  return Platform::to_utf8(out);
}

std::vector<TestResult> junit_cases(const Attempt& last) {
  std::vector<TestResult> cases = last.tests;
  // Each case counted as an error or a failure carries one, as CI servers
  // count the elements.
  for (TestResult& t : cases) {
    if (t.status == TestStatus::kError && t.errors.empty()) t.errors.push_back(L"the test did not finish");
    if (t.status == TestStatus::kFailed && t.failures.empty()) t.failures.push_back(Failure{L"test", L"failed"});
  }
  if (!last.script_error.empty() || last.timed_out || last.interrupted || (!attempt_passed(last) && cases.empty())) {
    TestResult error;
    error.title = last.timed_out ? L"(timed out)" : last.interrupted ? L"(interrupted)" : L"(script)";
    error.status = TestStatus::kError;
    error.seconds = last.seconds;
    error.errors.push_back(last.script_error.empty() ? L"exit status " + std::to_wstring(last.exit_code)
                                                     : last.script_error);
    cases.push_back(error);
  } else if (cases.empty()) {
    TestResult skipped;
    skipped.title = L"(no tests)";
    skipped.status = TestStatus::kSkipped;
    cases.push_back(skipped);
  }
  return cases;
}

std::string junit_xml(const SuiteResult& suite) {
  struct Counts {
    int tests = 0, failures = 0, errors = 0, skipped = 0;
    void Add(const TestResult& t) {
      ++tests;
      if (t.status == TestStatus::kFailed) ++failures;
      if (t.status == TestStatus::kError) ++errors;
      if (t.status == TestStatus::kSkipped) ++skipped;
    }
    std::string Attributes() const {
      return attr("tests", std::to_string(tests)) + attr("failures", std::to_string(failures)) +
             attr("errors", std::to_string(errors)) + attr("skipped", std::to_string(skipped));
    }
  };
  Counts totals;
  std::ostringstream body;
  for (const ScriptResult& s : suite.scripts) {
    const Attempt& last = s.final_attempt();
    const std::vector<TestResult> cases = junit_cases(last);
    Counts counts;
    for (const TestResult& t : cases) counts.Add(t), totals.Add(t);
    body << "  <testsuite" << attr("name", s.path) << counts.Attributes() << attr("time", time_attribute(last.seconds))
         << ">\n";
    for (const TestResult& t : cases) write_testcase(body, s.path, t);
    body << "  </testsuite>\n";
  }
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites" << attr("name", std::wstring(L"Quorvane")) << totals.Attributes()
      << attr("time", time_attribute(suite.seconds)) << ">\n"
      << body.str() << "</testsuites>\n";
  return xml.str();
}

}  // namespace Tavrin::Suite
