// A local site: a folder served as static files under a host name of the
// "proxy" configuration, so pages run without an outside server. Only
// regular files inside the folder are served: a path that climbs out with
// "..", or a link that points outside, is refused like a missing file;
// runs of "/" count as one, so no path names the file system's root and no
// redirect is protocol-relative.
#ifndef QUORVANE_PROXY_HTTP_LOCAL_SITE_H_
#define QUORVANE_PROXY_HTTP_LOCAL_SITE_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace Tavrin::Proxy::Http {

struct SiteAnswer {
  enum class Kind { kFile, kRedirect, kNotFound, kBadRequest };
  Kind kind = Kind::kNotFound;
  std::filesystem::path file;  // kFile: the file to send
  std::string content_type;    // kFile
  std::string location;        // kRedirect: the path with "/" added
};

// What the site in `folder` answers to the request path `target` (path and
// query, percent-encoded). A folder gives its index.html; a folder asked
// without its closing "/" is redirected to it.
SiteAnswer resolve_site_path(const std::filesystem::path& folder, std::string_view target);

// The Content-Type of a file by its extension; "application/octet-stream"
// for one not known.
std::string content_type_for_path(const std::filesystem::path& file);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_LOCAL_SITE_H_
