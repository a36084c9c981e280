// IVelmoraProxy: the interface of the local proxy server's object, which
// the runner, the runtime object, the helper program and test scripts
// reach out of process by its class id (the server is the program
// QuorvaneProxy; scripts create it as "Quorvane.Proxy"). Every caller
// creates it with CoCreateInstance (CLSCTX_ALL, asking for IUnknown), puts
// it into the running state with OleRun and queries this interface; a
// failing call is raised as _com_error by the caller.
//
// The interface is written once, in the table QUORVANE_VELMORA_PROXY_METHODS
// below: its declaration, its DISPIDs, its type description
// (velmora_proxy_type.cpp), its client proxy (velmora_proxy_client.cpp),
// the stand-in base for fakes and the tests' check of a type description
// all follow from it. A new method is one entry there and its body in
// proxy_object.cpp.
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

// The methods in interface order (they follow IDispatch's), one entry each:
//
//   M(DISPID, Name, (C++ parameters), (their names), (name and flags of
//     each parameter, as Tavrin::Platform::Com::ParamDescription))
//
// The flags are kIn, kOut or kRetval (a method's result as scripts see it).
// IDispatch finds the members by name without regard to case.
//
// Command: passes `command` to the pages that the proxy serves; *answer
//   receives the command's whole answer, a JSON text (page_protocol.h) that
//   names the page it concerns with its address and title; empty while no
//   page registry serves the proxy.
// IsBusy: *busy is VARIANT_TRUE while a run holds the server running
//   (SetStop with false), while a request is being served, and for a short
//   grace after the server started; VARIANT_FALSE otherwise.
// SetStop: VARIANT_FALSE, the calling client holds the server running for
//   its run; any true value, it lets go. A hold ends as well when its
//   client releases the object or dies. The server ends once no client
//   holds the object and it is not busy.
// RequestCount: the number of requests the server has served since it
//   started: commands, and the pages' requests that pass through it.
// (the network control of a run's traffic, proxy/network/)
// Route: adds the rule `rule` (a JSON text, proxy/network/route_rule.h) to
//   the routes of run `run`, newest first; a rule that is not understood
//   fails with E_INVALIDARG and a description naming the fault, adding
//   nothing.
// Unroute: removes the rules of run `run` added with the pattern `pattern`
//   (its JSON text as Route got it); an empty `pattern` removes them all.
// Requests: *list is a JSON array of the run's requests that `query` (a
//   JSON text, proxy/network/request_log.h) selects, oldest first; a query
//   that waits returns as soon as one is there, or empty at its limit.
// WriteHar: writes the requests of run `run` as HAR 1.2 to `file`
//   (proxy/network/har_writer.h), bodies as "proxy"/"har_content" says.
// (the setup of a run, answered by the run table, proxy/run_table.h)
// RegisterRun: *port is the listening port that the browsers of run `run`
//   are to use, opened for it the first time. A run id that is not one
//   (is_run_id) fails with E_INVALIDARG, a run the proxy cannot serve
//   (too many runs, no port) with E_FAIL; both with a description.
// RegisterBrowser: process `pid` (a browser's launcher) and the processes
//   under it are browsers of run `run` from now on: only they get page
//   tokens. Fails like RegisterRun, and with E_INVALIDARG for a pid that
//   names no process.
// Mark: *mark is the mark of the pages registered so far; a command with
//   it as "after" reaches only pages that register from now on.
#define QUORVANE_VELMORA_PROXY_METHODS(M)                                                                   \
  M(1, Command, (BSTR command, BSTR* answer), (command, answer), ({L"command", kIn}, {L"answer", kRetval}))  \
  M(2, IsBusy, (VARIANT_BOOL* busy), (busy), ({L"busy", kRetval}))                                         \
  M(3, SetStop, (VARIANT_BOOL stop), (stop), ({L"stop", kIn}))                                             \
  M(4, RequestCount, (ULONGLONG* count), (count), ({L"count", kRetval}))                                   \
  M(5, Route, (BSTR run, BSTR rule), (run, rule), ({L"run", kIn}, {L"rule", kIn}))                          \
  M(6, Unroute, (BSTR run, BSTR pattern), (run, pattern), ({L"run", kIn}, {L"pattern", kIn}))               \
  M(7, Requests, (BSTR run, BSTR query, BSTR* list), (run, query, list),                                    \
    ({L"run", kIn}, {L"query", kIn}, {L"list", kRetval}))                                                 \
  M(8, WriteHar, (BSTR run, BSTR file), (run, file), ({L"run", kIn}, {L"file", kIn}))                      \
  M(9, RegisterRun, (BSTR run, LONG* port), (run, port), ({L"run", kIn}, {L"port", kRetval}))              \
  M(10, RegisterBrowser, (BSTR run, LONG pid), (run, pid), ({L"run", kIn}, {L"pid", kIn}))                 \
  M(11, Mark, (ULONGLONG* mark), (mark), ({L"mark", kRetval}))

