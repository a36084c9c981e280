// For tests of the page path: a command's answer text as the tests read
// it, with the page it names, that page's address and title (the fields the
// proxy wrote into the answer) at hand.
#ifndef QUORVANE_PROXY_PAGES_TESTING_ANSWERED_H_
#define QUORVANE_PROXY_PAGES_TESTING_ANSWERED_H_

#include <string>

#include "platform/text.h"
#include "proxy/pages/page_protocol.h"

namespace Tavrin::Proxy::Testing {

struct Answered {
  // Made from the whole answer, as PageRegistry::run and Command give it.
  Answered(std::wstring whole) : text(std::move(whole)) {  // NOLINT: converts on purpose
    const AnswerPage named = page_of_answer(Platform::to_utf8(text));
    page = Platform::from_utf8(named.page);
    url = Platform::from_utf8(named.url);
    title = Platform::from_utf8(named.title);
  }
  Answered() = default;

  std::wstring text;
  std::wstring page;
  std::wstring url;
  std::wstring title;
};

}  // namespace Tavrin::Proxy::Testing

#endif  // QUORVANE_PROXY_PAGES_TESTING_ANSWERED_H_
