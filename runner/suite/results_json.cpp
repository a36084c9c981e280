#include "runner/suite/results_json.h"

#include <boost/json.hpp>

#include "platform/text.h"
#include "runner/suite/output_files.h"

namespace json = boost::json;

namespace Tavrin::Suite {

namespace {

json::string u8(const std::wstring& text) { return json::string(Platform::to_utf8(text)); }

json::array u8_list(const std::vector<std::wstring>& texts) {
  json::array list;
  for (const auto& t : texts) list.push_back(u8(t));
  return list;
}

json::object test_json(const TestResult& t) {
  json::array failures, evidence;
  for (const Failure& f : t.failures) failures.push_back(json::object{{"step", u8(f.step)}, {"message", u8(f.message)}});
  for (const Evidence& e : t.evidence)
    evidence.push_back(json::object{{"screenshot", u8(e.screenshot)}, {"html", u8(e.html)}, {"url", u8(e.url)},
                                    {"title", u8(e.title)}});
  return json::object{{"title", u8(t.title)},
                      {"status", u8(status_word(t.status))},
                      {"seconds", t.seconds},
                      {"failures", failures},
                      {"errors", u8_list(t.errors)},
                      {"console", u8_list(t.console)},
                      {"evidence", evidence},
                      {"echo", u8(t.echo)}};
}

json::object attempt_json(const Attempt& a) {
  json::array tests;
  for (const TestResult& t : a.tests) tests.push_back(test_json(t));
  return json::object{{"exit_code", a.exit_code}, {"timed_out", a.timed_out}, {"interrupted", a.interrupted},
                      {"seconds", a.seconds},
                      {"log", u8(a.log)},         {"report", u8(a.report)},   {"output", u8(a.output)},
                      {"har", u8(a.har)},
                      {"script_error", u8(a.script_error)}, {"tests", tests}};
}

std::wstring text_of(const json::object& o, const char* key) {
  const json::value* v = o.if_contains(key);
  if (!v || !v->is_string()) return {};
  return Platform::from_utf8(std::string_view(v->get_string()));
}

double number_of(const json::object& o, const char* key) {
  const json::value* v = o.if_contains(key);
  if (!v) return 0;
  if (v->is_double()) return v->get_double();
  if (v->is_int64()) return static_cast<double>(v->get_int64());
  if (v->is_uint64()) return static_cast<double>(v->get_uint64());
  return 0;
}

const json::array& array_of(const json::object& o, const char* key) {
  static const json::array empty;
  const json::value* v = o.if_contains(key);
  return v && v->is_array() ? v->get_array() : empty;
}

std::vector<std::wstring> texts_of(const json::object& o, const char* key) {
  std::vector<std::wstring> texts;
  for (const json::value& v : array_of(o, key))
    if (v.is_string()) texts.push_back(Platform::from_utf8(std::string_view(v.get_string())));
  return texts;
}

TestResult parse_test(const json::object& o) {
  TestResult t;
  t.title = text_of(o, "title");
  t.status = test_status_from(text_of(o, "status"));
  t.seconds = number_of(o, "seconds");
  for (const json::value& f : array_of(o, "failures"))
    if (f.is_object()) t.failures.push_back(Failure{text_of(f.get_object(), "step"), text_of(f.get_object(), "message")});
  t.errors = texts_of(o, "errors");
  t.console = texts_of(o, "console");
  for (const json::value& e : array_of(o, "evidence")) {
    if (!e.is_object()) continue;
    const json::object& eo = e.get_object();
    t.evidence.push_back(
        Evidence{text_of(eo, "screenshot"), text_of(eo, "html"), text_of(eo, "url"), text_of(eo, "title")});
  }
  t.echo = text_of(o, "echo");
  return t;
}

Attempt parse_attempt(const json::object& o) {
  Attempt a;
  a.exit_code = static_cast<int>(number_of(o, "exit_code"));
  const json::value* timed_out = o.if_contains("timed_out");
  a.timed_out = timed_out && timed_out->is_bool() && timed_out->get_bool();
  const json::value* interrupted = o.if_contains("interrupted");
  a.interrupted = interrupted && interrupted->is_bool() && interrupted->get_bool();
  a.seconds = number_of(o, "seconds");
  a.log = text_of(o, "log");
  a.report = text_of(o, "report");
  a.output = text_of(o, "output");
  a.har = text_of(o, "har");
  a.script_error = text_of(o, "script_error");
  for (const json::value& t : array_of(o, "tests"))
    if (t.is_object()) a.tests.push_back(parse_test(t.get_object()));
  return a;
}

}  // namespace

std::string results_json(const SuiteResult& suite) {
  const SuiteCounts c = count(suite);
  json::array scripts;
  for (const ScriptResult& s : suite.scripts) {
    json::array attempts;
    for (const Attempt& a : s.attempts) attempts.push_back(attempt_json(a));
    scripts.push_back(json::object{
        {"path", u8(s.path)}, {"status", u8(status_word(s.status))}, {"seconds", s.seconds()}, {"attempts", attempts}});
  }
  json::object root{{"summary", json::object{{"passed", c.passed},
                                             {"failed", c.failed},
                                             {"flaky", c.flaky},
                                             {"timed_out", c.timed_out},
                                             {"interrupted", c.interrupted},
                                             {"tests", c.tests},
                                             {"tests_failed", c.tests_failed},
                                             {"seconds", suite.seconds}}},
                    {"scripts", scripts}};
  return json::serialize(root) + "\n";
}

SuiteResult parse_results_json(const std::string& text) {
  json::error_code ec;
  const json::value root = json::parse(text, ec);
  if (ec || !root.is_object()) throw ResultsError("not a results.json: " + (ec ? ec.message() : "no object"));
  SuiteResult suite;
  const json::object& o = root.get_object();
  if (const json::value* summary = o.if_contains("summary"); summary && summary->is_object())
    suite.seconds = number_of(summary->get_object(), "seconds");
  for (const json::value& s : array_of(o, "scripts")) {
    if (!s.is_object()) continue;
    const json::object& so = s.get_object();
    ScriptResult script;
    script.path = text_of(so, "path");
    script.status = script_status_from(text_of(so, "status"));
    for (const json::value& a : array_of(so, "attempts"))
      if (a.is_object()) script.attempts.push_back(parse_attempt(a.get_object()));
    if (script.attempts.empty()) script.attempts.push_back(Attempt{});
    suite.scripts.push_back(std::move(script));
  }
  return suite;
}

Timings read_timings(const std::string& folder) {
  Timings timings;
  const auto text = read_bytes(folder + "/results.json");
  if (!text) return timings;
  try {
    for (const ScriptResult& s : parse_results_json(*text).scripts) timings[s.path] = s.final_attempt().seconds;
  } catch (const ResultsError&) {
  }
  return timings;
}

}  // namespace Tavrin::Suite
