// The pages that the agents in the browsers have registered, and the
// commands on their way to them. The channel (page_channel.h, over long
// polls or a WebSocket) feeds it the agents' reports and gives it a sink
// per page to send commands to; the proxy object's Command puts a command
// in and waits for its answer. It deals with pages only: the setup of a
// run (its port, its browsers) is the run table's (proxy/run_table.h).
//
// A command (page_protocol.h) names its page, else it goes to the newest
// top-level page. A command of a run reaches only the pages that
// registered over the run's own port; a page of another run is unknown to
// it. A command without a run may reach any page. It waits a bounded time
// for its page to be there and free (one command at a time runs per page),
// is handed over, and waits for its answer; a page that goes away (its
// agent says so, its channel closes, or it stops reporting) ends the wait
// with an answer that says so.
//
// A page whose channel ends without a word (no farewell, no close frame:
// its browser was killed or crashed) has vanished: nothing comes in its
// place, so its command fails at once, and so does every later command
// that names it, instead of waiting for a page that will not come.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_PAGES_PAGE_REGISTRY_H_
#define QUORVANE_PROXY_PAGES_PAGE_REGISTRY_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "proxy/pages/download_table.h"
#include "proxy/pages/page_protocol.h"
#include "proxy/pages/page_sink.h"

namespace Tavrin::Proxy {

// A navigation of a run that ended on an answer bringing no page of the
// agent's (see PageRegistry::navigation_ended).
struct NavigationEnd {
  std::string run;
  std::string referer;  // the page it started from; empty: not known
  std::string kind;     // "no content", "download", "shown"
  std::string url;
  unsigned status = 0;
  bool stays = false;  // the browser stays on the page it was on
};

// Credentials a run gave for HTTP authentication, for one origin (its
// scheme, host and port as "http://host:port") or, with `origin` empty,
// for all.
struct RunCredentials {
  std::string user;
  std::string password;
  std::string origin;
};

struct PageRegistryTimes {
  // How long a command waits for a page to be there.
  std::chrono::milliseconds page_wait{30000};
  // How long a command waits for its answer beyond its own "timeout": the
  // agent answers within that, so a page that does not (a script that
  // never ends, a browser gone) fails the command soon after its limit.
  std::chrono::milliseconds answer_wait{1000};
  // A page that neither reports nor holds a channel for this long is gone.
  std::chrono::milliseconds silent_limit{40000};
};

class PageRegistry {
 public:
  // How long a command may wait for its page to take it; a live agent
  // takes it at once, so a page that does not is gone.
  static constexpr std::chrono::milliseconds kDeliveryLimit{8000};
  explicit PageRegistry(PageRegistryTimes times = {});
  PageRegistry(const PageRegistry&) = delete;
  PageRegistry& operator=(const PageRegistry&) = delete;

  // --- The agents' side.
  // A report came in over the port of `run` (empty: the main port) with
  // the page token `token` (page_tokens.h): registers or refreshes the page
  // and takes its answer. A page keeps the run and the token it registered
  // with: a report that names it with another token is refused (false)
  // and changes nothing.
  bool report(const AgentReport& report, const std::string& run, const std::string& token);
  // The page's commands go to `sink` from now on, a command that waits
  // for it at once. Returns false, attaching nothing, for a page that is
  // unknown, gone or leaving.
  bool attach(const std::string& page, std::shared_ptr<PageSink> sink);
  // `sink` takes no more of the page's commands (if it still is the
  // page's sink).
  void detach(const std::string& page, const PageSink* sink);
  // The page has taken its command (the sink wrote it).
  void delivered(const std::string& page);
  // The page is unloading, or its channel closed.
  void gone(const std::string& page);
  // The page's channel ended without a word: its browser went away.
  void vanished(const std::string& page);
  // How many reports the page has made; 0 for a page unknown.
  std::uint64_t reports(const std::string& page) const;
  // Like vanished(), unless the page has reported since its `reports`-th
  // report (it polled again) or has gone in the ordinary way.
  void vanished_unless_reported(const std::string& page, std::uint64_t reports);
  // The agent holding `token` says the page is unloading: gone, when the
  // page is bound to that token.
  void leave(const std::string& page, const std::string& token);

  // --- The HTTP side's: the ends of navigations and the downloads.
  // A navigation of `end.run` ended on an answer with no page of the
  // agent's: the page stays where it was (204, 205, a download), or the
  // browser shows a document no agent runs in. A command that waits for a
  // page after an earlier mark takes this instead (its answer's "outcome":
  // {kind, url, status}), and a page of the run that said it was leaving
  // (the one at `end.referer`, when known) is told to stay. Returns the
  // mark of the outcome, which a download shares.
  std::uint64_t navigation_ended(const NavigationEnd& end);
  DownloadTable& downloads() { return downloads_; }
  // Whether the page was told to stay and has not yet said it heard.
  bool staying(const std::string& page) const;
  // The credentials {"op": "credentials", "user", "password", "origin"}
  // gave `run` for `origin`: those named for it, else those for all.
  std::optional<RunCredentials> credentials_for(const std::string& run, const std::string& origin) const;
  // The position that {"op": "geolocation"} last set for `run`, as the
  // agent's key carries it to documents from the start: ";geo=LAT,LON,ACC",
  // ";geo=denied", or empty (the browser's own).
  std::string geolocation_key(const std::string& run) const;

