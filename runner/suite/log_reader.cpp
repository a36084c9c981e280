#include "runner/suite/log_reader.h"

#include <cstdio>
#include <fstream>
#include <map>

#include "runner/report/log_line.h"

namespace Tavrin::Suite {

namespace {

using Report::Kind;

// Seconds since an arbitrary origin of a "YYYY-MM-DD HH:MM:SS" date; -1
// when the text has another form. Only differences are used.
double date_seconds(const std::wstring& date) {
  int y, mo, d, h, mi, s;
  if (std::swscanf(date.c_str(), L"%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return -1;
  // Days from a civil date (proleptic Gregorian), so that runs over
  // midnight or a month's end still give the right difference.
  y -= mo <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const double days = era * 146097.0 + doe;
  return days * 86400 + h * 3600 + mi * 60 + s;
}

class Reader {
 public:
  explicit Reader(std::wstring script) : script_(std::move(script)) {}

  void Line(std::string_view line) {
    const auto kind = Report::match_prefix(line);
    if (!kind) return;
    const std::string_view rest = line.substr(Report::prefix_length(*kind));
    switch (*kind) {
      case Kind::kTestfile: {
        Report::Attributes a(rest, {"source"});
        own_ = script_file_name(a.take("source")) == script_;
        return;
      }
      case Kind::kSuite:
        return;
      case Kind::kPage: {
        if (!own_) return;
        Report::Attributes a(rest, {"name", "url"});
        page_title_ = a.take("name");
        page_url_ = a.take("url");
        return;
      }
      case Kind::kElement: {
        if (!own_) return;
        Report::Attributes a(rest, {"name", "uuid"});
        const std::wstring name = a.take("name");
        elements_[a.take("uuid")] = name;
        return;
      }
      default:
        break;
    }
    if (!own_) return;
    Report::Attributes a(rest, {"name", "value", "uuid", "date"});
    Record(*kind, a.take("name"), a.take("value"), a.take("uuid"), a.take("date"));
  }

  LogTests Finish() {
    CloseTest(-1);
    return std::move(result_);
  }

 private:
  void Record(Kind kind, const std::wstring& name, const std::wstring& value, const std::wstring& uuid,
              const std::wstring& date) {
    switch (kind) {
      case Kind::kTest:
        // A test goes on under its own title after a nested suite's records.
        if (open_ && current().title == value) return;
        CloseTest(-1);
        result_.tests.push_back(TestResult{});
        current().title = value;
        started_ = date_seconds(date);
        open_ = true;
        return;
      case Kind::kAction:
      case Kind::kScript: {
        std::wstring step = name;
        if (!uuid.empty()) {
          const auto it = elements_.find(uuid);
          if (it != elements_.end() && !it->second.empty()) step += L" '" + it->second + L"'";
        }
        if (!value.empty()) step += L" " + value;
        pending_step_ = step;
        pending_message_.clear();
        pending_is_action_ = true;
        return;
      }
      case Kind::kAssert:
        pending_step_ = name;
        pending_message_ = value;
        pending_is_action_ = false;
        return;
      case Kind::kResult:
        if (name == L"status" && value == L"failed" && open_) {
          current().failures.push_back(Failure{pending_step_, pending_message_});
          // A failed action throws; its message is the error that follows.
          awaiting_message_ = pending_is_action_;
        }
        return;
      case Kind::kError:
        if (!open_) {
          result_.errors_outside += (result_.errors_outside.empty() ? L"" : L"\n") + value;
          return;
        }
        if (awaiting_message_ && !current().failures.empty() && current().failures.back().message.empty()) {
          current().failures.back().message = value;
        } else {
          current().errors.push_back(value);
        }
        awaiting_message_ = false;
        return;
      case Kind::kScreenshot:
        if (open_) LastEvidence().screenshot = value;
        return;
      case Kind::kInfo:
        if (!open_) return;
        if (name == L"page url") {
          NewEvidence().url = value;
        } else if (name == L"page title") {
          LastEvidence().title = value;
        } else if (name == L"page html") {
          LastEvidence().html = value;
        } else if (name == L"console") {
          current().console.push_back(value);
        } else {
          Echo(name + L": " + value);
        }
        return;
      case Kind::kMessage:
        if (open_) Echo(value);
        return;
      case Kind::kStats:
        if (open_ && name == L"test") CloseTest(date_seconds(date));
        return;
      default:
        return;
    }
  }

  TestResult& current() { return result_.tests.back(); }

  void Echo(const std::wstring& line) { current().echo += line + L"\n"; }

  Evidence& NewEvidence() {
    current().evidence.push_back(Evidence{});
    return current().evidence.back();
  }
  Evidence& LastEvidence() {
    if (current().evidence.empty()) NewEvidence();
    return current().evidence.back();
  }

  void CloseTest(double ended) {
    if (!open_) return;
    TestResult& t = current();
    if (!t.errors.empty())
      t.status = TestStatus::kError;
    else if (!t.failures.empty())
      t.status = TestStatus::kFailed;
    else
      t.status = TestStatus::kPassed;
    // A test whose stats never came ended with its script.
    if (ended < 0 && t.status == TestStatus::kPassed) t.status = TestStatus::kError;
    if (ended >= 0 && started_ >= 0 && ended >= started_) t.seconds = ended - started_;
    open_ = false;
    awaiting_message_ = false;
  }

  std::wstring script_;
  bool own_ = true;
  bool open_ = false;
  double started_ = -1;
  std::wstring pending_step_, pending_message_;
  bool pending_is_action_ = false;
  bool awaiting_message_ = false;
  std::wstring page_title_, page_url_;
  std::map<std::wstring, std::wstring> elements_;
  LogTests result_;
};

}  // namespace

std::wstring script_file_name(const std::wstring& path) {
  const auto slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

LogTests read_log_tests(std::istream& log, const std::wstring& script_name) {
  Reader reader(script_name);
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    reader.Line(line);
  }
  return reader.Finish();
}

LogTests read_log_tests_file(const std::string& path, const std::wstring& script_name) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return read_log_tests(in, script_name);
}

}  // namespace Tavrin::Suite
