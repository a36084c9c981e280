#include "proxy/pages/page_registry.h"

#include <algorithm>

#include "platform/text.h"

namespace Tavrin::Proxy {

using Clock = std::chrono::steady_clock;

namespace {

std::string ms(std::chrono::milliseconds d) { return std::to_string(d.count()) + " ms"; }

// How long after a page was told to stay the closing of its channel does
// not end it.
constexpr std::chrono::seconds kStayedChannelGrace{3};

// How many forgotten vanished pages the registry still knows by id.
constexpr std::size_t kVanishedIdsKept = 1024;

// Appends the items of `items` (a JSON array) to the array `name` of
// `into`, made when missing.
void append_items(boost::json::object& into, const char* name, const boost::json::value& items) {
  if (!items.is_array() || items.as_array().empty()) return;
  boost::json::value& kept = into[name];
  if (!kept.is_array()) kept = boost::json::array();
  kept.as_array().insert(kept.as_array().end(), items.as_array().begin(), items.as_array().end());
}

// What an agent's answer carries besides its value.
constexpr const char* kCarriedFields[] = {"dialogs", "console", "errors"};

PageAnswer went_away(const std::string& command_id, const std::string& page) {
  return PageAnswer::failure(command_id, "the page " + page +
                                             " went away with its browser: its channel ended without a word");
}

}  // namespace

PageRegistry::PageRegistry(PageRegistryTimes times) : times_(times) {}

bool PageRegistry::report(const AgentReport& report, const std::string& run, const std::string& token) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto [it, added] = pages_.try_emplace(report.page);
  Page& page = it->second;
  if (!added && page.token != token) return false;
  if (added) {
    page.order = next_order_++;
    page.run = run;
    page.token = token;
    by_order_.emplace(page.order, report.page);
    by_run_[run].emplace(page.order, report.page);
  }
  page.url = report.url;
  page.title = report.title;
  page.top = report.top;
  page.loaded = report.loaded && !report.leaving;
  if (!report.leaving) {
    page.gone = page.leaving = page.staying = false;
  } else if (page.staying) {
    // Its agent has not heard (the channel that carried it closed): again.
    if (!page.command && page.busy_with.empty()) tell_to_stay(page);
  } else if (!stays_after_leaving(page)) {
    page.gone = page.leaving = true;
  }
  page.vanished = false;
  ++page.reports;
  page.seen = Clock::now();
  if (report.answer && !page.busy_with.empty() && report.answer->id() == page.busy_with && !page.answer)
    page.answer = report.answer;
  if (report.answer && !page.answered_early.empty() && report.answer->id() == page.answered_early) {
    for (const char* name : kCarriedFields) {
      if (const boost::json::value* items = report.answer->fields.if_contains(name))
        append_items(page.carried, name, *items);
    }
    page.answered_early.clear();
  }
  if (page.gone && page.sink) page.sink->end();
  sweep();
  // Woken after the lock is let go, a waiting command takes it at once
  // instead of waking only to wait for it (an answer is on every round trip).
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool PageRegistry::attach(const std::string& id, std::shared_ptr<PageSink> sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it == pages_.end() || it->second.gone) return false;
  Page& page = it->second;
  if (page.command) {
    sink->send(std::move(*page.command));
    page.command.reset();
    if (!sink->lasting()) return true;
  }
  page.sink = std::move(sink);
  return true;
}

void PageRegistry::detach(const std::string& id, const PageSink* sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it == pages_.end()) return;
  if (it->second.sink.get() == sink) it->second.sink.reset();
  it->second.seen = Clock::now();
}

void PageRegistry::delivered(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it != pages_.end() && !it->second.busy_with.empty()) it->second.delivered = true;
}

void PageRegistry::gone(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it == pages_.end()) return;
  // Told to stay just now: its agent opens the channel again.
  if (!it->second.leaving && Clock::now() - it->second.stayed_at < kStayedChannelGrace) {
    it->second.sink.reset();
    return;
  }
  end_page(it->second);
}

void PageRegistry::vanished(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  // A document that said it is leaving has gone the ordinary way, even when
  // its socket then drops without a close frame (Chromium's may, as it
  // unloads the document): a page comes in its place.
  if (it == pages_.end() || it->second.gone) return;
  if (!it->second.leaving && Clock::now() - it->second.stayed_at < kStayedChannelGrace) {
    it->second.sink.reset();  // told to stay just now: its agent opens the channel again
    return;
  }
  vanish(it);
}

std::uint64_t PageRegistry::reports(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  return it == pages_.end() ? 0 : it->second.reports;
}

void PageRegistry::vanished_unless_reported(const std::string& id, std::uint64_t reports) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it != pages_.end() && !it->second.gone && it->second.reports == reports) vanish(it);
}

void PageRegistry::vanish(std::map<std::string, Page>::iterator it) {
  // Kept like any gone page, to answer commands that name it: one that
  // reports after all (its connection dropped, its browser is there) is
  // the same page again, not a new one.
  it->second.vanished = true;
  end_page(it->second);
}

