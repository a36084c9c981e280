// Forwarding through the proxy with curl as the browser and origins that
// the tests start: methods, bodies both ways, keep-alive, HTTP/1.0, and
// failures that must show as pages.
#include <atomic>
#include <fstream>
#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

using std::chrono::milliseconds;

std::string origin_url(const TestOrigin& origin, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(origin.port()) + path;
}

Reply text(const std::string& body) {
  Reply reply;
  reply.fields = {{"Content-Type", "text/plain"}};
  reply.body = body;
  return reply;
}


bool same_file(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> p(1 << 16), q(1 << 16);
  while (x && y) {
    x.read(p.data(), static_cast<std::streamsize>(p.size()));
    y.read(q.data(), static_cast<std::streamsize>(q.size()));
    if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
  }
  return x.eof() && y.eof();
}

class ForwardTest : public ProxyFixture {};

// A request counts once its answer's last byte is written, which may be a
// moment after curl has read it: wait a bounded time for the count.
#define EXPECT_REQUEST_COUNT(n)                                                                   \
  EXPECT_TRUE(quorvane_test::wait_until([&] { return state_->request_count() == (n); },           \
                                        std::chrono::milliseconds(5000)))                           \
      << "requests counted: " << state_->request_count()

// A GET goes to the origin in origin form with its Host; a HEAD keeps the
// length and brings no body; proxy-only fields never reach the origin.
TEST_F(ForwardTest, GetAndHeadReachTheOrigin) {
  TestOrigin origin([](const SeenRequest&) { return text("hello"); });
  start_proxy();
  const CurlResult get = curl({"-H", "Proxy-Connection: keep-alive", origin_url(origin, "/a/b?c=1")});
  EXPECT_EQ(get.status, 200u);
  EXPECT_EQ(get.body, "hello");
  const CurlResult head = curl({"-I", origin_url(origin, "/h")});
  EXPECT_EQ(head.status, 200u);
  EXPECT_EQ(head.field("Content-Length"), "5");
  const auto seen = origin.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].target, "/a/b?c=1");
  EXPECT_EQ(seen[0].field("Host"), "127.0.0.1:" + std::to_string(origin.port()));
  EXPECT_FALSE(seen[0].has("Proxy-Connection"));
  EXPECT_EQ(seen[1].method, "HEAD");
}

