#include "proxy/http/testing/proxy_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include "common/script_injector.h"
#include "proxy/http/package_files.h"
#include "platform/text.h"
#include "test_support/run_program.h"

namespace Tavrin::Proxy::Http::Testing {

namespace {
std::mutex notes_mutex;
}

std::string CurlResult::field(const std::string& name) const {
  std::istringstream lines(headers);
  std::string line;
  std::string wanted = name + ":";
  std::transform(wanted.begin(), wanted.end(), wanted.begin(), [](unsigned char c) { return std::tolower(c); });
  while (std::getline(lines, line)) {
    std::string lowered = line;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lowered.rfind(wanted, 0) == 0) {
      std::string value = line.substr(wanted.size());
      value.erase(0, value.find_first_not_of(' '));
      while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
      return value;
    }
  }
  return {};
}

ProxyFixture::ProxyFixture() : state_(std::make_shared<ProxyState>(std::chrono::milliseconds(0))) {
  package_ = write_package(kAgentSource);
}

ProxyFixture::~ProxyFixture() {
  if (server_) server_->stop();
}

std::string ProxyFixture::write_package(const std::string& source) {
  const std::string script = dir_.file("api.js");
  quorvane_test::write_file(script, source);
  ScriptInjector injector;
  injector.AddFile({"api.js", script}, true, File::MIMEType::kJavaScript);
  const std::string path = dir_.file("Resource.dat");
  injector.Serialize(Platform::from_utf8(path));
  return path;
}

std::string ProxyFixture::package_version() const {
  return PackageFiles(package_, nullptr).version();
}

std::string ProxyFixture::agent_element() const {
  return "<script src=\"/quorvane/special/file/api.js?v=" + package_version() + "\" type=\"text/javascript\"></script>";
}

ProxySettings ProxyFixture::default_settings() const {
  ProxySettings settings;
  settings.port = 0;
  settings.package = package_;
  settings.authority_folder = dir_.file("authority");
  settings.connect_timeout = std::chrono::milliseconds(2000);
  settings.read_timeout = std::chrono::milliseconds(5000);
  auto* notes = const_cast<std::vector<std::string>*>(&notes_);
  settings.note = [notes](const std::string& text) {
    std::lock_guard<std::mutex> lock(notes_mutex);
    notes->push_back(text);
  };
  return settings;
}

void ProxyFixture::start_proxy(ProxySettings settings) {
  server_ = std::make_unique<ProxyServer>(std::move(settings), state_);
  server_->start(2);
}

std::string ProxyFixture::proxy_url() const { return "http://127.0.0.1:" + std::to_string(server_->port()); }

CurlResult ProxyFixture::curl(const std::vector<std::string>& arguments, bool through_proxy) {
  static std::atomic<int> serial{0};  // curl may run on several threads at once
  const std::string body_file = dir_.file("curl-body-" + std::to_string(++serial));
  const std::string header_file = body_file + ".headers";
  std::vector<std::string> args = {"curl", "-sS", "--max-time", "60", "-D", header_file, "-w",
                                   "%{http_code} %{num_connects}\\n"};
  // The body goes to the test's own file when it names one.
  if (std::find(arguments.begin(), arguments.end(), "-o") == arguments.end()) {
    args.push_back("-o");
    args.push_back(body_file);
  }
  if (through_proxy) {
    args.push_back("--proxy");
    args.push_back(proxy_url());
  }
  args.insert(args.end(), arguments.begin(), arguments.end());
  const quorvane_test::ProgramRun run = quorvane_test::run_program(args);
  CurlResult result;
  result.write_out = run.out;
  result.exit_code = run.exit;
  result.status = static_cast<unsigned>(std::atoi(result.write_out.c_str()));
  result.body = quorvane_test::read_file(body_file);
  const std::string all_headers = quorvane_test::read_file(header_file);
  // The last header block (after 100 Continue or a CONNECT answer).
  std::size_t last = all_headers.rfind("\r\n\r\nHTTP/");
  result.headers = last == std::string::npos ? all_headers : all_headers.substr(last + 4);
  std::remove(body_file.c_str());
  std::remove(header_file.c_str());
  return result;
}

std::uint16_t ProxyFixture::open_browser_run_port(const std::string& run) {
  const std::uint16_t port = server_->open_run_port(run);
  server_->add_run_browser(run, static_cast<int>(::getpid()));
  return port;
}

std::string ProxyFixture::agent_key_over(std::uint16_t port, const std::string& url) {
  const CurlResult page =
      curl({"--proxy", "http://127.0.0.1:" + std::to_string(port), "-H", "Sec-Fetch-Dest: document", url}, false);
  EXPECT_EQ(page.status, 200u) << url;
  return agent_key_in(page.body);
}

bool ProxyFixture::has_note(const std::string& part) const {
  std::lock_guard<std::mutex> lock(notes_mutex);
  for (const std::string& note : notes_)
    if (note.find(part) != std::string::npos) return true;
  return false;
}

std::string agent_key_in(const std::string& document) {
  const std::string attribute = std::string(kAgentKeyAttribute) + "=\"";
  const std::size_t at = document.find(attribute);
  if (at == std::string::npos) return std::string();
  const std::size_t from = at + attribute.size();
  return document.substr(from, document.find('"', from) - from);
}

long peak_resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

std::string raw_exchange(std::uint16_t port, const std::string& bytes) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io);
  socket.connect({boost::asio::ip::address_v4::loopback(), port});
  boost::asio::write(socket, boost::asio::buffer(bytes));
  std::string answer;
  boost::system::error_code ec;
  boost::asio::read(socket, boost::asio::dynamic_buffer(answer), ec);
  return answer;
}

}  // namespace Tavrin::Proxy::Http::Testing
