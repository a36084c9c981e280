// Reads an HTTP Archive (HAR 1.2) for replay: each entry's request
// (method, URL, header fields, body) and its answer (status, header
// fields, body, or the failure it met). Bodies are taken as the archive
// carries them: text as it is, "encoding": "base64" decoded, or a file
// beside the archive named by "_file" (as an archive written with
// "har_content" attach has them). A body the archive leaves out is
// unknown, not empty.
//
// Every required field of HAR 1.2's log, entries, requests, answers and
// contents is checked with its type before anything is used: the first
// fault throws BadInput naming the archive's path and the entry.
#ifndef QUORVANE_PROXY_NETWORK_HAR_READER_H_
#define QUORVANE_PROXY_NETWORK_HAR_READER_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/network/request_log.h"

namespace Tavrin::Proxy::Network {

struct HarEntry {
  std::string method;
  std::string url;
  Fields headers;  // names in lower case
  // The request's body; nullopt when the archive does not carry it (no
  // postData is an empty body; a postData without text is unknown).
  std::optional<std::string> post_data;
  std::string post_type;  // postData.mimeType

  int status = 0;  // 0: the request failed, as `failure` says
  Fields response_headers;  // names in lower case
  std::string body;
  std::string failure;
};

// The entries of the archive `text`, read from `file` (which names it in
// errors and anchors "_file" bodies). Throws BadInput.
std::vector<HarEntry> read_har(std::string_view text, const std::filesystem::path& file);

// The same from the file itself. Throws BadInput when it cannot be read.
std::vector<HarEntry> read_har_file(const std::filesystem::path& file);

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_HAR_READER_H_
