// Where the registry sends a page's commands: the page's held long poll,
// which carries one command and ends, or its WebSocket, which carries them
// for as long as the document lives. The registry holds at most one sink
// per page; a command put in while the page has none waits in the
// registry until the page's next report takes it.
#ifndef QUORVANE_PROXY_PAGES_PAGE_SINK_H_
#define QUORVANE_PROXY_PAGES_PAGE_SINK_H_

#include <string>

namespace Tavrin::Proxy {

class PageSink {
 public:
  virtual ~PageSink() = default;

  // Takes the command text to write to the page. Called by the registry
  // with its lock held, from any thread: it only queues and returns, and
  // never calls back into the registry. The writer tells the registry
  // later whether the command reached the page (delivered or gone).
  virtual void send(std::string command) = 0;
  // A held poll carries one command: the registry lets go of the sink
  // once it has sent it one. A socket stays.
  virtual bool lasting() const = 0;
  // The page is gone: a held poll ends at once, without a command.
  virtual void end() = 0;
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGES_PAGE_SINK_H_
