// The messages between a client stub and the server object it stands for.
// Every request frame starts with its kind; every reply starts with the
// HRESULT of the call.
//
//   Hello           magic, class id, interface id -> the object's creation
//   QueryInterface  interface id                  -> whether the object has it
//   GetIDsOfNames   names, locale                 -> DISPIDs
//   Invoke          DISPID, locale, flags, arguments (rgvarg order, by-
//                   reference ones with their values), named-argument ids,
//                   which of result / EXCEPINFO / argument index the caller
//                   wants -> result, out-values, EXCEPINFO, argument index,
//                   and the server thread's error info after the call
//
// The client side encodes requests and decodes replies into the caller's
// parameters; the server side decodes requests, calls the object and
// encodes replies. Malformed messages throw WireError; values that cannot
// travel throw MarshalError on the client (the call fails with its
// HRESULT) and turn into a failed reply on the server.
#ifndef QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_CALL_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_CALL_INTERNAL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/dispatch.h"
#include "platform/com/remote/marshal_wire_internal.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com::Wire {

enum class RequestKind : std::uint8_t {
  kHello = 1,
  kQueryInterface = 2,
  kGetIDsOfNames = 3,
  kInvoke = 4,
  kTypeInfo = 5,  // see remote_type_info_internal.h
};

constexpr std::uint32_t kProtocolMagic = 0x31435651;  // "QVC1"

// ---- client side ------------------------------------------------------------

QUORVANE_PLATFORM_EXPORT std::string encode_hello(const CLSID& clsid, const IID& iid);
QUORVANE_PLATFORM_EXPORT std::string encode_query_interface(const IID& iid);
// The HRESULT of a reply that carries nothing else (Hello, QueryInterface).
QUORVANE_PLATFORM_EXPORT HRESULT decode_status(std::string_view reply);

QUORVANE_PLATFORM_EXPORT std::string encode_ids_of_names(LPOLESTR* names, UINT count, LCID lcid);
// Fills ids[0 .. count-1] from the reply; returns the call's HRESULT.
QUORVANE_PLATFORM_EXPORT HRESULT decode_ids_of_names(std::string_view reply, DISPID* ids, UINT count);

// `params` may be null (no arguments).
QUORVANE_PLATFORM_EXPORT std::string encode_invoke(DISPID id, LCID lcid, WORD flags, const DISPPARAMS* params,
                                                   bool want_result, bool want_excep_info, bool want_arg_err);
// Stores the result, out-values, EXCEPINFO and argument index where the
// caller asked for them, sets the calling thread's error info to what the
// server's was (none: empties it), and returns the call's HRESULT.
QUORVANE_PLATFORM_EXPORT HRESULT decode_invoke(std::string_view reply, DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* excep_info, UINT* arg_err);

// ---- server side ------------------------------------------------------------

struct HelloRequest {
  CLSID clsid;
  IID iid;
};
// Reads a Hello after its kind; WireError for a wrong magic.
QUORVANE_PLATFORM_EXPORT HelloRequest read_hello(Reader& in);

// A reply that carries only `hr`.
QUORVANE_PLATFORM_EXPORT std::string status_reply(HRESULT hr);

// Each reads its request (after the kind) and calls `object`.
QUORVANE_PLATFORM_EXPORT std::string answer_query_interface(Reader& in, IUnknown* object);
QUORVANE_PLATFORM_EXPORT std::string answer_ids_of_names(Reader& in, IDispatch* object);
QUORVANE_PLATFORM_EXPORT std::string answer_invoke(Reader& in, IDispatch* object);

}  // namespace Tavrin::Platform::Com::Wire

#endif  // QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_CALL_INTERNAL_H_
