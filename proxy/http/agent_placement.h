// Where the agent's script elements go in a page: as early as a page
// allows, so that they run before any script of the page itself (a page
// script in <head> that replaces JSON must find the agent there already).
//
// The place is after the page's prologue: a byte order mark, white space,
// comments, an XML declaration or other processing instruction and the
// doctype (nothing may precede the doctype, or the page is parsed in quirks
// mode), then after the <html ...> start tag and the <head ...> start tag
// that follow it, attributes and all. A page whose prologue is not followed
// by an html or head start tag gets the elements right after the prologue,
// unless it is XML (it began with "<?xml"): there an element before the
// root would make it ill-formed, so no early place is offered.
#ifndef QUORVANE_PROXY_HTTP_AGENT_PLACEMENT_H_
#define QUORVANE_PROXY_HTTP_AGENT_PLACEMENT_H_

#include <cstddef>
#include <string_view>

namespace Tavrin::Proxy::Http {

// The offset at which the agent's elements go; std::string_view::npos when
// the page offers no early place (empty, only a prologue, an unterminated
// comment or tag, or XML without an html or head element first).
std::size_t agent_insertion_point(std::string_view page);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_AGENT_PLACEMENT_H_