  // --- The runtime's side.
  // Sends `command` (a command text, page_protocol.h) and waits for its
  // answer, the whole of it as one text: the page's answer with the
  // page, its url and title, and "mark": the mark as it was when the page
  // took the command, which reaches the page that a navigation of the
  // command loads. A few ops are answered here and name no page:
  // {"op": "download", "after": MARK} waits for the run's next download
  // after MARK to end: its "value" is {url, suggestedName, path, size}.
  // {"op": "pages"} lists the run's open top-level pages ({page, url,
  // title, order}, oldest first; "order" is the mark they came after).
  // {"op": "credentials"} sets the run's credentials.
  std::wstring run(const std::wstring& command);
  // The mark of the pages registered so far: passed as a command's
  // "after", it reaches only pages that register from now on.
  std::uint64_t mark() const;

  std::size_t page_count() const;

 private:
  struct Page {
    std::string run;
    std::string token;
    std::string url;
    std::string title;
    bool top = true;
    bool gone = false;
    bool vanished = false;    // gone without a word
    bool leaving = false;     // gone because it said it was navigating away
    bool staying = false;     // told to stay; its agent has not answered yet
    bool loaded = false;      // its last report said it is ready
    // A "ready" answered from a report while the page had it in hand: the
    // page's own answer to it comes later, and what it carries (console
    // lines, dialogs, errors) travels with the page's next answer.
    std::string answered_early;
    boost::json::object carried;
    // When it was last told to stay: a channel that closes soon after
    // (Firefox closes a document's socket as its navigation ends in a
    // download) is the page's to open again, not the page's end.
    std::chrono::steady_clock::time_point stayed_at;
    std::uint64_t order = 0;  // registration order
    std::uint64_t reports = 0;
    std::chrono::steady_clock::time_point seen;
    std::shared_ptr<PageSink> sink;
    std::optional<std::string> command;  // waiting for a sink to take it
    std::string busy_with;               // id of the command it runs
    bool delivered = false;              // the page has taken that command
    std::optional<PageAnswer> answer;    // that command's answer, once in
  };
  // The page a command goes to, or why it goes to none (`refusal` set;
  // `page` then is the page the refusal concerns, if any).
  struct Target {
    std::string page;
    std::optional<PageAnswer> refusal;
  };
  using Lock = std::unique_lock<std::mutex>;

  // The steps of run(), each with mutex_ held.
  Target wait_for_page(Lock& lock, const PageCommand& command);
  std::optional<PageAnswer> ready_from_report(Page& page, const PageCommand& command);
  // `answer` as the page's, with what an earlier answer left to carry.
  PageAnswer take_answer(Page& page, PageAnswer answer);
  std::uint64_t hand_over(const std::string& page, const std::string& text, const PageCommand& command);
  PageAnswer wait_for_answer(Lock& lock, const std::string& page, const PageCommand& command);
  std::optional<PageAnswer> ended_early(const std::string& page, const std::string& id,
                                        std::chrono::steady_clock::time_point delivery_deadline);
  // The answer's text, naming `page` (when known) as the page it
  // concerns.
  std::wstring finish(const std::string& page, PageAnswer& answer);
  // The text of an answer of the registry's own, which names no page.
  static std::wstring own_answer(const PageAnswer& answer);

  PageAnswer next_download(const PageCommand& command);
  PageAnswer list_pages(const PageCommand& command);
  PageAnswer set_credentials(const PageCommand& command);
  // An outcome of the run after `after`, as the answer to `command`.
  std::optional<PageAnswer> outcome_after(const PageCommand& command) const;
  // The page said it is leaving; a navigation of its run that ended where
  // it is makes it stay instead (true).
  bool stays_after_leaving(Page& page);
  void tell_to_stay(Page& page);
  // The text of `command` with "stay": true, which makes a leaving agent
  // stay and take it.
  static std::string with_stay(const PageCommand& command);
  // Completes a command before it goes to its page: the files of
  // "setFiles" read in, the position of "geolocation" kept for the run's
  // pages to come. A failure answer when it cannot.
  std::optional<PageAnswer> complete(PageCommand& command, std::string& text);
  std::string pick_page(const std::string& named, std::uint64_t after, const std::string& run) const;
  bool foreign(const std::string& page, const std::string& run) const;
  static void free_page(Page& page);
  void end_page(Page& page);
  void vanish(std::map<std::string, Page>::iterator page);
  // The answer to a command that names a page no longer there.
  PageAnswer named_gone(const std::string& page, const PageCommand& command) const;
  // Forgets gone and silent pages, at most once a second.
  void sweep();
  void forget(std::map<std::string, Page>::iterator page);

  const PageRegistryTimes times_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Page> pages_;
  // The pages by registration order: all of them, and those of each run
  // (the main port's under ""), so that picking one looks at few.
  std::map<std::uint64_t, std::string> by_order_;
  std::map<std::string, std::map<std::uint64_t, std::string>> by_run_;
  std::uint64_t next_order_ = 1;
  std::chrono::steady_clock::time_point last_sweep_;
  // The ids of the latest vanished pages the registry has forgotten,
  // oldest first, so that a command naming one still fails at once.
  // Each with its run.
  std::deque<std::pair<std::string, std::string>> vanished_ids_;
  // The latest ends of navigations of each run, oldest first.
  struct Outcome {
    std::uint64_t mark = 0;
    NavigationEnd end;
    std::chrono::steady_clock::time_point when;
  };
  std::map<std::string, std::deque<Outcome>> outcomes_;
  DownloadTable downloads_;
  std::map<std::string, std::string> geolocation_;
  std::map<std::string, std::vector<RunCredentials>> credentials_;
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGES_PAGE_REGISTRY_H_
