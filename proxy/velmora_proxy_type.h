// The type description of IVelmoraProxy: its members with DISPIDs, kinds
// and parameters, made from the interface's one table
// (QUORVANE_VELMORA_PROXY_METHODS in velmora_proxy.h). The proxy server's
// object and every stand-in for it answer IDispatch from it, callers that
// go by member kinds (a script bridge) read it through ITypeInfo, and the
// client proxy takes each parameter's direction from it.
#ifndef QUORVANE_PROXY_VELMORA_PROXY_TYPE_H_
#define QUORVANE_PROXY_VELMORA_PROXY_TYPE_H_

#include "platform/com/type_description.h"

namespace Tavrin::Proxy {

const Platform::Com::InterfaceDescription& velmora_proxy_description();

// The parameters of the member `id` as the table describes them; empty
// for an id that is not the interface's.
std::span<const Platform::Com::ParamDescription> velmora_proxy_params(DISPID id);

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_VELMORA_PROXY_TYPE_H_
