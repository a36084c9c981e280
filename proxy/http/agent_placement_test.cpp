#include "proxy/http/agent_placement.h"

#include <string>

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace Tavrin::Proxy::Http {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The page with "@" put where the agent goes; the page itself when it
// offers no early place.
std::string placed(const std::string& page) {
  const std::size_t at = agent_insertion_point(page);
  if (at == npos) return page;
  std::string out = page;
  out.insert(at, "@");
  return out;
}

// Usual pages: after the head start tag, before every script of the page,
// the doctype and the html element's attributes untouched.
TEST(AgentPlacementTest, GoesBeforeThePagesOwnScripts) {
  EXPECT_EQ(placed("<!DOCTYPE html><html><head><script>JSON = 1;</script></head></html>"),
            "<!DOCTYPE html><html><head>@<script>JSON = 1;</script></head></html>");
  EXPECT_EQ(placed("<!doctype html>\n<html lang=\"en\" data-x='a>b'>\n  <HEAD profile=\"p\">\n<title>t</title>"),
            "<!doctype html>\n<html lang=\"en\" data-x='a>b'>\n  <HEAD profile=\"p\">@\n<title>t</title>");
  // A script before the head, or no head at all.
  EXPECT_EQ(placed("<html><script>x()</script><head></head>"), "<html>@<script>x()</script><head></head>");
  EXPECT_EQ(placed("<!DOCTYPE html><title>t</title><script>x()</script>"),
            "<!DOCTYPE html>@<title>t</title><script>x()</script>");
  EXPECT_EQ(placed("<head><script>x()</script></head><body></body>"),
            "<head>@<script>x()</script></head><body></body>");
  // No doctype: the very start.
  EXPECT_EQ(placed("<script>x()</script><p>hi"), "@<script>x()</script><p>hi");
}

// Comments, processing instructions and a byte order mark belong to the
// prologue; look-alike tags do not count as html or head.
TEST(AgentPlacementTest, PrologueAndLookAlikes) {
  EXPECT_EQ(placed("\xef\xbb\xbf<!-- <html> --><!DOCTYPE html><!-- c --><html><!-- <head> --><head>"),
            "\xef\xbb\xbf<!-- <html> --><!DOCTYPE html><!-- c --><html><!-- <head> --><head>@");
  EXPECT_EQ(placed("<!DOCTYPE html><header>h</header>"), "<!DOCTYPE html>@<header>h</header>");
  EXPECT_EQ(placed("<!DOCTYPE html><htmlx><head>"), "<!DOCTYPE html>@<htmlx><head>");
  EXPECT_EQ(placed("<html><headline>"), "<html>@<headline>");
}

// Nothing is offered where a place would break the page or there is
// nothing to drive.
TEST(AgentPlacementTest, NoPlaceForEmptyBrokenOrForeignXml) {
  EXPECT_EQ(agent_insertion_point(""), npos);
  EXPECT_EQ(agent_insertion_point("  \n"), npos);
  EXPECT_EQ(agent_insertion_point("<!DOCTYPE html>"), npos);
  EXPECT_EQ(agent_insertion_point("<!-- never closed <html><head>"), npos);
  EXPECT_EQ(agent_insertion_point("<html lang=\"never closed"), npos);
  EXPECT_EQ(agent_insertion_point("<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\"/>"), npos);
  // An unterminated head tag still leaves the place after <html>.
  EXPECT_EQ(placed("<html><head class=\"x"), "<html>@<head class=\"x");
}

// XHTML: the elements land inside the root, so the page stays well-formed.
TEST(AgentPlacementTest, XhtmlStaysWellFormed) {
  const std::string page =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
      "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>x</title><script>JSON = 1;</script></head>"
      "<body/></html>";
  std::string injected = page;
  const std::size_t at = agent_insertion_point(page);
  ASSERT_NE(at, npos);
  injected.insert(at, "<script src=\"/a.js\" type=\"text/javascript\"></script>");
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(injected.c_str())) << injected;
  const pugi::xml_node head = document.child("html").child("head");
  EXPECT_STREQ(head.first_child().name(), "script");
  EXPECT_STREQ(head.first_child().attribute("src").value(), "/a.js");
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
