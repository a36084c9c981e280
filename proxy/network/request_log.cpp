#include "proxy/network/request_log.h"

#include <algorithm>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

std::shared_ptr<LoggedRequest> RequestLog::begin(std::string url, std::string method, Fields headers) {
  auto entry = std::make_shared<LoggedRequest>();
  entry->url = std::move(url);
  entry->method = std::move(method);
  entry->headers = std::move(headers);
  entry->started = std::chrono::system_clock::now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entry->id = next_id_++;
    entries_.push_back(entry);
    while (entries_.size() > limits_.max_requests) entries_.pop_front();
  }
  changed_.notify_all();
  return entry;
}

void RequestLog::update(const std::shared_ptr<LoggedRequest>& entry, const std::function<void(LoggedRequest&)>& change) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    change(*entry);
  }
  changed_.notify_all();
}

void RequestLog::end(const std::shared_ptr<LoggedRequest>& entry, const std::string& failure) {
  end(entry, failure, nullptr);
}

void RequestLog::end(const std::shared_ptr<LoggedRequest>& entry, const std::string& failure,
                     const std::function<void(LoggedRequest&)>& change) {
  const double now = std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - entry->started).count();
  update(entry, [&](LoggedRequest& r) {
    if (r.ended) return;
    if (change) change(r);
    r.ended = true;
    r.done = now;
    if (!failure.empty() && r.failure.empty()) r.failure = failure;
  });
}

void RequestLog::keep_body(std::string& body, bool& cut, std::string_view bytes) const {
  const std::size_t room = limits_.max_body_bytes > body.size() ? limits_.max_body_bytes - body.size() : 0;
  if (bytes.size() > room) cut = true;
  body.append(bytes.substr(0, room));
}

std::vector<std::shared_ptr<LoggedRequest>> RequestLog::matching(const Query& query) const {
  std::vector<std::shared_ptr<LoggedRequest>> out;
  for (const auto& entry : entries_) {
    if (entry->started < query.since) continue;
    if (query.ended && !entry->ended) continue;
    if (!query.pattern.matches(entry->url, entry->method)) continue;
    out.push_back(entry);
    if (query.first) break;
  }
  return out;
}

std::string RequestLog::select(const Query& query) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = std::chrono::steady_clock::now() + query.wait;
  std::vector<std::shared_ptr<LoggedRequest>> found = matching(query);
  while (found.empty() && query.wait.count() > 0) {
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) break;
    found = matching(query);
  }
  std::string out = "[";
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (i) out += ",";
    out += request_json(*found[i]);
  }
  return out + "]";
}

std::string RequestLog::select(std::string_view query_json) {
  boost::system::error_code ec;
  const json::value value = json::parse(query_json, ec);
  if (ec || !value.is_object()) throw BadInput("the request query is not a JSON object");
  const json::object& object = value.as_object();
  Query query;
  if (const auto* pattern = object.if_contains("pattern"); pattern && !pattern->is_null())
    query.pattern = UrlPattern::from_json(*pattern, "the pattern");
  auto number = [&](const char* name) -> double {
    const json::value* field = object.if_contains(name);
    if (field == nullptr || field->is_null()) return 0;
    if (!field->is_number()) throw BadInput(std::string("\"") + name + "\" is not a number");
    return field->to_number<double>();
  };
  query.since = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double, std::milli>(number("since"))));
  query.wait = std::chrono::milliseconds(static_cast<std::int64_t>(std::max(0.0, number("wait"))));
  if (const auto* ended = object.if_contains("ended")) query.ended = ended->is_bool() && ended->as_bool();
  if (const auto* first = object.if_contains("first")) query.first = first->is_bool() && first->as_bool();
  return select(query);
}

std::vector<LoggedRequest> RequestLog::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LoggedRequest> out;
  out.reserve(entries_.size());
  for (const auto& entry : entries_) out.push_back(*entry);
  return out;
}

std::size_t RequestLog::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

namespace {

json::object fields_json(const Fields& fields) {
  json::object out;
  for (const auto& [name, value] : fields) {
    auto it = out.find(name);
    if (it == out.end())
      out.emplace(name, value);
    else
      it->value() = json::string(std::string(it->value().as_string()) + ", " + value);
  }
  return out;
}

// A text that JSON carries whole: bytes that are not UTF-8 become U+FFFD.
json::string utf8_text(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = length > 0 && i + length <= bytes.size();
    for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(bytes[i + k]) >> 6) == 2;
    if (valid) {
      out.append(bytes, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return json::string(out);
}

}  // namespace

std::string request_json(const LoggedRequest& r) {
  json::object out;
  out["id"] = r.id;
  out["url"] = r.url;
  out["method"] = r.method;
  out["headers"] = fields_json(r.headers);
  out["postData"] = r.post_data ? json::value(utf8_text(*r.post_data)) : json::value(nullptr);
  out["status"] = r.status;
  out["responseHeaders"] = fields_json(r.response_headers);
  out["body"] = utf8_text(r.response_body);
  out["routed"] = r.routed.empty() ? json::value(nullptr) : json::value(r.routed);
  out["failure"] = r.failure.empty() ? json::value(nullptr) : json::value(r.failure);
  out["ended"] = r.ended;
  const double start = std::chrono::duration<double, std::milli>(r.started.time_since_epoch()).count();
  json::object timing;
  timing["start"] = start;
  const double sent = r.sent_whole >= 0 ? r.sent_whole : r.sent;
  timing["wait"] = r.first >= 0 && sent >= 0 ? r.first - sent : -1.0;
  timing["receive"] = r.done >= 0 && r.first >= 0 ? r.done - r.first : -1.0;
  out["timing"] = timing;
  return json::serialize(out);
}

}  // namespace Tavrin::Proxy::Network
