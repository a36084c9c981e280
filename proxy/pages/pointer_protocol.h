// The page protocol's texts for the real pointer (see page_protocol.h).
//
// Where the run has a display, a command that moves the pointer or presses
// its button goes to the page with "pointer": true. The page waits for its
// element as for any action and answers with "pointer": the steps for the
// screen's pointer, each one of {"move": [x, y]} (screen pixels),
// {"press": button}, {"release": button} (1 left, 2 middle, 3 right) or
// {"pause": ms}. The runtime object does them and sends the same page
// "pointed" (with "failed": why, when it could not), whose answer may ask
// for more steps in turn; the last answer is the command's.
//
// Readers never throw for what a peer sent.
#ifndef QUORVANE_PROXY_PAGES_POINTER_PROTOCOL_H_
#define QUORVANE_PROXY_PAGES_POINTER_PROTOCOL_H_

#include <optional>
#include <string>
#include <vector>

#include "proxy/pages/page_protocol.h"

namespace Tavrin::Proxy {

struct PointerStep {
  enum class Kind { kMove, kPress, kRelease, kPause };
  Kind kind = Kind::kMove;
  int x = 0;
  int y = 0;
  int button = 1;
  int ms = 0;
};

// Whether the command moves the pointer or presses its button: hover,
// mouseMove, mouseDown, mouseUp and dragTo.
bool moves_pointer(const PageCommand& command);

// The command as sent to a page that is to answer with steps.
std::string write_real_pointer_command(PageCommand command);

// The steps an answer asks for; std::nullopt when it asks for none. Steps
// that cannot be read make the list empty: nothing is done by halves.
std::optional<std::vector<PointerStep>> pointer_steps_of(const PageAnswer& answer);

// "pointed" for `command` to `page` once the steps of round `round` (1, 2
// ...) are done; a non-empty `failure` says why they could not be.
std::string write_pointed_command(const PageCommand& command, const std::string& page, int round,
                                  const std::string& failure);

// The answer of the whole exchange, from its answers in order (at least
// one): the last, with the dialogs, console lines and errors the earlier
// ones carried before its own, and the first one's mark (the page's mark
// when the command began). When the page went away before the last round
// (the pointer's input navigated it), the first answer, as navigating.
PageAnswer pointer_exchange_answer(const std::vector<PageAnswer>& answers);

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGES_POINTER_PROTOCOL_H_
