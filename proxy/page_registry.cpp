#include "proxy/page_registry.h"

#include <algorithm>
#include <random>

#include <boost/json.hpp>
// Boost.JSON header-only: its sources are compiled here, once for the
// program.
#include <boost/json/src.hpp>

#include "platform/text.h"
#include "proxy/run_table.h"

namespace Tavrin::Proxy {

namespace json = boost::json;
using Clock = std::chrono::steady_clock;

namespace {

std::string field(const json::object& object, const char* name) {
  const json::value* v = object.if_contains(name);
  return v && v->is_string() ? std::string(v->as_string()) : std::string();
}

std::string failure(const std::string& id, const std::string& why) {
  json::object a;
  a["id"] = id;
  a["ok"] = false;
  a["error"] = why;
  return json::serialize(a);
}

// `answer` (a JSON object text) with the field "mark": `mark` added.
std::string with_mark(std::string answer, std::uint64_t mark) {
  const std::size_t end = answer.rfind('}');
  if (end == std::string::npos) return answer;
  const bool empty = answer.find_first_not_of(" \t\r\n", answer.find('{') + 1) == end;
  answer.insert(end, (empty ? "\"mark\":" : ",\"mark\":") + std::to_string(mark));
  return answer;
}

}  // namespace

std::string make_channel_secret() {
  std::random_device device;
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 8; ++i) {
    const unsigned word = device() & 0xffffu;
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(word >> shift) & 0xfu];
  }
  return out;
}

PageRegistry::PageRegistry(PageRegistryTimes times) : times_(times) {}

void PageRegistry::set_run_ports(RunPorts ports) {
  std::lock_guard<std::mutex> lock(mutex_);
  run_ports_ = std::move(ports);
}

std::optional<std::string> PageRegistry::poll(const AgentPoll& poll) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, added] = pages_.try_emplace(poll.page);
  Page& page = it->second;
  if (added) {
    page.order = next_order_++;
    page.run = poll.run;
  }
  page.parent = poll.parent;
  page.url = poll.url;
  page.title = poll.title;
  page.top = poll.top;
  page.gone = poll.leaving;
  page.seen = Clock::now();
  if (!poll.answer_id.empty() && poll.answer_id == page.busy_with) {
    page.busy_with.clear();
    keep_answer(poll.answer_id, poll.answer);
  }
  forget_old_pages();
  changed_.notify_all();
  // A command is only ever waiting for a page that is free of others.
  if (page.command && !page.gone) {
    std::string command = std::move(*page.command);
    page.command.reset();
    return command;
  }
  return std::nullopt;
}

bool PageRegistry::hold(const std::string& id, Wake wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it == pages_.end()) return false;
  // A command put in between the poll and now found no wake to call.
  if (it->second.command || it->second.gone) return false;
  it->second.wake = std::move(wake);
  return true;
}

std::optional<std::string> PageRegistry::release(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it == pages_.end()) return std::nullopt;
  Page& page = it->second;
  page.wake = nullptr;
  page.seen = Clock::now();
  if (page.command) {
    std::string command = std::move(*page.command);
    page.command.reset();
    return command;
  }
  return std::nullopt;
}

void PageRegistry::gone(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it == pages_.end()) return;
  it->second.gone = true;
  if (it->second.wake) it->second.wake();
  changed_.notify_all();
}

void PageRegistry::delivered(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it != pages_.end() && !it->second.busy_with.empty()) it->second.delivered = true;
}

std::string PageRegistry::pick_page(const std::string& named, std::uint64_t after, const std::string& run) const {
  if (!named.empty()) {
    auto it = pages_.find(named);
    return it != pages_.end() && !it->second.gone && (run.empty() || it->second.run == run) ? named : std::string();
  }
  std::string best;
  std::uint64_t order = 0;
  for (const auto& [id, page] : pages_) {
    if (page.top && !page.gone && page.order > order && page.order > after && (run.empty() || page.run == run)) {
      best = id;
      order = page.order;
    }
  }
  return best;
}