// Request bodies arrive whole: 1 MB with a length, the same chunked, and
// one behind "Expect: 100-continue".
TEST_F(ForwardTest, RequestBodiesArriveWhole) {
  TestOrigin origin([](const SeenRequest& r) { return text(std::to_string(r.body.size())); });
  start_proxy();
  std::string body(1 << 20, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  const std::string file = dir_.file("upload.bin");
  quorvane_test::write_file(file, body);
  EXPECT_EQ(curl({"--data-binary", "@" + file, origin_url(origin, "/post")}).body, "1048576");
  EXPECT_EQ(curl({"-H", "Transfer-Encoding: chunked", "--data-binary", "@" + file, origin_url(origin, "/chunked")})
                .body,
            "1048576");
  EXPECT_EQ(curl({"-H", "Expect: 100-continue", "--data-binary", "small", origin_url(origin, "/expect")}).body, "5");
  const auto seen = origin.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(seen[0].body == body) << seen[0].body.size();
  EXPECT_TRUE(seen[1].body == body) << seen[1].body.size();
  EXPECT_EQ(seen[1].field("Transfer-Encoding"), "chunked");
  EXPECT_FALSE(seen[2].has("Expect"));
}

// Two requests in one curl run share one client connection and one origin
// connection.
TEST_F(ForwardTest, KeepAliveOnBothSides) {
  TestOrigin origin([](const SeenRequest&) { return text("x"); });
  start_proxy();
  const CurlResult both = curl({"-o", "/dev/null", origin_url(origin, "/1"), "-o", "/dev/null", origin_url(origin, "/2")});
  EXPECT_EQ(both.write_out, "200 1\n200 0\n");
  EXPECT_EQ(origin.connections(), 1);
  EXPECT_EQ(origin.requests().size(), 2u);
}

// A chunked answer to an HTTP/1.0 client comes without chunks, ended by
// the connection; a 1.1 client gets the chunks.
TEST_F(ForwardTest, HttpOneZeroClientGetsNoChunks) {
  TestOrigin origin([](const SeenRequest&) {
    Reply reply = text(std::string(100000, 'z'));
    reply.chunked = true;
    return reply;
  });
  start_proxy();
  const CurlResult old = curl({"-0", origin_url(origin, "/")});
  EXPECT_TRUE(old.body == std::string(100000, 'z')) << old.body.size();
  EXPECT_EQ(old.field("Transfer-Encoding"), "");
  const CurlResult current = curl({origin_url(origin, "/")});
  EXPECT_TRUE(current.body == std::string(100000, 'z')) << current.body.size();
  EXPECT_EQ(current.field("Transfer-Encoding"), "chunked");
}

// Answers pass on as the origin wrote them: its reason phrase, repeated
// fields in their order, and an answer to HEAD that names a chunked body
// but has none is its header alone, so the next answer on the connection
// follows it directly. A 1.0 client gets a 1.0 status line.
TEST_F(ForwardTest, AnswerHeadersPassAsWritten) {
  TestOrigin origin([](const SeenRequest& r) {
    Reply reply;
    if (r.method == "HEAD") {
      reply.raw = "HTTP/1.1 200 Fine\r\nTransfer-Encoding: chunked\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n\r\n";
    } else {
      reply.raw = "HTTP/1.1 203 Somewhat Fine\r\nContent-Length: 2\r\nX-A: 1\r\nX-A: 2\r\n\r\nok";
    }
    return reply;
  });
  start_proxy();
  const std::string url = origin_url(origin, "/h");
  const std::string both = raw_exchange(proxy_port(), "HEAD " + url + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\nGET " + url +
                                                    " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  const std::size_t second = both.find("HTTP/1.1 203 Somewhat Fine\r\n");
  ASSERT_NE(second, std::string::npos) << both;
  const std::string head = both.substr(0, second);
  EXPECT_EQ(head.rfind("HTTP/1.1 200 Fine\r\n", 0), 0u) << both;
  EXPECT_NE(head.find("Set-Cookie: a=1\r\nSet-Cookie: b=2\r\n"), std::string::npos) << both;
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << "bytes after the HEAD answer's header: " << both;
  const std::string get = both.substr(second);
  EXPECT_NE(get.find("X-A: 1\r\nX-A: 2\r\n"), std::string::npos) << both;
  EXPECT_EQ(get.substr(get.size() - 6), "\r\n\r\nok") << both;

  const std::string old = raw_exchange(proxy_port(), "GET " + url + " HTTP/1.0\r\n\r\n");
  EXPECT_EQ(old.rfind("HTTP/1.0 203 Somewhat Fine\r\n", 0), 0u) << old;
  EXPECT_EQ(old.substr(old.size() - 2), "ok") << old;
}

// 100 MB pass byte for byte while the process stays small: bodies stream.
TEST_F(ForwardTest, LargeBinaryStreamsUnchanged) {
  const std::string big = dir_.file("big.bin");
  {
    std::ofstream out(big, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (int i = 0; i < 100; ++i) {
      for (std::size_t j = 0; j < block.size(); j += 4096) block[j] = static_cast<char>(i * 7 + j / 4096);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  TestOrigin origin([big](const SeenRequest&) {
    Reply reply;
    reply.fields = {{"Content-Type", "application/octet-stream"}};
    reply.file = big;
    return reply;
  });
  start_proxy();
  const std::string copy = dir_.file("copy.bin");
  const CurlResult result = curl({"-o", copy, origin_url(origin, "/big.bin")});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_LT(peak_resident_kb(), 40 * 1024) << "the proxy held the body";
  EXPECT_TRUE(same_file(copy, big)) << "the copy differs";
}

// An origin that cannot be reached, that is silent or that answers
// nonsense gives a page naming the host and the cause.
TEST_F(ForwardTest, OriginFailuresBecomePages) {
  ProxySettings settings = default_settings();
  settings.read_timeout = milliseconds(300);
  start_proxy(settings);
  const CurlResult dns = curl({"http://no-such-host.invalid/"});
  EXPECT_EQ(dns.status, 502u);
  EXPECT_NE(dns.body.find("no-such-host.invalid"), std::string::npos);

  std::uint16_t closed_port;
  {
    TestOrigin gone([](const SeenRequest&) { return text(""); });
    closed_port = gone.port();
  }
  const CurlResult refused = curl({"http://127.0.0.1:" + std::to_string(closed_port) + "/"});
  EXPECT_EQ(refused.status, 502u);
  EXPECT_NE(refused.body.find("Unable to connect to 127.0.0.1:" + std::to_string(closed_port)), std::string::npos);

  TestOrigin silent([](const SeenRequest&) {
    Reply reply;
    reply.silence = milliseconds(1500);
    return reply;
  });
  const CurlResult timeout = curl({origin_url(silent, "/")});
  EXPECT_EQ(timeout.status, 504u);
  EXPECT_NE(timeout.body.find("did not answer"), std::string::npos);

  TestOrigin babbling([](const SeenRequest&) {
    Reply reply;
    reply.raw = "NONSENSE\r\n\r\n";
    return reply;
  });
  const CurlResult malformed = curl({origin_url(babbling, "/")});
  EXPECT_EQ(malformed.status, 502u);
  EXPECT_NE(malformed.body.find("malformed"), std::string::npos);
}

// Malformed requests get 400, oversized headers 431, and the server goes on
// serving other connections.
TEST_F(ForwardTest, BadRequestsAreRefusedAndContained) {
  TestOrigin origin([](const SeenRequest&) { return text("fine"); });
  ProxySettings settings = default_settings();
  settings.max_header_count = 20;
  start_proxy(settings);
  EXPECT_EQ(raw_exchange(proxy_port(), "GARBAGE\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  EXPECT_EQ(raw_exchange(proxy_port(), "GET ftp://x/ HTTP/1.1\r\nHost: x\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  EXPECT_EQ(raw_exchange(proxy_port(), "GET http://x/ HTTP/1.1\r\nX: " + std::string(70000, 'a') + "\r\n\r\n")
                .substr(0, 12),
            "HTTP/1.1 431");
  std::string many = "GET " + origin_url(origin, "/") + " HTTP/1.1\r\n";
  for (int i = 0; i < 30; ++i) many += "X-" + std::to_string(i) + ": 1\r\n";
  EXPECT_EQ(raw_exchange(proxy_port(), many + "\r\n").substr(0, 12), "HTTP/1.1 431");
  EXPECT_EQ(curl({origin_url(origin, "/")}).body, "fine");
}

// The proxy's own address is no destination: asked for itself it answers
// and does not loop.
TEST_F(ForwardTest, RequestForTheProxyItselfIsNotForwarded) {
  start_proxy();
  const CurlResult self = curl({proxy_url() + "/page"});
  EXPECT_EQ(self.status, 400u);
  EXPECT_NE(self.body.find("does not forward requests to itself"), std::string::npos);
  EXPECT_EQ(curl({"http://localhost:" + std::to_string(proxy_port()) + "/"}).status, 400u);
  EXPECT_REQUEST_COUNT(2);
}

// Requests are counted once served, and the server is busy while one is
// in flight.
TEST_F(ForwardTest, RequestCountAndBusyFollowTraffic) {
  TestOrigin origin([](const SeenRequest& r) {
    Reply reply = text("ok");
    if (r.target == "/slow") reply.delay = milliseconds(800);
    return reply;
  });
  start_proxy();
  EXPECT_FALSE(state_->busy());
  curl({"-o", "/dev/null", origin_url(origin, "/1"), "-o", "/dev/null", origin_url(origin, "/2")});
  EXPECT_REQUEST_COUNT(2);
  // On a loaded machine curl may take longer than the origin's delay to
  // start, so watch for as long as the slow request lasts, not for a fixed time.
  std::atomic<bool> slow_done{false};
  std::thread slow([&] {
    curl({origin_url(origin, "/slow")});
    slow_done = true;
  });
  bool seen_busy = false;
  while (!seen_busy && !slow_done) {
    seen_busy = state_->busy();
    std::this_thread::sleep_for(milliseconds(5));
  }
  slow.join();
  EXPECT_TRUE(seen_busy);
  // The proxy marks the request finished just after the answer's last byte.
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !state_->busy(); }, milliseconds(5000)));
  EXPECT_REQUEST_COUNT(3);
}

// A service worker's script is refused; nothing reaches the origin.
TEST_F(ForwardTest, ServiceWorkerScriptsAreRefused) {
  TestOrigin origin([](const SeenRequest&) { return text("sw"); });
  start_proxy();
  EXPECT_EQ(curl({"-H", "Service-Worker: script", origin_url(origin, "/sw.js")}).status, 403u);
  EXPECT_TRUE(origin.requests().empty());
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
