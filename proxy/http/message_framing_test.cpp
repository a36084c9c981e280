// Strict framing: the header rules on their own, then requests that would
// smuggle a second request past the proxy, and answers that would do the
// same to the client, through a running proxy.
#include "proxy/http/message_framing.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace http = boost::beast::http;

http::fields fields_of(std::initializer_list<std::pair<const char*, const char*>> list) {
  http::fields fields;
  for (const auto& [name, value] : list) fields.insert(name, value);
  return fields;
}

bool refused(std::initializer_list<std::pair<const char*, const char*>> list, unsigned version = 11,
             bool request = true) {
  return framing_fault(fields_of(list), version, request).has_value();
}

TEST(FramingFaultTest, PlainFramingPasses) {
  EXPECT_FALSE(refused({}));
  EXPECT_FALSE(refused({{"Content-Length", "12"}, {"Connection", "keep-alive, Upgrade"}}));
  EXPECT_FALSE(refused({{"Transfer-Encoding", "gzip, chunked"}}));
  EXPECT_FALSE(refused({{"Transfer-Encoding", "gzip"}, {"Transfer-Encoding", "Chunked"}}));
  EXPECT_FALSE(refused({{"Connection", "close, X-Private"}, {"X-Private", "1"}}));
}

TEST(FramingFaultTest, ConnectionMayNotNameEndToEndFields) {
  EXPECT_TRUE(refused({{"Connection", "close, Content-Length"}, {"Content-Length", "5"}}));
  EXPECT_TRUE(refused({{"Connection", "close"}, {"Connection", "transfer-encoding"}}));
  EXPECT_TRUE(refused({{"Connection", "Host"}}));
  EXPECT_TRUE(refused({{"Connection", "close, Content-Length"}}, 11, false)) << "answers too";
  const auto why = framing_fault(fields_of({{"Connection", "close,  CONTENT-LENGTH "}}), 11, true);
  ASSERT_TRUE(why);
  EXPECT_NE(why->find("content-length"), std::string::npos) << *why;
}

TEST(FramingFaultTest, TransferEncodingMustEndInChunkedAlone) {
  EXPECT_TRUE(refused({{"Transfer-Encoding", "chunked, identity"}}));
  EXPECT_TRUE(refused({{"Transfer-Encoding", "identity"}}));
  EXPECT_TRUE(refused({{"Transfer-Encoding", "chunked"}, {"Transfer-Encoding", "gzip"}}));
  EXPECT_TRUE(refused({{"Transfer-Encoding", "chunked, chunked"}}));
  EXPECT_TRUE(refused({{"Transfer-Encoding", ""}}));
  EXPECT_TRUE(refused({{"Transfer-Encoding", "chunked"}, {"Content-Length", "3"}}));
  EXPECT_TRUE(refused({{"Transfer-Encoding", "chunked"}}, 10, true));
  EXPECT_FALSE(refused({{"Transfer-Encoding", "chunked"}}, 10, false));
  EXPECT_TRUE(refused({{"Transfer-Encoding", "gzip"}}, 11, false));
}

TEST(FramingFaultTest, LengthsMustBeOneAndPlain) {
  EXPECT_TRUE(refused({{"Content-Length", "5"}, {"Content-Length", "5"}}));
  EXPECT_TRUE(refused({{"Content-Length", "5, 5"}}));
  EXPECT_TRUE(refused({{"Content-Length", "+5"}}));
  EXPECT_TRUE(refused({{"Content-Length", ""}}));
  EXPECT_TRUE(refused({{"Content-Length", "99999999999999999999"}}));
  EXPECT_FALSE(refused({{"Content-Length", "0"}}));
}


class FramingTest : public ProxyFixture {};

// The bodies below hold a whole second request; a proxy that strips the
// framing header, or reads no body, would hand it to the origin as one.
TEST_F(FramingTest, SmugglingRequestsAreRefusedBeforeTheOrigin) {
  TestOrigin origin([](const SeenRequest&) { return Reply{}; });
  start_proxy();
  const std::string target = "http://127.0.0.1:" + std::to_string(origin.port()) + "/";
  const std::string smuggled = "GET /smuggled HTTP/1.1\r\nHost: x\r\n\r\n";
  const std::string length = std::to_string(smuggled.size());
  const std::vector<std::string> headers = {
      "Connection: close, Content-Length\r\nContent-Length: " + length,
      "Connection: keep-alive, Transfer-Encoding\r\nTransfer-Encoding: chunked",
      "Transfer-Encoding: chunked, identity",
      "Transfer-Encoding: identity\r\nContent-Length: " + length,
      "Content-Length: " + length + "\r\nContent-Length: 0",
  };
  for (const std::string& header : headers) {
    const std::string answer =
        raw_exchange(proxy_port(), "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + header + "\r\n\r\n" + smuggled);
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 400") << header << "\n" << answer;
  }
  EXPECT_TRUE(origin.requests().empty()) << origin.requests().front().target;
  // A request framed plainly still passes.
  const std::string plain =
      raw_exchange(proxy_port(), "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: " +
                                     length + "\r\n\r\n" + smuggled);
  EXPECT_EQ(plain.substr(0, 12), "HTTP/1.1 200") << plain;
  ASSERT_EQ(origin.requests().size(), 1u);
  EXPECT_EQ(origin.requests().front().body, smuggled);
}

// An answer framed in doubt never reaches the client: it gets a 502 page.
TEST_F(FramingTest, AnswersInDoubtBecomeBadGateway) {
  const std::vector<std::string> answers = {
      "HTTP/1.1 200 OK\r\nConnection: close, Content-Length\r\nContent-Length: 5\r\n\r\nhello",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, identity\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nhello",
  };
  std::size_t next = 0;
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply;
    reply.raw = answers[next++ % answers.size()];
    return reply;
  });
  start_proxy();
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const CurlResult result = curl({"http://127.0.0.1:" + std::to_string(origin.port()) + "/" + std::to_string(i)});
    EXPECT_EQ(result.status, 502u) << answers[i];
    EXPECT_NE(result.body.find("refused"), std::string::npos) << result.body;
  }
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
