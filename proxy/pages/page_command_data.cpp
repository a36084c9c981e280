// The page registry's part in commands that carry what a page cannot get
// by itself: the files of "setFiles", read here (the page sees only what
// it is given), and the position of "geolocation", which the run's
// documents get from their first moment on.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <boost/beast/core/detail/base64.hpp>
#include <boost/json/array.hpp>
#include <boost/json/serialize.hpp>

#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy {

namespace {

std::string base64(const std::string& bytes) {
  std::string out(boost::beast::detail::base64::encoded_size(bytes.size()), '\0');
  out.resize(boost::beast::detail::base64::encode(out.data(), bytes.data(), bytes.size()));
  return out;
}

// "setFiles": each of "files" ({path, name, type}) gets its content
// ("data", base64) and loses its path.
std::optional<std::string> read_files(boost::json::object& fields) {
  auto files = fields.find("files");
  if (files == fields.end() || !files->value().is_array()) return "\"files\" lists the files to set";
  for (boost::json::value& entry : files->value().as_array()) {
    if (!entry.is_object() || !entry.as_object().contains("path") || !entry.as_object()["path"].is_string())
      return "each file is named by its \"path\"";
    boost::json::object& file = entry.as_object();
    const std::string path(file["path"].as_string());
    std::ifstream in(path, std::ios::binary);
    if (!in) return "the file " + path + " cannot be read";
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return "the file " + path + " cannot be read";
    file["data"] = base64(bytes);
    file.erase("path");
  }
  return std::nullopt;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The position of a "geolocation" command as the agent key carries it.
std::string position_key(const boost::json::object& fields) {
  auto position = fields.find("position");
  if (position == fields.end() || !position->value().is_object()) return ";geo=denied";
  const auto& p = position->value().as_object();
  auto read = [&](const char* name) {
    auto it = p.find(name);
    return it != p.end() && it->value().is_number() ? it->value().to_number<double>() : 0.0;
  };
  return ";geo=" + number(read("latitude")) + "," + number(read("longitude")) + "," + number(read("accuracy"));
}

}  // namespace

std::optional<PageAnswer> PageRegistry::complete(PageCommand& command, std::string& text) {
  if (command.op == "setFiles") {
    if (std::optional<std::string> why = read_files(command.fields)) return PageAnswer::failure(command.id, *why);
    text = boost::json::serialize(command.fields);
  } else if (command.op == "geolocation" && !command.run.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    geolocation_[command.run] = position_key(command.fields);
  }
  return std::nullopt;
}

PageAnswer PageRegistry::set_credentials(const PageCommand& command) {
  auto text = [&](const char* name) {
    auto it = command.fields.find(name);
    return it != command.fields.end() && it->value().is_string() ? std::string(it->value().as_string()) : std::string();
  };
  RunCredentials credentials{text("user"), text("password"), text("origin")};
  if (command.run.empty()) return PageAnswer::failure(command.id, "credentials are given for a run");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& list = credentials_[command.run];
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const RunCredentials& c) { return c.origin == credentials.origin; }),
               list.end());
    if (!credentials.user.empty() || !credentials.password.empty()) list.push_back(credentials);
  }
  return PageAnswer::success(command.id, nullptr);
}

std::optional<RunCredentials> PageRegistry::credentials_for(const std::string& run, const std::string& origin) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = credentials_.find(run);
  if (it == credentials_.end()) return std::nullopt;
  std::optional<RunCredentials> all;
  for (const RunCredentials& c : it->second) {
    if (c.origin == origin) return c;
    if (c.origin.empty()) all = c;
  }
  return all;
}

std::string PageRegistry::geolocation_key(const std::string& run) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = geolocation_.find(run);
  return it == geolocation_.end() ? std::string() : it->second;
}

}  // namespace Tavrin::Proxy
