// The type description of IVelmoraProxy: its four members with DISPIDs,
// kinds and parameters. The proxy server's object and every stand-in for it
// answer IDispatch from this one table, and callers that go by member kinds
// (a script bridge) read it through ITypeInfo.
#ifndef QUORVANE_PROXY_VELMORA_PROXY_TYPE_H_
#define QUORVANE_PROXY_VELMORA_PROXY_TYPE_H_

#include "platform/com/type_description.h"

namespace Tavrin::Proxy {

const Platform::Com::InterfaceDescription& velmora_proxy_description();

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_VELMORA_PROXY_TYPE_H_
