// The page socket's two halves: reading the agent's frames and writing the
// proxy's commands.
#include "proxy/pages/page_socket_steps.h"

#include <optional>

#include "proxy/http/proxy_context.h"
#include "proxy/pages/page_channel.h"
#include "proxy/pages/page_protocol.h"

namespace Tavrin::Proxy::Http::page_socket {

asio::awaitable<void> write_commands(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages) {
  while (!state->closed) {
    if (state->pending.empty()) {
      state->signal.expires_at(asio::steady_timer::time_point::max());
      co_await state->signal.async_wait(kTuple);
      continue;
    }
    auto [page, command] = std::move(state->pending.front());
    state->pending.pop_front();
    auto [ec, n] = co_await socket.async_write(asio::buffer(command), kTuple);
    if (ec) {
      // A command that could not be written is lost with its page, whose
      // browser dropped the connection.
      pages.vanished(page);
      state->closed = true;
      break;
    }
    pages.delivered(page);
  }
}

asio::awaitable<void> read_frames(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages,
                                  ProxyContext& context) {
  beast::flat_buffer frame;
  bool browser_there = false;
  for (;;) {
    frame.clear();
    auto [ec, n] = co_await socket.async_read(frame, kTuple);
    if (ec) {
      browser_there = ec == websocket::error::closed || ec == websocket::error::message_too_big;
      break;
    }
    const std::optional<AgentReport> report = read_report(beast::buffers_to_string(frame.data()));
    if (!report) {
      context.note("The page channel dropped a frame that is not an agent's report");
      continue;
    }
    // Counted as the run's activity too, frame by frame.
    if (!pages.report(*report, run_of_connection(beast::get_lowest_layer(socket).socket(), context), state->token)) {
      context.note("The page channel dropped a frame that names a page of another token");
      continue;
    }
    if (report->page != state->page) switch_page(state, report->page, pages);
  }
  state->closed = true;
  state->wake();
  if (state->page.empty()) co_return;
  if (browser_there)
    pages.gone(state->page);
  else
    pages.vanished(state->page);
}

}  // namespace Tavrin::Proxy::Http::page_socket