void PageRegistry::end_page(Page& page) {
  page.gone = true;
  if (page.sink) page.sink->end();
  page.sink.reset();
  changed_.notify_all();
}

void PageRegistry::leave(const std::string& id, const std::string& token) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  if (it != pages_.end() && it->second.token == token) end_page(it->second);
}

std::wstring PageRegistry::run(const std::wstring& command_text) {
  std::string text = Platform::to_utf8(command_text);
  std::optional<PageCommand> command = read_command(text);
  if (!command) return own_answer(PageAnswer::failure("", "the command is not a JSON object"));
  if (std::optional<PageAnswer> refused = complete(*command, text)) return own_answer(*refused);
  if (command->op == "download") return own_answer(next_download(*command));
  if (command->op == "pages") return own_answer(list_pages(*command));
  if (command->op == "credentials") return own_answer(set_credentials(*command));
  Lock lock(mutex_);
  Target target = wait_for_page(lock, *command);
  if (target.refusal) return finish(target.page, *target.refusal);
  if (std::optional<PageAnswer> known = ready_from_report(pages_[target.page], *command))
    return finish(target.page, *known);
  const std::uint64_t mark = hand_over(target.page, text, *command);
  PageAnswer answer = wait_for_answer(lock, target.page, *command);
  answer.fields["mark"] = mark;
  return finish(target.page, answer);
}

std::uint64_t PageRegistry::mark() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return next_order_ - 1;
}

PageRegistry::Target PageRegistry::wait_for_page(Lock& lock, const PageCommand& command) {
  const std::string& named = command.page;
  if (foreign(named, command.run))
    return {"", PageAnswer::failure(command.id, "there is no page " + named + " in this run")};
  const std::chrono::milliseconds wait = std::min(times_.page_wait, command.page_wait.value_or(times_.page_wait));
  const auto deadline = Clock::now() + wait;
  for (;;) {
    const std::string target = pick_page(named, command.after, command.run);
    if (!target.empty()) {
      const Page& page = pages_[target];
      if (page.busy_with.empty() && !page.command) return {target, std::nullopt};
    } else if (!named.empty()) {
      // A page is named once it has registered: it is gone for good.
      return {"", named_gone(named, command)};
    } else if (std::optional<PageAnswer> ended = outcome_after(command)) {
      return {"", std::move(ended)};
    }
    if (changed_.wait_until(lock, deadline) != std::cv_status::timeout) continue;
    if (pick_page(named, command.after, command.run).empty()) {
      if (!named.empty())
        return {"", PageAnswer::gone(command.id, "the page " + named + " was not there within " + ms(wait))};
      return {"", PageAnswer::failure(command.id, "no page was there within " + ms(wait))};
    }
    const std::string busy = pick_page(named, command.after, command.run);
    const Page& page = pages_[busy];
    if (page.busy_with.empty() && !page.command) return {busy, std::nullopt};
    return {busy, PageAnswer::failure(command.id, "the page was busy with another command for " + ms(wait))};
  }
}

// A page whose last report said it is ready answers "ready" from that
// report: every navigation of a test waits on one, and the round trip to a
// page that has just loaded waits behind its first paint.
// A page that has the command in hand already answers it too, later: that
// answer is left out, but not what it carries.
std::optional<PageAnswer> PageRegistry::ready_from_report(Page& page, const PageCommand& command) {
  if (command.op != "ready" || !page.loaded || page.staying || page.answer) return std::nullopt;
  if (!page.busy_with.empty()) page.answered_early = page.busy_with;
  PageAnswer answer = take_answer(page, PageAnswer::success(command.id, nullptr));
  answer.fields["mark"] = next_order_ - 1;
  free_page(page);
  return answer;
}

PageAnswer PageRegistry::take_answer(Page& page, PageAnswer answer) {
  // What an earlier answer left comes first.
  for (const char* name : kCarriedFields) {
    const boost::json::value* later = answer.fields.if_contains(name);
    if (!later || !page.carried.contains(name)) continue;
    append_items(page.carried, name, *later);
  }
  for (auto& [name, items] : page.carried) answer.fields[name] = std::move(items);
  page.carried.clear();
  answer.fields["url"] = page.url;
  answer.fields["title"] = page.title;
  return answer;
}

std::uint64_t PageRegistry::hand_over(const std::string& id, const std::string& text, const PageCommand& command) {
  Page& page = pages_[id];
  page.busy_with = command.id;
  page.delivered = false;
  page.answer.reset();
  // A page told to stay whose agent may not have heard yet: the command
  // says it too.
  const std::string sent = page.staying ? with_stay(command) : text;
  if (page.sink) {
    page.sink->send(sent);
    if (!page.sink->lasting()) page.sink.reset();
  } else {
    page.command = sent;
  }
  // Pages that register from now on (the one a navigation of this command
  // loads among them) come after this mark.
  return next_order_ - 1;
}

