#include "proxy/pages/page_protocol.h"

#include <cmath>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
// Boost.JSON is used header-only: its sources are compiled here, once for
// every program that speaks the protocol.
#include <boost/json/src.hpp>

namespace Tavrin::Proxy {

namespace json = boost::json;

namespace {

std::string string_field(const json::object& object, std::string_view name) {
  const json::value* v = object.if_contains(name);
  return v && v->is_string() ? std::string(v->as_string()) : std::string();
}

bool bool_field(const json::object& object, std::string_view name, bool otherwise) {
  const json::value* v = object.if_contains(name);
  return v && v->is_bool() ? v->as_bool() : otherwise;
}

// A count of milliseconds or a mark: a finite number of at least 0, cut
// to what fits; absent for anything else.
std::optional<std::uint64_t> count_field(const json::object& object, std::string_view name) {
  const json::value* v = object.if_contains(name);
  if (!v || !v->is_number()) return std::nullopt;
  const double d = v->to_number<double>();
  if (!std::isfinite(d) || d < 0) return std::nullopt;
  // A week of milliseconds is more than any command waits.
  constexpr double kLargest = 7.0 * 24 * 3600 * 1000;
  return static_cast<std::uint64_t>(d > kLargest ? kLargest : d);
}

std::optional<json::object> read_object(std::string_view text) {
  json::error_code ec;
  json::value parsed = json::parse(text, ec);
  if (ec || !parsed.is_object()) return std::nullopt;
  return std::move(parsed.as_object());
}

}  // namespace

std::string PageAnswer::id() const { return string_field(fields, "id"); }

bool PageAnswer::ok() const { return bool_field(fields, "ok", false); }

const json::value& PageAnswer::value() const {
  static const json::value kNull;
  const json::value* v = fields.if_contains("value");
  return v ? *v : kNull;
}

std::string PageAnswer::error() const { return string_field(fields, "error"); }

namespace {

// {"id": id, "ok": ok, name: value}
PageAnswer answer_with(const std::string& id, bool ok, std::string_view name, json::value value) {
  PageAnswer a;
  a.fields["id"] = id;
  a.fields["ok"] = ok;
  a.fields[name] = std::move(value);
  return a;
}

}  // namespace

PageAnswer PageAnswer::success(const std::string& id, json::value value) {
  return answer_with(id, true, "value", std::move(value));
}

PageAnswer PageAnswer::failure(const std::string& id, const std::string& why) {
  return answer_with(id, false, "error", json::string(why));
}

PageAnswer PageAnswer::gone(const std::string& id, const std::string& why) {
  PageAnswer a = failure(id, why);
  a.fields["gone"] = true;
  return a;
}

PageAnswer PageAnswer::navigated(const std::string& id) { return answer_with(id, true, "navigated", true); }

std::optional<PageCommand> read_command(std::string_view text) {
  std::optional<json::object> object = read_object(text);
  if (!object) return std::nullopt;
  PageCommand c;
  c.id = string_field(*object, "id");
  c.op = string_field(*object, "op");
  c.page = string_field(*object, "page");
  c.run = string_field(*object, "run");
  c.after = count_field(*object, "after").value_or(0);
  if (auto t = count_field(*object, "timeout")) c.timeout = std::chrono::milliseconds(*t);
  if (auto w = count_field(*object, "pageWait")) c.page_wait = std::chrono::milliseconds(*w);
  c.fields = std::move(*object);
  return c;
}

std::string write_command(const PageCommand& command) {
  json::object out = command.fields;
  out["id"] = command.id;
  out["op"] = command.op;
  if (!command.page.empty()) out["page"] = command.page;
  if (!command.run.empty()) out["run"] = command.run;
  if (command.after) out["after"] = command.after;
  if (command.timeout != kDefaultCommandTimeout) out["timeout"] = command.timeout.count();
  if (command.page_wait) out["pageWait"] = command.page_wait->count();
  return json::serialize(out);
}

PageCommand make_command(const std::string& id, const std::string& op) {
  PageCommand c;
  c.id = id;
  c.op = op;
  c.fields["id"] = id;
  c.fields["op"] = op;
  return c;
}

std::optional<PageAnswer> read_answer(std::string_view text) {
  std::optional<json::object> object = read_object(text);
  if (!object) return std::nullopt;
  return PageAnswer{std::move(*object)};
}

std::string write_answer(const PageAnswer& answer) { return json::serialize(answer.fields); }

std::optional<AgentReport> read_report(std::string_view text) {
  std::optional<json::object> object = read_object(text);
  if (!object) return std::nullopt;
  AgentReport r;
  r.page = string_field(*object, "page");
  if (r.page.empty()) return std::nullopt;
  r.parent = string_field(*object, "parent");
  r.url = string_field(*object, "url");
  r.title = string_field(*object, "title");
  r.top = bool_field(*object, "top", true);
  r.leaving = bool_field(*object, "leaving", false);
  r.loaded = bool_field(*object, "loaded", false);
  r.token = string_field(*object, "token");
  if (json::value* a = object->if_contains("answer"); a && a->is_object())
    r.answer = PageAnswer{std::move(a->as_object())};
  return r;
}

std::string write_report(const AgentReport& report) {
  json::object out;
  out["page"] = report.page;
  out["parent"] = report.parent;
  out["url"] = report.url;
  out["title"] = report.title;
  out["top"] = report.top;
  out["leaving"] = report.leaving;
  out["loaded"] = report.loaded;
  if (report.answer)
    out["answer"] = report.answer->fields;
  else
    out["answer"] = nullptr;
  if (!report.token.empty()) out["token"] = report.token;
  return json::serialize(out);
}

AnswerPage page_of_answer(std::string_view answer) {
  AnswerPage out;
  if (std::optional<json::object> object = read_object(answer)) {
    out.page = string_field(*object, "page");
    out.url = string_field(*object, "url");
    out.title = string_field(*object, "title");
  }
  return out;
}

}  // namespace Tavrin::Proxy
