// The pages that the agents in the browsers have registered, and the
// commands on their way to them. The proxy's HTTP side feeds it what the
// agents send on their channel (a poll carries the page's facts and the
// answer to its last command, and takes the next command); the proxy
// object's Command puts a command in and waits for its answer.
//
// A command names its page ("page"), else it goes to the top-level page
// that registered last. A command of a run ("run") reaches only the pages
// of that run (those that registered over the run's own port); a page of
// another run is unknown to it. A command without "run" may reach any page.
// It waits a bounded time for such a page, then for its answer; a page that
// goes away (its agent says so on unload, or stops polling) ends the wait
// with an answer that says so. One command at a time
// is outstanding per page. Answers are kept by command id until read with
// take_answer, at most kMaxKeptAnswers of them.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_PAGE_REGISTRY_H_
#define QUORVANE_PROXY_PAGE_REGISTRY_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "proxy/proxy_state.h"

namespace Tavrin::Proxy {

struct PageRegistryTimes {
  // How long a command waits for a page to be there.
  std::chrono::milliseconds page_wait{30000};
  // How long a command waits for its answer beyond its own "timeout": the
  // agent answers within that, so a page that does not (a script that
  // never ends, a browser gone) fails the command soon after its limit.
  std::chrono::milliseconds answer_wait{1000};
  // A page that neither polls nor runs a command for this long is gone.
  std::chrono::milliseconds silent_limit{40000};
};

// What an agent's poll brought.
struct AgentPoll {
  std::string page;
  std::string parent;
  std::string url;
  std::string title;
  bool top = true;
  // The answer to the page's last command (a JSON object with "id"), or
  // empty.
  std::string answer_id;
  std::string answer;
  // The page is navigating away: it takes no more commands.
  bool leaving = false;
  // The run whose port the poll came in on; empty for the main port. A
  // page keeps the run it registered with.
  std::string run;
};

// A new secret for the channel's path: 128 random bits as 32 hex digits.
std::string make_channel_secret();

class PageRegistry {
 public:
  static constexpr std::size_t kMaxKeptAnswers = 256;
  using Wake = std::function<void()>;
  // Opens (or finds) the listening port of a run; throws
  // std::runtime_error with the reason when it cannot.
  using RunPorts = std::function<std::uint16_t(const std::string& run)>;

  explicit PageRegistry(PageRegistryTimes times = {});
  // Who answers {"op": "run"}; null: nobody (the answer says so).
  void set_run_ports(RunPorts ports);
  PageRegistry(const PageRegistry&) = delete;
  PageRegistry& operator=(const PageRegistry&) = delete;

  // A poll arrived: registers or refreshes the page and takes its answer.
  // Returns the page's next command if one waits.
  std::optional<std::string> poll(const AgentPoll& poll);
  // The page's poll is to be held: `wake` is called (from any thread) when
  // a command arrives for it. Replaces an earlier one. Returns false, and
  // holds nothing, when a command came in since the poll: the poll is to be
  // answered at once with release().
  bool hold(const std::string& page, Wake wake);
  // The held poll ends; returns the command that came in the meantime.
  std::optional<std::string> release(const std::string& page);
  // The page is unloading.
  void gone(const std::string& page);
  // The page has taken its command (the answer to its poll was sent).
  void delivered(const std::string& page);

  // How long a command may wait for its page to take it; a live agent
  // takes it at once, so a page that does not is gone.
  static constexpr std::chrono::milliseconds kDeliveryLimit{8000};

  // Sends `command` and waits for its answer. The command is a JSON object
  // text; the registry reads "id" (which the answer carries back),
  // "page" (the page's uuid, empty for the newest top-level page),
  // "timeout" (ms the page may take, 10000 by default), "pageWait" (ms
  // to wait for the page to be there, at most the registry's page_wait)
  // and "after" (only pages that registered after that mark qualify). The
  // command {"op": "mark"} is answered here: its "value" is the mark to
  // pass as "after" to reach only pages that register from now on. The
  // command {"op": "run", "run": ID} is answered here too: its "value" is
  // the port that the browsers of run ID are to use.
  // The answer is a JSON object text: {"id", "ok", "value" or "error"}
  // from the page, or made here ("navigated": the page went away first).
  // Once the command was handed to its page, the answer also carries
  // "mark": the mark as it was then, which reaches the page that a
  // navigation of the command loads.
  CommandAnswer run(const std::wstring& command);
  // The answer that the command `id` received, removed; empty if none.
  std::wstring take_answer(const std::wstring& id);

  std::size_t page_count() const;

 private:
  struct Page {
    std::string run;
    std::string parent;
    std::string url;
    std::string title;
    bool top = true;
    bool gone = false;
    std::uint64_t order = 0;  // registration order
    std::chrono::steady_clock::time_point seen;
    std::optional<std::string> command;  // waiting to be taken
    std::string busy_with;                // id of the command it runs
    bool delivered = false;               // the page has taken that command
    Wake wake;
  };

  void keep_answer(const std::string& id, const std::string& answer);
  // With mutex_ held: the page to send a command to, empty if none.
  std::string pick_page(const std::string& named, std::uint64_t after, const std::string& run) const;
  CommandAnswer run_port(const std::string& id, const std::string& run);
  void forget_old_pages();                                 // with mutex_ held

  const PageRegistryTimes times_;
  RunPorts run_ports_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Page> pages_;
  std::uint64_t next_order_ = 1;
  std::map<std::string, std::string> answers_;
  std::deque<std::string> answer_order_;
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGE_REGISTRY_H_
