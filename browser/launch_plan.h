// How QuorvaneBrowser starts a real browser for a test: the arguments, the
// environment and the preferences of one launch. Pure: nothing here touches
// the system, so every choice is testable.
//
// Every launch gets a throwaway profile, starts without first-run pages,
// default-browser questions, update checks, telemetry or other background
// traffic that can be switched off, and sends every address, loopback
// included, through the local proxy on 127.0.0.1:<port>. Without a display
// the browser runs headless; with one it opens a normal window there. The
// switches, preferences and steps of each browser are the browser table's
// (browser/browser_table.h); this puts them together.
#ifndef QUORVANE_BROWSER_LAUNCH_PLAN_H_
#define QUORVANE_BROWSER_LAUNCH_PLAN_H_

#include <string>
#include <utility>
#include <vector>

#include "browser/browser_table.h"

namespace Tavrin::Browser {

// The browser of the table (browser/browser_table.h) that QuorvaneBrowser
// starts for `kind`, its first argument ("chromium", "firefox"); null for
// any other text.
const Browsers::BrowserEntry* launched_browser(const std::string& kind);

struct LaunchSettings {
  // A browser of the table with launch steps.
  const Browsers::BrowserEntry* browser = &Browsers::kChromium;
  std::string program;   // the browser's executable
  std::string url;       // the page to open, one argument whatever it holds
  int proxy_port = 0;    // the local proxy on 127.0.0.1
  bool display = false;  // a display to open a window on
  bool elevated = false; // running as root (Chromium's sandbox refuses it)
  std::string profile;   // the throwaway profile folder
  // The user's home folder and X authority file ($HOME, $XAUTHORITY), so
  // that a browser whose home is moved into the profile still reaches the
  // display; empty when unset.
  std::string home;
  std::string xauthority;
  // Base64 SHA-256 of the local proxy's authority key (its
  // SubjectPublicKeyInfo), for a browser that trusts a key by its hash.
  std::string authority_spki;
};

struct LaunchPlan {
  std::vector<std::string> arguments;
  // Variables set for the browser on top of the launcher's environment.
  // HOME and the XDG folders lie inside the profile (so nothing is written
  // into the user's home), and for Firefox TMPDIR too; the launcher makes
  // the folders named by `folders`.
  std::vector<std::pair<std::string, std::string>> environment;
  std::vector<std::string> folders;
  // The text of "user.js" in the profile, for a browser that takes its
  // proxy from preferences; empty otherwise.
  std::string user_js;
};

LaunchPlan plan_launch(const LaunchSettings& settings);

// The preferences of a test launch of `browser` through the proxy at
// `port`, as the text of "user.js".
std::string user_js(const Browsers::BrowserEntry& browser, int port);

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_LAUNCH_PLAN_H_
