// How QuorvaneBrowser starts a real browser for a test: the arguments, the
// environment and the preferences of one launch. Pure: nothing here touches
// the system, so every choice is testable.
//
// Every launch gets a throwaway profile, starts without first-run pages,
// default-browser questions, update checks, telemetry or other background
// traffic that can be switched off, and sends every address, loopback
// included, through the local proxy on 127.0.0.1:<port>. Without a display
// the browser runs headless; with one it opens a normal window there.
#ifndef QUORVANE_BROWSER_LAUNCH_PLAN_H_
#define QUORVANE_BROWSER_LAUNCH_PLAN_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Tavrin::Browser {

enum class BrowserKind { kChromium, kFirefox };

// "chromium" or "firefox" (the launcher's first argument); nullopt for any
// other name.
std::optional<BrowserKind> browser_kind(const std::string& name);
const char* browser_kind_name(BrowserKind kind);

struct LaunchSettings {
  BrowserKind kind = BrowserKind::kChromium;
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
  // SubjectPublicKeyInfo); Chromium accepts certificates of that key.
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
  // Firefox: the text of "user.js" in the profile; empty for Chromium.
  std::string user_js;
};

LaunchPlan plan_launch(const LaunchSettings& settings);

// Firefox's preferences for a test launch through the proxy at `port`.
std::string firefox_user_js(int port);

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_LAUNCH_PLAN_H_
