#include "proxy/network/har_reader.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include "proxy/network/route_rule.h"

namespace Tavrin::Proxy::Network {

namespace json = boost::json;

namespace {

enum class Kind { kText, kNumber, kList, kObject };

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kText: return "a text";
    case Kind::kNumber: return "a number";
    case Kind::kList: return "a list";
    case Kind::kObject: return "an object";
  }
  return "";
}

bool is(const json::value& value, Kind kind) {
  switch (kind) {
    case Kind::kText: return value.is_string();
    case Kind::kNumber: return value.is_number();
    case Kind::kList: return value.is_array();
    case Kind::kObject: return value.is_object();
  }
  return false;
}

// Reads one archive, naming its path and the place of each fault.
class Reader {
 public:
  explicit Reader(const std::filesystem::path& file) : file_(file) {}

  [[noreturn]] void fail(const std::string& where, const std::string& fault) const {
    throw BadInput("routeFromHar(): the HAR " + file_.string() + (where.empty() ? "" : ": " + where) + " " + fault);
  }

  const json::value& need(const json::object& object, const char* name, Kind kind, const std::string& where) const {
    const json::value* value = object.if_contains(name);
    if (!value) fail(where, "lacks \"" + std::string(name) + "\"");
    if (!is(*value, kind)) fail(where + "." + name, std::string("is not ") + kind_name(kind));
    return *value;
  }

  Fields name_values(const json::object& object, const char* name, const std::string& where) const {
    Fields out;
    const std::string here = where + "." + name;
    std::size_t i = 0;
    for (const auto& item : need(object, name, Kind::kList, where).as_array()) {
      const std::string at = here + "[" + std::to_string(i++) + "]";
      if (!item.is_object()) fail(at, "is not an object");
      std::string field(need(item.as_object(), "name", Kind::kText, at).as_string());
      std::transform(field.begin(), field.end(), field.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      out.emplace_back(std::move(field), std::string(need(item.as_object(), "value", Kind::kText, at).as_string()));
    }
    return out;
  }

  // The body a postData or content carries; nullopt when it carries none.
  std::optional<std::string> body(const json::object& object, const std::string& where) const {
    if (const json::value* attached = object.if_contains("_file")) {
      if (!attached->is_string()) fail(where + "._file", "is not a text");
      const std::filesystem::path path = file_.parent_path() / std::string(attached->as_string());
      std::ifstream in(path, std::ios::binary);
      std::error_code ec;
      if (!std::filesystem::is_regular_file(path, ec) || !in)
        fail(where + "._file", path.string() + " is not there");
      return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const json::value* text = object.if_contains("text");
    if (!text) return std::nullopt;
    if (!text->is_string()) fail(where + ".text", "is not a text");
    const json::value* encoding = object.if_contains("encoding");
    if (encoding && *encoding == "base64") {
      try {
        return decode_base64(text->as_string(), "it");
      } catch (const BadInput& e) {
        fail(where + ".text", e.what());
      }
    }
    return std::string(text->as_string());
  }

  HarEntry entry(const json::value& value, const std::string& where) const {
    if (!value.is_object()) fail(where, "is not an object");
    const json::object& entry = value.as_object();
    need(entry, "startedDateTime", Kind::kText, where);
    need(entry, "time", Kind::kNumber, where);
    need(entry, "cache", Kind::kObject, where);
    need(entry, "timings", Kind::kObject, where);
    HarEntry out;
    const std::string rq = where + ".request";
    const json::object& request = need(entry, "request", Kind::kObject, where).as_object();
    out.method = std::string(need(request, "method", Kind::kText, rq).as_string());
    out.url = std::string(need(request, "url", Kind::kText, rq).as_string());
    if (out.url.rfind("http://", 0) != 0 && out.url.rfind("https://", 0) != 0)
      fail(rq + ".url", "\"" + out.url + "\" is not an http or https URL");
    need(request, "httpVersion", Kind::kText, rq);
    need(request, "cookies", Kind::kList, rq);
    out.headers = name_values(request, "headers", rq);
    need(request, "queryString", Kind::kList, rq);
    need(request, "headersSize", Kind::kNumber, rq);
    need(request, "bodySize", Kind::kNumber, rq);
    if (const json::value* post = request.if_contains("postData")) {
      if (!post->is_object()) fail(rq + ".postData", "is not an object");
      out.post_type = std::string(need(post->as_object(), "mimeType", Kind::kText, rq + ".postData").as_string());
      out.post_data = body(post->as_object(), rq + ".postData");
    } else {
      out.post_data = std::string();
    }
    const std::string rs = where + ".response";
    const json::object& response = need(entry, "response", Kind::kObject, where).as_object();
    const double status = need(response, "status", Kind::kNumber, rs).to_number<double>();
    if (status != 0 && (status < 100 || status > 999 || status != static_cast<int>(status)))
      fail(rs + ".status", "is not an HTTP status");
    out.status = static_cast<int>(status);
    need(response, "statusText", Kind::kText, rs);
    need(response, "httpVersion", Kind::kText, rs);
    need(response, "cookies", Kind::kList, rs);
    out.response_headers = name_values(response, "headers", rs);
    need(response, "redirectURL", Kind::kText, rs);
    need(response, "headersSize", Kind::kNumber, rs);
    need(response, "bodySize", Kind::kNumber, rs);
    const json::object& content = need(response, "content", Kind::kObject, rs).as_object();
    need(content, "size", Kind::kNumber, rs + ".content");
    need(content, "mimeType", Kind::kText, rs + ".content");
    out.body = body(content, rs + ".content").value_or(std::string());
    if (out.status == 0) {
      const json::value* error = entry.if_contains("_error");
      out.failure = error && error->is_string() ? std::string(error->as_string()) : "failed";
    }
    return out;
  }

  std::vector<HarEntry> read(std::string_view text) const {
    boost::system::error_code ec;
    const json::value har = json::parse(text, ec);
    if (ec) fail("", "is not JSON: " + ec.message());
    if (!har.is_object()) fail("", "is not an object");
    const json::object& log = need(har.as_object(), "log", Kind::kObject, "the archive").as_object();
    need(log, "version", Kind::kText, "log");
    need(log, "creator", Kind::kObject, "log");
    std::vector<HarEntry> out;
    std::size_t i = 0;
    for (const auto& item : need(log, "entries", Kind::kList, "log").as_array())
      out.push_back(entry(item, "log.entries[" + std::to_string(i++) + "]"));
    return out;
  }

 private:
  const std::filesystem::path file_;
};

}  // namespace

std::vector<HarEntry> read_har(std::string_view text, const std::filesystem::path& file) {
  return Reader(file).read(text);
}

std::vector<HarEntry> read_har_file(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec))
    throw BadInput("routeFromHar(): the HAR " + file.string() + " is not there");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw BadInput("routeFromHar(): the HAR " + file.string() + " cannot be read");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return read_har(text, file);
}

}  // namespace Tavrin::Proxy::Network
