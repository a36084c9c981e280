// The local proxy server's object and its class factory. Each client
// connection gets an object of its own, and all of them work on the one
// ProxyState of the server, so every client sees the same busy state and
// request count; an object stands for its client in the state (its hold
// ends when the object goes, which happens when the client releases it or
// dies).
//
// The objects answer IUnknown, IDispatch and IVelmoraProxy and may be
// called from any thread.
#ifndef QUORVANE_PROXY_PROXY_OBJECT_H_
#define QUORVANE_PROXY_PROXY_OBJECT_H_

#include <memory>

#include "platform/com/com_ptr.h"
#include "platform/com/unknown.h"
#include "proxy/proxy_state.h"

namespace Tavrin::Proxy {

// A new object for one client over `state`: its interface `iid` in
// *object. E_NOINTERFACE (and *object null) for another interface.
HRESULT create_proxy_object(const std::shared_ptr<ProxyState>& state, REFIID iid, void** object);

// The class factory whose objects share `state` (CreateInstance calls
// create_proxy_object; aggregation is refused).
Tavrin::Platform::Com::ComPtr<IClassFactory> make_proxy_class_factory(std::shared_ptr<ProxyState> state);

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PROXY_OBJECT_H_
