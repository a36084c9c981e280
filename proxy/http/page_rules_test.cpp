// The rules that pick documents and injectable answers, clean hop-by-hop
// fields and open policies for the agent.
#include "proxy/http/page_rules.h"

#include <gtest/gtest.h>

#include "proxy/http/request_target.h"

namespace Tavrin::Proxy::Http {
namespace {

http::response_header<> answer(unsigned status, const std::string& type) {
  http::response_header<> header;
  header.result(status);
  header.set(http::field::content_type, type);
  return header;
}

TEST(PageRulesTest, DocumentRequests) {
  http::fields fetch;
  fetch.set("Sec-Fetch-Dest", "document");
  EXPECT_TRUE(is_document_request(fetch));
  fetch.set("Sec-Fetch-Dest", "script");
  fetch.set(http::field::accept, "text/html");
  EXPECT_FALSE(is_document_request(fetch)) << "Sec-Fetch-Dest wins over Accept";
  http::fields old;
  old.set(http::field::accept, "TEXT/HTML,*/*");
  EXPECT_TRUE(is_document_request(old));
  old.set("X-Requested-With", "XMLHttpRequest");
  EXPECT_FALSE(is_document_request(old));
  EXPECT_FALSE(is_document_request(http::fields()));
}

TEST(PageRulesTest, InjectableAnswers) {
  EXPECT_TRUE(is_injectable_response(http::verb::get, answer(200, "text/html; charset=iso-8859-1")));
  EXPECT_TRUE(is_injectable_response(http::verb::post, answer(500, "application/xhtml+xml")));
  EXPECT_FALSE(is_injectable_response(http::verb::head, answer(200, "text/html")));
  EXPECT_FALSE(is_injectable_response(http::verb::get, answer(204, "text/html")));
  EXPECT_FALSE(is_injectable_response(http::verb::get, answer(304, "text/html")));
  EXPECT_FALSE(is_injectable_response(http::verb::get, answer(206, "text/html")));
  EXPECT_FALSE(is_injectable_response(http::verb::get, answer(200, "text/htmlx")));
  EXPECT_TRUE(is_injectable_response(http::verb::get, answer(301, "text/html"))) << "a 301 without Location is shown";
  EXPECT_TRUE(is_injectable_response(http::verb::get, answer(201, "text/html")));
  auto redirect = answer(302, "text/html");
  redirect.set(http::field::location, "/elsewhere");
  EXPECT_FALSE(is_injectable_response(http::verb::get, redirect)) << "the browser follows it";
  auto attachment = answer(200, "text/html");
  attachment.set(http::field::content_disposition, "Attachment; filename=x.html");
  EXPECT_FALSE(is_injectable_response(http::verb::get, attachment));
}

// Connection and what it names go; an upgrade keeps what it needs.
TEST(PageRulesTest, HopByHopFields) {
  http::fields fields;
  fields.set(http::field::connection, "keep-alive, x-PRIVATE, Upgrade");
  fields.set("X-Private", "1");
  fields.insert("x-private", "2");
  fields.set(http::field::te, "trailers");
  fields.set("Keep-Alive", "timeout=5");
  fields.set("Proxy-Authorization", "Basic x");
  fields.set(http::field::upgrade, "websocket");
  fields.set(http::field::transfer_encoding, "chunked");
  fields.set("X-Kept", "1");
  http::fields upgrade = fields;
  remove_hop_by_hop(fields);
  EXPECT_EQ(fields.find("X-Private"), fields.end());
  EXPECT_EQ(fields.find("Keep-Alive"), fields.end());
  EXPECT_EQ(fields.find("Proxy-Authorization"), fields.end());
  EXPECT_EQ(fields.find(http::field::te), fields.end());
  EXPECT_EQ(fields.find(http::field::upgrade), fields.end());
  EXPECT_EQ(fields.find(http::field::connection), fields.end());
  EXPECT_EQ(fields[http::field::transfer_encoding], "chunked");
  EXPECT_EQ(fields["X-Kept"], "1");
  remove_hop_by_hop(upgrade, true);
  EXPECT_EQ(upgrade[http::field::upgrade], "websocket");
  EXPECT_EQ(upgrade[http::field::connection], "upgrade");
  EXPECT_EQ(upgrade.find("X-Private"), upgrade.end());
}

TEST(PageRulesTest, PoliciesAllowTheNonce) {
  EXPECT_EQ(allow_nonce_in_policy("script-src 'self'; img-src *", "N"), "script-src 'self' 'nonce-N'; img-src *");
  EXPECT_EQ(allow_nonce_in_policy("default-src 'none'", "N"), "default-src 'nonce-N'");
  EXPECT_EQ(allow_nonce_in_policy("default-src 'self'; script-src-elem a.test", "N"),
            "default-src 'self'; script-src-elem a.test 'nonce-N'");
  EXPECT_EQ(allow_nonce_in_policy("img-src *;;", "N"), "img-src *");
  EXPECT_EQ(allow_nonce_in_policy("script-src 'unsafe-inline' cdn.test", "N"),
            "script-src 'unsafe-inline' cdn.test 'self'")
      << "a nonce would switch inline scripts off";
  EXPECT_EQ(allow_nonce_in_policy("script-src 'strict-dynamic' 'unsafe-inline' 'nonce-P'", "N"),
            "script-src 'strict-dynamic' 'unsafe-inline' 'nonce-P' 'nonce-N'");
  EXPECT_EQ(with_nonce("<script src=\"a\"></script><script src=\"b\"></script>", "N"),
            "<script nonce=\"N\" src=\"a\"></script><script nonce=\"N\" src=\"b\"></script>");
  EXPECT_NE(make_nonce(), make_nonce());
}

TEST(PageRulesTest, DocumentRequestsAskForFreshIdentityBodies) {
  http::fields request;
  request.set(http::field::if_none_match, "\"x\"");
  request.set(http::field::if_modified_since, "Mon, 01 Jan 2024 00:00:00 GMT");
  request.set(http::field::range, "bytes=0-10");
  request.set(http::field::accept_encoding, "gzip, br");
  prepare_document_request(request);
  EXPECT_EQ(request.find(http::field::if_none_match), request.end());
  EXPECT_EQ(request.find(http::field::if_modified_since), request.end());
  EXPECT_EQ(request.find(http::field::range), request.end());
  EXPECT_EQ(request[http::field::accept_encoding], "identity");
}

TEST(RequestTargetTest, Forms) {
  const auto absolute = parse_request_target("http://Example.TEST:8080/a?b#c", std::nullopt);
  ASSERT_TRUE(absolute && absolute->origin);
  EXPECT_EQ(absolute->origin->host, "example.test");
  EXPECT_EQ(absolute->origin->port, 8080);
  EXPECT_EQ(absolute->path, "/a?b");
  EXPECT_EQ(absolute->origin->host_header(), "example.test:8080");
  const auto bare = parse_request_target("https://[::1]?q", std::nullopt);
  ASSERT_TRUE(bare && bare->origin);
  EXPECT_TRUE(bare->origin->tls);
  EXPECT_EQ(bare->origin->port, 443);
  EXPECT_EQ(bare->path, "/?q");
  EXPECT_EQ(bare->origin->host_header(), "[::1]");
  const Origin tunnel{true, "secure.test", 443};
  const auto inside = parse_request_target("/x", tunnel);
  ASSERT_TRUE(inside && inside->origin);
  EXPECT_EQ(*inside->origin, tunnel);
  EXPECT_FALSE(parse_request_target("/x", std::nullopt)->origin);
  EXPECT_FALSE(parse_request_target("ftp://x/", std::nullopt));
  EXPECT_FALSE(parse_request_target("http://user@x/", std::nullopt));
  EXPECT_FALSE(parse_request_target("http://x:0/", std::nullopt));
  EXPECT_FALSE(parse_request_target("http://x:65536/", std::nullopt));
  EXPECT_FALSE(parse_request_target("http://a b/", std::nullopt));
  EXPECT_FALSE(parse_authority("[::1", true));
  EXPECT_EQ(parse_authority("h.test:8443", true)->port, 8443);
  EXPECT_TRUE(is_loopback_host("127.0.0.2"));
  EXPECT_TRUE(is_loopback_host("::1"));
  EXPECT_TRUE(is_loopback_host("localhost"));
  EXPECT_FALSE(is_loopback_host("10.0.0.1"));
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
