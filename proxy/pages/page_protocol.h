// The page protocol: the texts that cross between the runtime object, the
// proxy and the page agents, read and written here and nowhere else.
//
// A command (the runtime object -> the proxy's Command -> the page) is a
// JSON object: "id" (carried back by its answer), "op" (what to do; the
// table of operations is in scripts/README.md), "page" (the page's uuid;
// empty: the newest top-level page), "run" (only that run's pages qualify),
// "timeout" (ms the page may take), "pageWait" (ms to wait for the page to
// be there), "after" (only pages that registered after that mark), plus the
// op's own arguments, which pass to the page untouched.
//
// An answer (the page -> the proxy -> the runtime object) is a JSON object:
// "id", "ok", "value" or "error", and what the op adds ("dialogs",
// "navigating"). The proxy adds "page" (the uuid of the page the answer
// concerns; absent for the proxy's own answers, which concern no page),
// "url" and "title" (the page's, as its frame that carried the answer
// reported them; only on answers the page itself gave), "mark" (the mark
// as it was when the page took the command), "navigated" (the page went
// away while it ran the command) and "gone" (the named page is no more).
// The answer is the whole of what a command returns: nothing else carries
// any part of it.
//
// A report (the agent -> the proxy, each poll or socket frame) is a JSON
// object: "page", "parent", "url", "title", "top", "leaving", "loaded"
// (the document has loaded, its requests have ended and nothing waits to
// travel with an answer: what "ready" waits for) and "answer" (the answer
// to the page's last command, or null). A farewell (the agent's
// beacon when its page unloads) is {"page", "token"}: a beacon can carry
// the page token in its body only.
//
// Readers never throw for what a peer sent: malformed text reads as
// std::nullopt, fields of the wrong type as absent.
#ifndef QUORVANE_PROXY_PAGES_PAGE_PROTOCOL_H_
#define QUORVANE_PROXY_PAGES_PAGE_PROTOCOL_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

namespace Tavrin::Proxy {

// What a page may take when the command names no "timeout".
inline constexpr std::chrono::milliseconds kDefaultCommandTimeout{10000};

struct PageCommand {
  std::string id;
  std::string op;
  std::string page;
  std::string run;
  std::uint64_t after = 0;
  std::chrono::milliseconds timeout = kDefaultCommandTimeout;
  std::optional<std::chrono::milliseconds> page_wait;
  // The command as sent, arguments and all: what the page receives.
  boost::json::object fields;
};

// Answers are kept as their JSON object, since the page's value is any
// JSON; the accessors name the fields the proxy and the runtime read.
struct PageAnswer {
  boost::json::object fields;

  std::string id() const;
  bool ok() const;
  // The "value" field; null when absent.
  const boost::json::value& value() const;
  std::string error() const;

  static PageAnswer success(const std::string& id, boost::json::value value);
  static PageAnswer failure(const std::string& id, const std::string& why);
  // The page named in a command is no more ("gone": true).
  static PageAnswer gone(const std::string& id, const std::string& why);
  // The page went away while it ran the command ("navigated": true).
  static PageAnswer navigated(const std::string& id);
};

struct AgentReport {
  std::string page;
  std::string parent;
  std::string url;
  std::string title;
  bool top = true;
  // The page is navigating away: it takes no more commands.
  bool leaving = false;
  // The page is as a "ready" command waits for it to be.
  bool loaded = false;
  std::optional<PageAnswer> answer;
  // A farewell's page token; empty in reports.
  std::string token;
};

std::optional<PageCommand> read_command(std::string_view text);
std::string write_command(const PageCommand& command);
// A command made here: the fields above written into `fields`.
PageCommand make_command(const std::string& id, const std::string& op);

std::optional<PageAnswer> read_answer(std::string_view text);
std::string write_answer(const PageAnswer& answer);

// std::nullopt also for a report that names no page.
std::optional<AgentReport> read_report(std::string_view text);
std::string write_report(const AgentReport& report);

// The page an answer concerns, as the proxy wrote it into the answer
// ("page", and "url" and "title" when the page itself answered): what the
// runtime object's echo shows. Empty fields for an answer that names no
// page (the proxy's own, or malformed text).
struct AnswerPage {
  std::string page;
  std::string url;
  std::string title;
};
AnswerPage page_of_answer(std::string_view answer);

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGES_PAGE_PROTOCOL_H_
