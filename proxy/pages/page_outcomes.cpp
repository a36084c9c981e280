// The page registry's part in navigations that bring no page of the
// agent's (a 204, a download, a document the browser makes itself), and
// its answers about downloads and the run's pages.
#include <boost/json/array.hpp>
#include <boost/json/serialize.hpp>

#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy {

using Clock = std::chrono::steady_clock;

namespace {

// How many ends of navigations each run keeps.
constexpr std::size_t kOutcomesKept = 16;
// A page that says it is leaving this long after a navigation of its run
// ended where it is (its word came late) stays.
constexpr std::chrono::seconds kLateLeaving{5};

bool from_page(const NavigationEnd& end, const std::string& url) { return end.referer.empty() || end.referer == url; }

}  // namespace

std::uint64_t PageRegistry::navigation_ended(const NavigationEnd& end) {
  std::uint64_t mark;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    mark = next_order_++;
    auto& kept = outcomes_[end.run];
    kept.push_back({mark, end, Clock::now()});
    if (kept.size() > kOutcomesKept) kept.pop_front();
    if (end.stays) {
      if (auto own = by_run_.find(end.run); own != by_run_.end()) {
        for (const auto& [order, id] : own->second) {
          Page& page = pages_.at(id);
          if (page.leaving && !page.vanished && from_page(end, page.url)) tell_to_stay(page);
        }
      }
    }
  }
  changed_.notify_all();
  return mark;
}

bool PageRegistry::stays_after_leaving(Page& page) {
  auto kept = outcomes_.find(page.run);
  if (kept == outcomes_.end()) return false;
  const auto now = Clock::now();
  for (const Outcome& outcome : kept->second) {
    if (outcome.end.stays && now - outcome.when < kLateLeaving && outcome.mark > page.order &&
        from_page(outcome.end, page.url)) {
      tell_to_stay(page);
      return true;
    }
  }
  return false;
}

// The agent stops taking commands once its page says it is leaving; this
// command, which it takes all the same, makes it take them again.
void PageRegistry::tell_to_stay(Page& page) {
  page.gone = page.leaving = false;
  page.staying = true;
  page.stayed_at = Clock::now();
  const std::string text = "{\"id\":\"stay-" + std::to_string(next_order_) + "\",\"op\":\"stay\"}";
  if (page.sink) {
    page.sink->send(text);
    if (!page.sink->lasting()) page.sink.reset();
  } else if (!page.command) {
    page.command = text;
  }
}

std::string PageRegistry::with_stay(const PageCommand& command) {
  boost::json::object fields = command.fields;
  fields["stay"] = true;
  return boost::json::serialize(fields);
}

bool PageRegistry::staying(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pages_.find(id);
  return it != pages_.end() && it->second.staying;
}

std::optional<PageAnswer> PageRegistry::outcome_after(const PageCommand& command) const {
  const auto wanted = command.fields.find("navigation");
  if (wanted == command.fields.end() || !wanted->value().is_bool() || !wanted->value().as_bool()) return std::nullopt;
  auto kept = outcomes_.find(command.run);
  if (kept == outcomes_.end()) return std::nullopt;
  for (const Outcome& outcome : kept->second) {
    if (outcome.mark <= command.after) continue;
    PageAnswer answer = PageAnswer::success(command.id, nullptr);
    answer.fields["outcome"] = {{"kind", outcome.end.kind},
                                {"url", outcome.end.url},
                                {"status", outcome.end.status},
                                {"stays", outcome.end.stays}};
    answer.fields["mark"] = outcome.mark;
    return answer;
  }
  return std::nullopt;
}

PageAnswer PageRegistry::next_download(const PageCommand& command) {
  bool started = false;
  const std::optional<Download> download = downloads_.next(command.run, command.after, command.timeout, &started);
  if (!download) {
    return PageAnswer::failure(command.id, "waited " + std::to_string(command.timeout.count()) +
                                               " ms for a download" +
                                               (started ? " to end (one had begun)" : " (none began)"));
  }
  if (!download->error.empty())
    return PageAnswer::failure(command.id, "the download of " + download->url + " failed: " + download->error);
  boost::json::object value{{"url", download->url},
                            {"suggestedName", download->name},
                            {"path", download->path},
                            {"size", download->size}};
  PageAnswer answer = PageAnswer::success(command.id, std::move(value));
  answer.fields["mark"] = download->mark;
  return answer;
}

PageAnswer PageRegistry::list_pages(const PageCommand& command) {
  boost::json::array list;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto own = by_run_.find(command.run);
    if (own != by_run_.end()) {
      for (const auto& [order, id] : own->second) {
        const Page& page = pages_.at(id);
        if (page.top && !page.gone)
          list.push_back(boost::json::object{{"page", id}, {"url", page.url}, {"title", page.title}, {"order", order}});
      }
    }
  }
  return PageAnswer::success(command.id, std::move(list));
}

}  // namespace Tavrin::Proxy
