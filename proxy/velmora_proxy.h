// IVelmoraProxy: the interface of the local proxy server's object, which
// the runner, the runtime object and the helper program reach out of
// process by its class id (the server is the program QuorvaneProxy). Every
// caller creates it with CoCreateInstance (CLSCTX_ALL, asking for IUnknown),
// puts it into the running state with OleRun and queries this interface;
// a failing call is raised as _com_error by the caller.
//
// Including this header registers the interface's client proxy in the
// including module (see ClientProxyRegistration in
// platform/com/remote/local_server.h), so a module that includes it links
// quorvane_proxy_client.
#ifndef QUORVANE_PROXY_VELMORA_PROXY_H_
#define QUORVANE_PROXY_VELMORA_PROXY_H_

#include <memory>

#include "platform/com/bstr.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/remote/local_server.h"

// The class of the proxy server's object.
constexpr CLSID CLSID_VelmoraProxy = Tavrin::Platform::Com::make_guid("{2B8434D6-39BA-49F9-99D9-E28064A86A5B}");

// A dual interface: its methods follow IDispatch's in this order, and
// IDispatch reaches them by the DISPIDs below (names compared without
// regard to case).
struct IVelmoraProxy : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{CEE94B30-51A7-49D8-A576-8D6F6D0D679D}");

  // Passes `command` to the pages that the proxy serves. *text, *url and
  // *title receive new strings (the command's answer, the address and the
  // title of the page that answered) and *page the uuid of that page; all
  // are empty while no page is connected. The caller frees them.
  virtual HRESULT Command(BSTR command, BSTR* text, BSTR* url, BSTR* title, BSTR* page) = 0;
  // *busy is VARIANT_TRUE while a run holds the server running (SetStop
  // with false), while a request is being served, and for a short grace
  // after the server started; VARIANT_FALSE otherwise.
  virtual HRESULT IsBusy(VARIANT_BOOL* busy) = 0;
  // VARIANT_FALSE: the calling client holds the server running for its run;
  // any true value: that client lets go. A hold ends as well when its client
  // releases the object or dies. The server ends once no client holds the
  // object and it is not busy.
  virtual HRESULT SetStop(VARIANT_BOOL stop) = 0;
  // *count is the number of requests the server has served since it
  // started: commands, and the pages' requests that pass through it.
  virtual HRESULT RequestCount(ULONGLONG* count) = 0;

 protected:
  ~IVelmoraProxy() = default;
};
constexpr IID IID_IVelmoraProxy = IVelmoraProxy::kIid;

// DISPIDs of IVelmoraProxy's members.
constexpr DISPID DISPID_VELMORA_PROXY_COMMAND = 1;
constexpr DISPID DISPID_VELMORA_PROXY_IS_BUSY = 2;
constexpr DISPID DISPID_VELMORA_PROXY_SET_STOP = 3;
constexpr DISPID DISPID_VELMORA_PROXY_REQUEST_COUNT = 4;

namespace Tavrin::Proxy {

// The client proxy of IVelmoraProxy over a stub (velmora_proxy_client.cpp).
std::unique_ptr<Tavrin::Platform::Com::ClientProxy> make_velmora_proxy_client(IUnknown* outer,
                                                                              IDispatch* remote);

inline const Tavrin::Platform::Com::ClientProxyRegistration kVelmoraProxyClientRegistration{
    IVelmoraProxy::kIid, &make_velmora_proxy_client};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_VELMORA_PROXY_H_
