// Answers a run's requests from an archive's entries (routeFromHar), in
// the proxy, with no crossing to the script.
//
// A request meets an entry when they agree on:
//  - the method, and the URL without its query and fragment (scheme and
//    host in any case, a default port written or not);
//  - the query's parameters as a set of name=value pairs, decoded, in any
//    order, less the names `ignore_query` leaves out (or all of them);
//  - the header fields the entry recorded, less those a browser sets by
//    itself (user-agent, accept*, cookie, referer, origin, sec-*, ...) and
//    those `ignore_headers` leaves out; a content type compares its media
//    type only (a multipart boundary differs between runs);
//  - the body: the same bytes ("exact"), anything ("ignore"), or the same
//    value once both are parsed as JSON ("json"; texts that are no JSON
//    compare as bytes). Multipart bodies compare their parts (each part's
//    header fields and content), not the boundary. An entry whose body the
//    archive left out takes any body.
// Of the entries a request meets, the first not yet used answers it, so
// that repeated requests get the answers in recorded order; once all are
// used, the last keeps answering.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_NETWORK_HAR_REPLAY_H_
#define QUORVANE_PROXY_NETWORK_HAR_REPLAY_H_

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/value.hpp>

#include "proxy/network/har_reader.h"

namespace Tavrin::Proxy::Network {

enum class BodyMatch { kExact, kIgnore, kJson };

struct HarOptions {
  bool ignore_every_query = false;
  std::set<std::string> ignore_query;  // names as they are decoded
  bool ignore_every_header = false;
  std::set<std::string> ignore_headers;  // lower case
  BodyMatch body = BodyMatch::kExact;
  bool fallback = false;  // a request no entry meets goes on (else it fails)
};

// The options from their JSON form: {ignoreQuery: true | [names],
// ignoreHeaders: true | [names], body: "exact" | "ignore" | "json",
// notFound: "abort" | "fallback"}. Throws BadInput naming the option.
HarOptions read_har_options(const boost::json::value& options);

// What an entry answers.
struct HarAnswer {
  int status = 0;   // 0: fail the request (`failure` says how it failed)
  Fields headers;   // without the framing fields: the length is set anew
  std::string body;
  std::string failure;
};

class HarReplay {
 public:
  HarReplay(std::vector<HarEntry> entries, HarOptions options, std::string file);

  // The answer of the entry the request meets (taken: a repeat gets the
  // next one); nullopt when it meets none.
  std::optional<HarAnswer> answer(std::string_view method, std::string_view url, const Fields& headers,
                                  std::string_view body);
  // Whether some entry has this method and URL (for a preflight's
  // question whether the request that follows would be answered here).
  bool knows(std::string_view method, std::string_view url) const;

  const HarOptions& options() const { return options_; }
  const std::string& file() const { return file_; }
  std::size_t size() const { return entries_.size(); }

 private:
  bool meets(const HarEntry& entry, const Fields& headers, std::string_view query, std::string_view body) const;

  const std::vector<HarEntry> entries_;
  const HarOptions options_;
  const std::string file_;
  // Entries by method and URL without the query, in recorded order.
  std::map<std::string, std::vector<std::size_t>, std::less<>> index_;
  mutable std::mutex mutex_;
  std::vector<bool> used_;
};

// A replay from its JSON form {file (an absolute path), options}: the
// archive read and checked whole. Throws BadInput.
std::shared_ptr<HarReplay> read_har_replay(const boost::json::value& archive);

// The parts of matching, apart for tests.
// "METHOD url-without-query" with scheme and host in lower case, a
// default port left out; the query (without "?") into `query`.
std::string replay_key(std::string_view method, std::string_view url, std::string_view* query = nullptr);
// Whether two queries hold the same parameters (any order), leaving out
// the names in `ignore` (all with `ignore_every`).
bool same_query(std::string_view a, std::string_view b, const std::set<std::string>& ignore, bool ignore_every);
// Whether two multipart bodies hold the same parts; nullopt when either
// is not multipart.
std::optional<bool> same_parts(std::string_view a, std::string_view b);
// Whether two JSON texts hold the same value (numbers by value, members in
// any order); nullopt when either is no JSON.
std::optional<bool> same_json(std::string_view a, std::string_view b);

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_HAR_REPLAY_H_
