// Objects served out of process: the client side that activation uses for a
// class registered under LocalServer32, and the serving side that a local
// server program runs (as CoRegisterClassObject and a message loop do on
// Windows).
//
// Each class has one server process at a time, reached over a Unix-domain
// socket named after the class id in the user's runtime folder (see
// transport_socket_internal.h). Creating an object connects to it; when no server
// listens, the registered command line is started detached (once, however
// many clients ask at the same moment) and the client waits a bounded time
// for the server to listen. The client gets a stub: calls on it travel to
// the server object made for that client and come back with their results,
// out-parameters, HRESULT, EXCEPINFO and error info.
//
// The stub answers IUnknown and IDispatch (GetIDsOfNames and Invoke travel;
// it offers no type information), and every custom interface for which a
// client proxy is registered (below) and which the server object supports.
// Interface pointers do not travel: a VT_DISPATCH or VT_UNKNOWN argument
// or result other than null fails the call with DISP_E_BADVARTYPE. When the
// server has gone, calls fail with RPC_E_DISCONNECTED.
//
// The stub's connection holds the server object for the client: releasing
// the stub's last reference, or the end of the client process however it
// ends, closes the connection and releases the object. Calls through one
// stub are carried one at a time (a second thread waits for the first).
#ifndef QUORVANE_PLATFORM_COM_REMOTE_LOCAL_SERVER_H_
#define QUORVANE_PLATFORM_COM_REMOTE_LOCAL_SERVER_H_

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com {

// The hook of activation. Connects to (or starts, with
// `server_command_line`) the server of `clsid` and returns the stub's
// interface `iid` in *object. Results: S_OK; E_POINTER for a null
// `object`; the server object's CreateInstance or QueryInterface failure;
// HRESULT_FROM_WIN32 of the error when the program cannot be started
// (ENOENT: 0x80070002); CO_E_SERVER_EXEC_FAILURE when the started server
// does not listen in time or ends first. *object is null on failure.
QUORVANE_PLATFORM_EXPORT HRESULT create_local_server_instance(const CLSID& clsid,
                                                              const std::wstring& server_command_line,
                                                              const IID& iid, void** object);

// ---- client proxies of custom interfaces ------------------------------------

// The client side of one custom interface (the stand-in for a MIDL proxy):
// an object that implements the interface by calling the remote object's
// IDispatch::Invoke. Owned by the stub, which destroys it when the stub
// goes.
class ClientProxy {
 public:
  virtual ~ClientProxy() = default;
  // The interface pointer that QueryInterface hands out. Its IUnknown
  // methods must delegate to `outer` (the stub) given to the factory.
  virtual void* interface_pointer() = 0;
};

// Makes the client proxy of a stub. `outer` is the stub's identity,
// `remote` its IDispatch; neither is AddRef'ed for the proxy (the stub
// outlives it). Must not throw.
using ClientProxyFactory = std::unique_ptr<ClientProxy> (*)(IUnknown* outer, IDispatch* remote);

// Registers the client proxy factory of interface `iid` in this process
// for the object's lifetime. A header that declares a custom interface
// defines one inline, so that every module that uses the interface
// registers it when it is loaded and withdraws it when it is unloaded.
// When several modules register the same interface, the latest one that is
// still registered serves. Thread-safe.
class QUORVANE_PLATFORM_EXPORT ClientProxyRegistration {
 public:
  ClientProxyRegistration(const IID& iid, ClientProxyFactory factory);
  ~ClientProxyRegistration();
  ClientProxyRegistration(const ClientProxyRegistration&) = delete;
  ClientProxyRegistration& operator=(const ClientProxyRegistration&) = delete;

 private:
  IID iid_;
  ClientProxyFactory factory_;
};

// ---- serving ----------------------------------------------------------------

enum class LocalServerThreading {
  // One call at a time, whichever client makes it (like a single-threaded
  // apartment); the objects need no locks.
  kApartment,
  // Clients are served concurrently, each on a thread of its own; the
  // objects (and the class factory) must be thread-safe.
  kFree,
};

struct LocalServerOptions {
  LocalServerThreading threading = LocalServerThreading::kApartment;
  // Whether the server may end while no client is connected; asked often,
  // from the serving thread, so it must be quick. Null: always.
  std::function<bool()> may_end;
  // How long a server that no client has reached yet waits for its first.
  std::chrono::milliseconds first_client_wait{10000};
};

// Serves the objects of `clsid` made by `factory` until no client is
// connected and `options.may_end` allows the end. Each client connection
// gets its object from factory->CreateInstance(nullptr, IID_IUnknown, ...)
// (a class whose clients share one object returns that object each time)
// and holds it until the connection closes. Each serving thread has an
// initialised apartment. Returns S_OK when the server ended by that rule,
// CO_E_SERVER_EXEC_FAILURE when another server of the class kept running
// (it holds the class's socket), or HRESULT_FROM_WIN32 of the error that
// kept the socket from being set up.
QUORVANE_PLATFORM_EXPORT HRESULT serve_local_server(const CLSID& clsid, IClassFactory* factory,
                                                    const LocalServerOptions& options);

// The process id of the server of `clsid` that runs now, if any.
QUORVANE_PLATFORM_EXPORT std::optional<int> local_server_process(const CLSID& clsid);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_REMOTE_LOCAL_SERVER_H_
