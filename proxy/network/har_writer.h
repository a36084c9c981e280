// A run's requests as an HTTP Archive (HAR 1.2): every entry the run's
// request log holds, with the times the proxy measured (blocked, dns,
// connect, ssl, send, wait, receive; -1 where a step did not happen), the
// sizes, and the HTTP version spoken on each side (the browser's in
// httpVersion, the origin's in "_upstreamHttpVersion"). A request that
// failed has status 0 and its failure in "_error". A WebSocket's messages
// are in "_webSocketMessages" ({type: "send" | "receive", time in seconds
// since the epoch, opcode, data: text, or base64 for binary}), whatever
// "har_content" says, as HAR viewers read them.
//
// Bodies, by "proxy"/"har_content": omitted, embedded (text as it is,
// binary as base64), or attached as files in a folder beside the HAR
// ("<name>_files/N.body"), named by "_file" (relative to the HAR).
//
// The log never holds the proxy's own paths (the agent, the page channel,
// package files) nor a page token: the archive holds none either.
#ifndef QUORVANE_PROXY_NETWORK_HAR_WRITER_H_
#define QUORVANE_PROXY_NETWORK_HAR_WRITER_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/network/request_log.h"

namespace Tavrin::Proxy::Network {

enum class HarContent { kOmit, kEmbed, kAttach };

// "omit", "embed", "attach"; nullopt for anything else.
std::optional<HarContent> har_content_from(std::string_view name);

// The archive's JSON text; with kAttach the bodies go into `attach_folder`
// (made when needed), named relative to `har_folder`.
std::string har_text(const std::vector<LoggedRequest>& entries, HarContent content,
                     const std::filesystem::path& har_folder = {}, const std::filesystem::path& attach_folder = {});

// Writes the archive to `file` (its folder made when needed). Throws
// std::runtime_error naming the file when it cannot be written.
void write_har(const std::vector<LoggedRequest>& entries, const std::filesystem::path& file, HarContent content);

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_HAR_WRITER_H_
