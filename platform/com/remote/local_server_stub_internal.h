// Inside of local_server.cpp: the client stub of an out-of-process object
// and the registry of client proxies that it consults.
#ifndef QUORVANE_PLATFORM_COM_REMOTE_LOCAL_SERVER_STUB_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_LOCAL_SERVER_STUB_INTERNAL_H_

#include "platform/com/remote/local_server.h"
#include "platform/com/remote/transport_socket_internal.h"

namespace Tavrin::Platform::Com {

// The registered client proxy factory of `iid`, or null.
ClientProxyFactory find_client_proxy(const IID& iid);

// A new stub (one reference) over `connection`, whose Hello has succeeded.
IDispatch* make_remote_object(Transport::ScopedFd connection);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_REMOTE_LOCAL_SERVER_STUB_INTERNAL_H_
