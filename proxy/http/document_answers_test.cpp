// What a browser makes of a document answer; the names of downloads; the
// documents made for text and images; the answers to HTTP challenges.
#include "proxy/http/document_answers.h"

#include <gtest/gtest.h>

#include "proxy/http/http_credentials.h"

namespace Tavrin::Proxy::Http {
namespace {

http::response_header<> answer(unsigned status, const std::string& type, const std::string& disposition = {}) {
  http::response_header<> header;
  header.result(status);
  if (!type.empty()) header.set(http::field::content_type, type);
  if (!disposition.empty()) header.set(http::field::content_disposition, disposition);
  return header;
}

TEST(DocumentAnswersTest, WhatTheBrowserMakesOfAnAnswer) {
  const auto get = http::verb::get;
  EXPECT_EQ(classify_document_answer(get, answer(200, "text/html")), DocumentAnswer::kPage);
  EXPECT_EQ(classify_document_answer(get, answer(301, "text/html")), DocumentAnswer::kPage) << "no Location";
  auto redirect = answer(302, "text/html");
  redirect.set(http::field::location, "/next");
  EXPECT_EQ(classify_document_answer(get, redirect), DocumentAnswer::kPassed);
  EXPECT_EQ(classify_document_answer(get, answer(304, "")), DocumentAnswer::kPassed);
  EXPECT_EQ(classify_document_answer(http::verb::head, answer(200, "application/zip")), DocumentAnswer::kPassed);
  EXPECT_EQ(classify_document_answer(get, answer(204, "")), DocumentAnswer::kNoContent);
  EXPECT_EQ(classify_document_answer(get, answer(200, "text/html", "attachment; filename=a.html")),
            DocumentAnswer::kDownload);
  EXPECT_EQ(classify_document_answer(get, answer(200, "application/octet-stream")), DocumentAnswer::kDownload);
  EXPECT_EQ(classify_document_answer(get, answer(200, "application/zip")), DocumentAnswer::kDownload);
  EXPECT_EQ(classify_document_answer(get, answer(200, "application/json; charset=utf-8")), DocumentAnswer::kText);
  EXPECT_EQ(classify_document_answer(get, answer(404, "application/problem+json")), DocumentAnswer::kText);
  EXPECT_EQ(classify_document_answer(get, answer(200, "Text/Plain")), DocumentAnswer::kText);
  EXPECT_EQ(classify_document_answer(get, answer(200, "image/png")), DocumentAnswer::kImage);
  EXPECT_EQ(classify_document_answer(get, answer(200, "application/pdf")), DocumentAnswer::kShown);
  EXPECT_EQ(classify_document_answer(get, answer(200, "video/webm")), DocumentAnswer::kMedia);
  EXPECT_EQ(classify_document_answer(get, answer(200, "Audio/Ogg; codecs=opus")), DocumentAnswer::kMedia);
  EXPECT_EQ(classify_document_answer(get, answer(200, "text/xml")), DocumentAnswer::kShown);
  EXPECT_EQ(classify_document_answer(get, answer(200, "")), DocumentAnswer::kPassed) << "the browser sniffs it";
}

TEST(DocumentAnswersTest, SuggestedNames) {
  EXPECT_EQ(suggested_file_name("attachment; filename=\"report 1.csv\"", "/x"), "report 1.csv");
  EXPECT_EQ(suggested_file_name("attachment; filename=a.txt; filename*=UTF-8''%C3%A9t%C3%A9.txt", "/x"),
            "\xC3\xA9t\xC3\xA9.txt");
  EXPECT_EQ(suggested_file_name("attachment", "/files/data%20set.bin?v=2"), "data set.bin");
  EXPECT_EQ(suggested_file_name("attachment; filename=\"../../etc/passwd\"", "/x"), "passwd") << "no path";
  EXPECT_EQ(suggested_file_name("attachment; filename=\"..\"", "/"), "download");
  EXPECT_EQ(suggested_file_name("", "/"), "download");
}

TEST(DocumentAnswersTest, TheDocumentsMadeForTextAndImages) {
  const std::string text = text_view_document("{\"a\":\"<b>&\"}");
  EXPECT_NE(text.find("<pre style=\"word-wrap: break-word; white-space: pre-wrap;\">{&quot;a&quot;:&quot;&lt;b&gt;&amp;&quot;}</pre>"),
            std::string::npos)
      << text;
  const std::string image = image_view_document("http://a.test/p.png?x=\"1\"", "p.png");
  EXPECT_NE(image.find("<img style=\"display: block; margin: auto;\" src=\"http://a.test/p.png?x=&quot;1&quot;\">"),
            std::string::npos)
      << image;
  EXPECT_NE(image.find("<title>p.png</title>"), std::string::npos);
  const std::string media = media_view_document("http://a.test/c.webm?a=1&b=2", "video/webm");
  EXPECT_NE(media.find("<source src=\"http://a.test/c.webm?a=1&amp;b=2\" type=\"video/webm\">"), std::string::npos)
      << media;
}

// The example of RFC 2617 (Digest, MD5, qop=auth), and Basic.
TEST(HttpCredentialsTest, AnswersBasicAndDigestChallenges) {
  const Credentials mufasa{"Mufasa", "Circle Of Life"};
  const std::string challenge =
      "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
  const auto digest = answer_challenge({"Basic realm=\"x\"", challenge}, mufasa, "GET", "/dir/index.html", "0a4f113b");
  ASSERT_TRUE(digest);
  EXPECT_EQ(auth_parameter(*digest, "response"), "6629fae49393a05397450978507c4ef1") << *digest;
  EXPECT_EQ(auth_parameter(*digest, "opaque"), "5ccc069c403ebaf9f0171e9517f40e41");
  EXPECT_EQ(auth_parameter(*digest, "nc"), "00000001");
  EXPECT_EQ(answer_challenge({"Basic realm=\"x\""}, {"Aladdin", "open sesame"}, "GET", "/", "c"),
            "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_FALSE(answer_challenge({"Negotiate", "Bearer realm=\"x\""}, mufasa, "GET", "/", "c"));
  EXPECT_FALSE(answer_challenge({"Digest realm=\"r\", nonce=\"n\", algorithm=MD5-unknown"}, mufasa, "GET", "/", "c"));
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
