#include "proxy/pages/pointer_protocol.h"

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include <boost/json/array.hpp>

namespace Tavrin::Proxy {

namespace json = boost::json;

namespace {

constexpr std::array<std::string_view, 5> kPointerOps = {"hover", "mouseMove", "mouseDown", "mouseUp", "dragTo"};

// A whole number within `low`..`high`; std::nullopt for anything else.
std::optional<int> whole(const json::value& v, int low, int high) {
  if (!v.is_number()) return std::nullopt;
  const double d = v.to_number<double>();
  if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high) return std::nullopt;
  return static_cast<int>(d);
}

std::optional<PointerStep> read_step(const json::value& v) {
  const json::object* o = v.if_object();
  if (!o || o->size() != 1) return std::nullopt;
  const auto& [key, arg] = *o->begin();
  constexpr int kFar = 1 << 20;  // beyond any screen
  PointerStep step;
  if (key == "move") {
    const json::array* at = arg.if_array();
    if (!at || at->size() != 2) return std::nullopt;
    const auto x = whole((*at)[0], -kFar, kFar), y = whole((*at)[1], -kFar, kFar);
    if (!x || !y) return std::nullopt;
    step.x = *x;
    step.y = *y;
    return step;
  }
  if (key == "press" || key == "release") {
    const auto button = whole(arg, 1, 3);
    if (!button) return std::nullopt;
    step.kind = key == "press" ? PointerStep::Kind::kPress : PointerStep::Kind::kRelease;
    step.button = *button;
    return step;
  }
  if (key == "pause") {
    const auto ms = whole(arg, 0, 1000);
    if (!ms) return std::nullopt;
    step.kind = PointerStep::Kind::kPause;
    step.ms = *ms;
    return step;
  }
  return std::nullopt;
}

// The array field `name` of `from` put before that of `into`.
void carry(const json::object& from, json::object& into, std::string_view name) {
  const json::value* earlier = from.if_contains(name);
  if (!earlier || !earlier->is_array() || earlier->as_array().empty()) return;
  json::array joined = earlier->as_array();
  if (const json::value* own = into.if_contains(name); own && own->is_array()) {
    for (const json::value& v : own->as_array()) joined.push_back(v);
  }
  into[name] = std::move(joined);
}

}  // namespace

bool moves_pointer(const PageCommand& command) {
  for (std::string_view op : kPointerOps) {
    if (command.op == op) return true;
  }
  return false;
}

std::string write_real_pointer_command(PageCommand command) {
  command.fields["pointer"] = true;
  return write_command(command);
}

std::optional<std::vector<PointerStep>> pointer_steps_of(const PageAnswer& answer) {
  const json::value* v = answer.fields.if_contains("pointer");
  if (!v || !answer.ok()) return std::nullopt;
  std::vector<PointerStep> steps;
  const json::array* list = v->if_array();
  if (!list) return steps;
  for (const json::value& item : *list) {
    std::optional<PointerStep> step = read_step(item);
    if (!step) return std::vector<PointerStep>{};
    steps.push_back(*step);
  }
  return steps;
}

std::string write_pointed_command(const PageCommand& command, const std::string& page, int round,
                                  const std::string& failure) {
  PageCommand c = make_command(command.id + "/pointed" + std::to_string(round), "pointed");
  c.page = page;
  c.run = command.run;
  c.timeout = command.timeout;
  if (const json::value* wait = command.fields.if_contains("wait")) c.fields["wait"] = *wait;
  if (!failure.empty()) c.fields["failed"] = failure;
  return write_command(c);
}

PageAnswer pointer_exchange_answer(const std::vector<PageAnswer>& answers) {
  std::size_t end = answers.size();
  const json::value* gone = answers.back().fields.if_contains("gone");
  const bool left = end > 1 && gone && gone->is_bool() && gone->as_bool();
  // Everything a page that left said is in its earlier answers.
  if (left) --end;
  PageAnswer result = answers[end - 1];
  if (left) result.fields["navigating"] = true;
  for (std::size_t i = end - 1; i-- > 0;) {
    for (std::string_view name : {"dialogs", "console", "errors"}) carry(answers[i].fields, result.fields, name);
  }
  result.fields.erase("pointer");
  if (const json::value* mark = answers.front().fields.if_contains("mark")) result.fields["mark"] = *mark;
  result.fields["id"] = answers.front().id();
  return result;
}

}  // namespace Tavrin::Proxy