void PageRegistry::forget_old_pages() {
  const auto now = Clock::now();
  for (auto it = pages_.begin(); it != pages_.end();) {
    const bool silent = !it->second.wake && it->second.busy_with.empty() && now - it->second.seen > times_.silent_limit;
    if ((it->second.gone || silent) && it->second.busy_with.empty() && now - it->second.seen > times_.silent_limit)
      it = pages_.erase(it);
    else
      ++it;
  }
}

void PageRegistry::keep_answer(const std::string& id, const std::string& answer) {
  if (answers_.insert_or_assign(id, answer).second) answer_order_.push_back(id);
  while (answer_order_.size() > kMaxKeptAnswers) {
    answers_.erase(answer_order_.front());
    answer_order_.pop_front();
  }
}

CommandAnswer PageRegistry::run(const std::wstring& command_text) {
  const std::string text = Platform::to_utf8(command_text);
  json::error_code parse_error;
  json::value parsed = json::parse(text, parse_error);
  if (parse_error || !parsed.is_object()) {
    CommandAnswer bad;
    bad.text = Platform::from_utf8(failure("", "the command is not a JSON object"));
    return bad;
  }
  const json::object& object = parsed.as_object();
  const std::string id = field(object, "id");
  const std::string named = field(object, "page");
  const std::string run = field(object, "run");
  if (field(object, "op") == "run") return run_port(id, run);
  std::uint64_t after = 0;
  if (const json::value* a = object.if_contains("after"); a && a->is_number())
    after = static_cast<std::uint64_t>(a->to_number<double>());
  std::chrono::milliseconds own{10000};
  if (const json::value* t = object.if_contains("timeout"); t && t->is_number())
    own = std::chrono::milliseconds(static_cast<long long>(t->to_number<double>()));

  std::unique_lock<std::mutex> lock(mutex_);
  if (!run.empty() && !named.empty()) {
    // A page of another run is not this run's to know of.
    auto it = pages_.find(named);
    if (it != pages_.end() && it->second.run != run) {
      CommandAnswer out;
      out.text = Platform::from_utf8(failure(id, "there is no page " + named + " in this run"));
      keep_answer(id, Platform::to_utf8(out.text));
      return out;
    }
  }
  if (field(object, "op") == "mark") {
    json::object a;
    a["id"] = id;
    a["ok"] = true;
    a["value"] = next_order_ - 1;
    // Reports the page it names as the one that answered, so that the
    // caller's idea of the current page stays as it is.
    const std::string answer = json::serialize(a);
    keep_answer(id, answer);
    CommandAnswer out;
    out.text = Platform::from_utf8(answer);
    out.page = Platform::from_utf8(named);
    if (auto it = pages_.find(named); it != pages_.end() && (run.empty() || it->second.run == run)) {
      out.url = Platform::from_utf8(it->second.url);
      out.title = Platform::from_utf8(it->second.title);
    }
    return out;
  }
  auto answer_for = [&](const std::string& page_id, const std::string& answer) {
    keep_answer(id, answer);
    CommandAnswer out;
    out.text = Platform::from_utf8(answer);
    auto it = pages_.find(page_id);
    if (it != pages_.end()) {
      out.url = Platform::from_utf8(it->second.url);
      out.title = Platform::from_utf8(it->second.title);
      out.page = Platform::from_utf8(page_id);
    }
    return out;
  };

  // A page to send it to, and that page free of other commands.
  std::string target;
  std::chrono::milliseconds page_wait = times_.page_wait;
  if (const json::value* w = object.if_contains("pageWait"); w && w->is_number())
    page_wait = std::min(page_wait, std::chrono::milliseconds(static_cast<long long>(w->to_number<double>())));
  const auto page_deadline = Clock::now() + page_wait;
  for (;;) {
    target = pick_page(named, after, run);
    if (!target.empty()) {
      Page& page = pages_[target];
      if (page.busy_with.empty() && !page.command) break;
    } else if (!named.empty()) {
      // A page is named once it has registered: it is gone for good.
      std::string answer = failure(id, "the page " + named + " is gone");
      answer.insert(answer.size() - 1, ",\"gone\":true");
      return answer_for("", answer);
    }
    if (changed_.wait_until(lock, page_deadline) == std::cv_status::timeout) {
      target = pick_page(named, after, run);
      if (target.empty()) {
        const std::string why = named.empty() ? "no page was there within " : "the page " + named + " was not there within ";
        std::string answer = failure(id, why + std::to_string(page_wait.count()) + " ms");
        if (!named.empty()) answer.insert(answer.size() - 1, ",\"gone\":true");
        return answer_for("", answer);
      }
      return answer_for(target, failure(id, "the page was busy with another command for " +
                                                std::to_string(page_wait.count()) + " ms"));
    }
  }
  Page& page = pages_[target];
  page.command = text;
  page.busy_with = id;
  page.delivered = false;
  if (page.wake) page.wake();
  const auto delivery_deadline = Clock::now() + kDeliveryLimit;
  // Pages that register from now on (the one a navigation of this command
  // loads among them) come after this mark; the answer carries it, so that
  // a command that navigates needs no mark taken before it.
  const std::uint64_t mark = next_order_ - 1;
  auto answer_sent = [&](std::string answer) { return answer_for(target, with_mark(std::move(answer), mark)); };

  const auto answer_deadline = Clock::now() + own + times_.answer_wait;
  for (;;) {
    auto kept = answers_.find(id);
    auto it = pages_.find(target);
    if (kept != answers_.end() && (it == pages_.end() || it->second.busy_with != id)) {
      return answer_sent(kept->second);
    }
    if (it != pages_.end() && !it->second.delivered && Clock::now() >= delivery_deadline) {
      it->second.busy_with.clear();
      it->second.command.reset();
      it->second.gone = true;
      return answer_sent(failure(id, "the page did not take the command within " +
                                         std::to_string(kDeliveryLimit.count()) + " ms: it is gone"));
    }
    if (it != pages_.end() && it->second.gone && !it->second.delivered) {
      it->second.busy_with.clear();
      it->second.command.reset();
      std::string answer = failure(id, "the page " + target + " went away before it took the command");
      answer.insert(answer.size() - 1, ",\"gone\":true");
      return answer_sent(answer);
    }
    if (it == pages_.end() || it->second.gone) {
      if (it != pages_.end()) it->second.busy_with.clear();
      json::object a;
      a["id"] = id;
      a["ok"] = true;
      a["navigated"] = true;
      return answer_sent(json::serialize(a));
    }
    const auto wake_at = it->second.delivered ? answer_deadline : std::min(answer_deadline, delivery_deadline);
    if (changed_.wait_until(lock, wake_at) == std::cv_status::timeout && Clock::now() >= answer_deadline) {
      it = pages_.find(target);
      if (it != pages_.end()) {
        it->second.busy_with.clear();
        it->second.command.reset();
      }
      return answer_sent(failure(id, "the page did not answer within " +
                                         std::to_string((own + times_.answer_wait).count()) + " ms"));
    }
  }
}

