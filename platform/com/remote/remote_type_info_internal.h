// The type description of an out-of-process object, carried to its client
// stub so that callers (the script bridge) can tell methods from
// properties there as well.
//
//   TypeInfo  -> the interface's id, flags and members: DISPID, kind,
//                parameter kinds and flags, optional count, member and
//                parameter names, help string
//
// The server answers from its object's ITypeInfo; the stub asks once, the
// first time a caller wants the description, and answers GetTypeInfo with
// an ITypeInfo over what came back (Invoke through it calls the stub).
#ifndef QUORVANE_PLATFORM_COM_REMOTE_REMOTE_TYPE_INFO_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_REMOTE_TYPE_INFO_INTERNAL_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/remote/marshal_wire_internal.h"

namespace Tavrin::Platform::Com::Wire {

struct RemoteMember {
  MEMBERID id = DISPID_UNKNOWN;
  INVOKEKIND kind = INVOKE_FUNC;
  SHORT optional = 0;
  std::vector<ELEMDESC> params;
  std::vector<std::wstring> names;  // the member's, then its parameters'
  std::wstring help;
};

struct RemoteDescription {
  IID iid{};
  WORD flags = 0;
  std::vector<RemoteMember> members;
};

QUORVANE_PLATFORM_EXPORT std::string encode_type_info();
// The description in a reply; its HRESULT in *hr (a failure: no description).
QUORVANE_PLATFORM_EXPORT RemoteDescription decode_type_info(std::string_view reply, HRESULT* hr);
// Reads the request (nothing after the kind) and describes `object`.
QUORVANE_PLATFORM_EXPORT std::string answer_type_info(Reader& in, IDispatch* object);

// An ITypeInfo over a description.
ComPtr<ITypeInfo> make_remote_type_info(std::shared_ptr<const RemoteDescription> description);

}  // namespace Tavrin::Platform::Com::Wire

#endif  // QUORVANE_PLATFORM_COM_REMOTE_REMOTE_TYPE_INFO_INTERNAL_H_