PageAnswer PageRegistry::wait_for_answer(Lock& lock, const std::string& id, const PageCommand& command) {
  const auto delivery_deadline = Clock::now() + kDeliveryLimit;
  const std::chrono::milliseconds limit = command.timeout + times_.answer_wait;
  const auto answer_deadline = Clock::now() + limit;
  for (;;) {
    auto it = pages_.find(id);
    if (it != pages_.end() && it->second.answer) {
      // The page's address and title as the frame that carried the
      // answer reported them: they travel once, in the report.
      PageAnswer answer = take_answer(it->second, std::move(*it->second.answer));
      free_page(it->second);
      return answer;
    }
    if (it != pages_.end()) {
      if (std::optional<PageAnswer> known = ready_from_report(it->second, command)) return *known;
    }
    if (std::optional<PageAnswer> ended = ended_early(id, command.id, delivery_deadline)) return *ended;
    const auto wake_at = it->second.delivered ? answer_deadline : std::min(answer_deadline, delivery_deadline);
    if (changed_.wait_until(lock, wake_at) == std::cv_status::timeout && Clock::now() >= answer_deadline) {
      if (it = pages_.find(id); it != pages_.end()) free_page(it->second);
      return PageAnswer::failure(command.id, "the page did not answer within " + ms(limit));
    }
  }
}

std::optional<PageAnswer> PageRegistry::ended_early(const std::string& id, const std::string& command_id,
                                                    Clock::time_point delivery_deadline) {
  auto it = pages_.find(id);
  if (it == pages_.end()) return PageAnswer::navigated(command_id);
  Page& page = it->second;
  if (page.vanished) {
    free_page(page);
    return went_away(command_id, id);
  }
  if (!page.delivered && Clock::now() >= delivery_deadline) {
    free_page(page);
    page.gone = true;
    return PageAnswer::failure(command_id,
                               "the page did not take the command within " + ms(kDeliveryLimit) + ": it is gone");
  }
  if (page.gone && !page.delivered) {
    free_page(page);
    return PageAnswer::gone(command_id, "the page " + id + " went away before it took the command");
  }
  if (page.gone) {
    free_page(page);
    return PageAnswer::navigated(command_id);
  }
  return std::nullopt;
}

std::wstring PageRegistry::finish(const std::string& id, PageAnswer& answer) {
  if (pages_.count(id)) answer.fields["page"] = id;
  return own_answer(answer);
}

std::wstring PageRegistry::own_answer(const PageAnswer& answer) { return Platform::from_utf8(write_answer(answer)); }

std::string PageRegistry::pick_page(const std::string& named, std::uint64_t after, const std::string& run) const {
  if (!named.empty()) {
    auto it = pages_.find(named);
    return it != pages_.end() && !it->second.gone && (run.empty() || it->second.run == run) ? named : std::string();
  }
  const std::map<std::uint64_t, std::string>* index = &by_order_;
  if (!run.empty()) {
    auto own = by_run_.find(run);
    if (own == by_run_.end()) return std::string();
    index = &own->second;
  }
  for (auto it = index->rbegin(); it != index->rend() && it->first > after; ++it) {
    const Page& page = pages_.at(it->second);
    if (page.top && !page.gone) return it->second;
  }
  return std::string();
}

PageAnswer PageRegistry::named_gone(const std::string& named, const PageCommand& command) const {
  auto it = pages_.find(named);
  bool vanished = it != pages_.end() && it->second.vanished;
  if (it == pages_.end()) {
    vanished = std::any_of(vanished_ids_.begin(), vanished_ids_.end(), [&](const auto& kept) {
      return kept.second == named && (command.run.empty() || kept.first == command.run);
    });
  }
  if (vanished) return went_away(command.id, named);
  return PageAnswer::gone(command.id, "the page " + named + " is gone");
}

bool PageRegistry::foreign(const std::string& page, const std::string& run) const {
  if (page.empty() || run.empty()) return false;
  auto it = pages_.find(page);
  return it != pages_.end() && it->second.run != run;
}

void PageRegistry::free_page(Page& page) {
  page.busy_with.clear();
  page.command.reset();
  page.answer.reset();
}

void PageRegistry::sweep() {
  const auto now = Clock::now();
  if (now - last_sweep_ < std::chrono::seconds(1)) return;
  last_sweep_ = now;
  for (auto it = pages_.begin(); it != pages_.end();) {
    const Page& page = it->second;
    const bool silent = page.busy_with.empty() && now - page.seen > times_.silent_limit;
    if (silent && (page.gone || !page.sink))
      forget(it++);
    else
      ++it;
  }
}

void PageRegistry::forget(std::map<std::string, Page>::iterator it) {
  const Page& page = it->second;
  if (page.vanished) {
    vanished_ids_.emplace_back(page.run, it->first);
    if (vanished_ids_.size() > kVanishedIdsKept) vanished_ids_.pop_front();
  }
  by_order_.erase(page.order);
  auto own = by_run_.find(page.run);
  own->second.erase(page.order);
  if (own->second.empty()) by_run_.erase(own);
  pages_.erase(it);
}

std::size_t PageRegistry::page_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pages_.size();
}

}  // namespace Tavrin::Proxy
