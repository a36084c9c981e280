// For the walk benchmark: a small site on a TestOrigin, built the way
// practice sites for web automation build their first-week cases, with
// jQuery from Debian's libjs-jquery on every page: a sign-in form that
// posts and redirects to a secure area (and a sign-out that redirects
// back), a link to a redirect, a notification that a redirect shows
// (successful every third time), a menu whose item shows on every third
// load, and a key-press field that names the last key. Every page carries
// an analytics snippet as such sites do: a click is kept as a pending
// event in a cookie, and the next page sends the pending events to a log
// server of another site (here localhost, against the pages' 127.0.0.1),
// which never answers.
#ifndef QUORVANE_SCRIPTS_BENCH_WALK_SITE_H_
#define QUORVANE_SCRIPTS_BENCH_WALK_SITE_H_

#include <chrono>
#include <mutex>
#include <string>

#include "proxy/http/testing/test_origin.h"
#include "test_support/temp_dir.h"

namespace quorvane_bench {

class WalkSite {
 public:
  WalkSite()
      : log_([](const Tavrin::Proxy::Http::Testing::SeenRequest&) {
          Tavrin::Proxy::Http::Testing::Reply silent;
          silent.silence = std::chrono::seconds(20);
          return silent;
        }),
        origin_([this](const Tavrin::Proxy::Http::Testing::SeenRequest& r) { return serve(r); }) {}

  std::string address() const { return "http://127.0.0.1:" + std::to_string(origin_.port()); }

 private:
  using Reply = Tavrin::Proxy::Http::Testing::Reply;
  using Request = Tavrin::Proxy::Http::Testing::SeenRequest;

  // A page in the site's layout: jQuery, a flash message, the content, a
  // footer; `flash` empty: none.
  std::string page(const std::string& title, const std::string& flash, const std::string& content) const {
    std::string html = "<!DOCTYPE html><html><head><title>" + title +
                       "</title><script src='/js/analytics.js'></script>"
                       "<script src='/js/jquery.js'></script></head><body><div id='flash-messages'>";
    if (!flash.empty()) html += "<div id='flash' class='flash'>" + flash + "<a href='#' class='close'>x</a></div>";
    html += "</div><div id='content'>" + content +
            "</div><footer><a target='_blank' href='/about'>About this site</a></footer>"
            "<script>$(function () { $('.close').on('click', function (e) {"
            " e.preventDefault(); $(this).parent().hide(); }); });</script></body></html>";
    return html;
  }

  static Reply html(const std::string& body) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "no-store"}};
    reply.body = body;
    return reply;
  }

  static Reply redirect(const std::string& to) {
    Reply reply;
    reply.status = 302;
    reply.fields = {{"Location", to}, {"Content-Length", "0"}};
    return reply;
  }

  // The flash a redirect left for the next page, taken once.
  std::string take_flash() {
    std::string f;
    f.swap(flash_);
    return f;
  }

  Reply serve(const Request& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path == "/js/jquery.js") {
      Reply reply;
      reply.fields = {{"Content-Type", "text/javascript"}, {"Cache-Control", "max-age=3600"}};
      reply.body = quorvane_test::read_file("/usr/share/javascript/jquery/jquery.js");
      return reply;
    }
    if (path == "/js/analytics.js") {
      Reply reply;
      reply.fields = {{"Content-Type", "text/javascript"}};
      reply.body = "(function () {"
                   " var log = 'http://localhost:" + std::to_string(log_.port()) + "/event';"
                   " var pending = /(?:^|; )pendingEvents=([^;]*)/.exec(document.cookie);"
                   " if (pending && pending[1]) {"
                   "  document.cookie = 'pendingEvents=; path=/';"
                   "  var x = new XMLHttpRequest(); x.open('POST', log); x.send(decodeURIComponent(pending[1])); }"
                   " document.addEventListener('click', function (e) {"
                   "  document.cookie = 'pendingEvents=' + encodeURIComponent('engagement ' + (e.target.id || e.target.tagName)) +"
                   "   '; path=/'; }, true);"
                   "})();";
      return reply;
    }
    if (path == "/login") {
      return html(page("Login", take_flash(),
                       "<h2>Login Page</h2><form id='login' action='/authenticate' method='post'>"
                       "<input type='text' name='username' id='username'>"
                       "<input type='password' name='password' id='password'>"
                       "<button class='radius' type='submit'>Login</button></form>"));
    }
    if (path == "/authenticate") {
      const bool good = request.body.find("username=tomsmith") != std::string::npos &&
                        request.body.find("password=secret") != std::string::npos;
      flash_ = good ? "You logged into a secure area!" : "Your username is invalid!";
      signed_in_ = good;
      return redirect(good ? "/secure" : "/login");
    }
    if (path == "/secure") {
      if (!signed_in_) { flash_ = "You must login to view the secure area!"; return redirect("/login"); }
      return html(page("Secure Area", take_flash(),
                       "<h2>Secure Area</h2><a class='button' href='/logout'>Logout</a>"));
    }
    if (path == "/logout") {
      signed_in_ = false;
      flash_ = "You logged out of the secure area!";
      return redirect("/login");
    }
    if (path == "/redirector") {
      return html(page("Redirector", "", "<h3>Redirection</h3><p>Click <a id='redirect' href='/redirect'>here</a>.</p>"));
    }
    if (path == "/redirect") return redirect("/status_codes");
    if (path == "/status_codes") return html(page("Status Codes", "", "<h3>Status Codes</h3><p>200, 301, 404, 500</p>"));
    if (path == "/notification_message_rendered") {
      return html(page("Notification", take_flash(),
                       "<h3>Notification Message</h3><p><a href='/notification_message'>Click here</a></p>"));
    }
    if (path == "/notification_message") {
      flash_ = ++notifications_ % 3 == 0 ? "Action successful" : "Action unsuccesful, please try again";
      return redirect("/notification_message_rendered");
    }
    if (path == "/disappearing_elements") {
      std::string menu = "<ul><li><a href='/'>Home</a></li><li><a href='/about/'>About</a></li>"
                         "<li><a href='/contact-us/'>Contact Us</a></li><li><a href='/portfolio/'>Portfolio</a></li>";
      if (++menu_loads_ % 3 == 0) menu += "<li><a href='/gallery/'>Gallery</a></li>";
      return html(page("Disappearing Elements", "", "<h3>Disappearing Elements</h3>" + menu + "</ul>"));
    }
    if (path == "/key_presses") {
      return html(page("Key Presses", "",
                       "<h3>Key Presses</h3><form><input id='target' type='text'></form><p id='result'></p>"
                       "<script>$('#target').on('keyup', function (e) {"
                       " $('#result').text('You entered: ' + e.key.toUpperCase()); });</script>"));
    }
    Reply reply;
    reply.status = 404;
    reply.body = "not here";
    return reply;
  }

  std::mutex mutex_;
  std::string flash_;
  bool signed_in_ = false;
  int notifications_ = 0;
  int menu_loads_ = 0;
  Tavrin::Proxy::Http::Testing::TestOrigin log_;
  Tavrin::Proxy::Http::Testing::TestOrigin origin_;  // last: it serves through the fields above
};

}  // namespace quorvane_bench

#endif  // QUORVANE_SCRIPTS_BENCH_WALK_SITE_H_