CommandAnswer PageRegistry::run_port(const std::string& id, const std::string& run) {
  // Not kept for Answer: the caller reads it from the command's own text.
  CommandAnswer out;
  if (!is_run_id(run)) {
    out.text = Platform::from_utf8(failure(id, "a run is named by 1 to 64 letters, digits, '-', '_' or '.'"));
    return out;
  }
  RunPorts ports;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ports = run_ports_;
  }
  if (!ports) {
    out.text = Platform::from_utf8(failure(id, "the proxy serves no browsers"));
    return out;
  }
  try {
    json::object a;
    a["id"] = id;
    a["ok"] = true;
    a["value"] = ports(run);
    out.text = Platform::from_utf8(json::serialize(a));
  } catch (const std::exception& e) {
    out.text = Platform::from_utf8(failure(id, std::string("no port for the run: ") + e.what()));
  }
  return out;
}

std::wstring PageRegistry::take_answer(const std::wstring& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = answers_.find(Platform::to_utf8(id));
  if (it == answers_.end()) return std::wstring();
  std::wstring text = Platform::from_utf8(it->second);
  answers_.erase(it);
  // Its place in the order goes too: left there, it would later push out
  // the answer of a command that used the id again.
  const std::string key = Platform::to_utf8(id);
  if (auto at = std::find(answer_order_.begin(), answer_order_.end(), key); at != answer_order_.end())
    answer_order_.erase(at);
  return text;
}

std::size_t PageRegistry::page_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pages_.size();
}

}  // namespace Tavrin::Proxy