// Strips the parentheses of a table column.
#define QUORVANE_VELMORA_PROXY_UNWRAP(...) __VA_ARGS__

// A dual interface: its methods follow IDispatch's in the table's order,
// and IDispatch reaches them by the table's DISPIDs.
struct IVelmoraProxy : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{CEE94B30-51A7-49D8-A576-8D6F6D0D679D}");

#define QUORVANE_VELMORA_PROXY_DECLARE(id, name, signature, args, params) virtual HRESULT name signature = 0;
  QUORVANE_VELMORA_PROXY_METHODS(QUORVANE_VELMORA_PROXY_DECLARE)
#undef QUORVANE_VELMORA_PROXY_DECLARE

 protected:
  ~IVelmoraProxy() = default;
};
constexpr IID IID_IVelmoraProxy = IVelmoraProxy::kIid;

// The DISPIDs of IVelmoraProxy's members, by name: VelmoraProxyDispid::Command.
namespace VelmoraProxyDispid {
#define QUORVANE_VELMORA_PROXY_DISPID(id, name, signature, args, params) constexpr DISPID name = id;
QUORVANE_VELMORA_PROXY_METHODS(QUORVANE_VELMORA_PROXY_DISPID)
#undef QUORVANE_VELMORA_PROXY_DISPID
}  // namespace VelmoraProxyDispid

constexpr DISPID DISPID_VELMORA_PROXY_COMMAND = VelmoraProxyDispid::Command;
constexpr DISPID DISPID_VELMORA_PROXY_IS_BUSY = VelmoraProxyDispid::IsBusy;
constexpr DISPID DISPID_VELMORA_PROXY_SET_STOP = VelmoraProxyDispid::SetStop;
constexpr DISPID DISPID_VELMORA_PROXY_REQUEST_COUNT = VelmoraProxyDispid::RequestCount;

namespace Tavrin::Proxy {

template <class... Args>
constexpr void unused_arguments(const Args&...) {}

// A base for stand-ins of the proxy object in tests: every method answers
// E_NOTIMPL until the stand-in overrides it, so a new method costs the
// stand-ins nothing.
class VelmoraProxyStandIn : public IVelmoraProxy {
 public:
#define QUORVANE_VELMORA_PROXY_STAND_IN(id, name, signature, args, params) \
  HRESULT name signature override {                                        \
    unused_arguments(QUORVANE_VELMORA_PROXY_UNWRAP args);                  \
    return E_NOTIMPL;                                                      \
  }
  QUORVANE_VELMORA_PROXY_METHODS(QUORVANE_VELMORA_PROXY_STAND_IN)
#undef QUORVANE_VELMORA_PROXY_STAND_IN

 protected:
  ~VelmoraProxyStandIn() = default;
};

// The client proxy of IVelmoraProxy over a stub (velmora_proxy_client.cpp).
std::unique_ptr<Tavrin::Platform::Com::ClientProxy> make_velmora_proxy_client(IUnknown* outer,
                                                                              IDispatch* remote);

inline const Tavrin::Platform::Com::ClientProxyRegistration kVelmoraProxyClientRegistration{
    IVelmoraProxy::kIid, &make_velmora_proxy_client};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_VELMORA_PROXY_H_
