#include "proxy/velmora_proxy_type.h"

#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

using namespace Platform::Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOut = PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

#define QUORVANE_VELMORA_PROXY_PARAMS(id, name, signature, args, params) \
  constexpr ParamDescription k##name##Params[] = {QUORVANE_VELMORA_PROXY_UNWRAP params};
QUORVANE_VELMORA_PROXY_METHODS(QUORVANE_VELMORA_PROXY_PARAMS)
#undef QUORVANE_VELMORA_PROXY_PARAMS

#define QUORVANE_WIDE_TEXT(text) L##text
#define QUORVANE_WIDE_NAME(name) QUORVANE_WIDE_TEXT(#name)

constexpr MemberDescription kMembers[] = {
#define QUORVANE_VELMORA_PROXY_MEMBER(id, name, signature, args, params) \
  {id, INVOKE_FUNC, QUORVANE_WIDE_NAME(name), k##name##Params, false, nullptr, bind_member<&IVelmoraProxy::name>()},
    QUORVANE_VELMORA_PROXY_METHODS(QUORVANE_VELMORA_PROXY_MEMBER)
#undef QUORVANE_VELMORA_PROXY_MEMBER
};

constexpr InterfaceDescription kDescription = {
    L"IVelmoraProxy", IVelmoraProxy::kIid, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    kMembers};

}  // namespace

const InterfaceDescription& velmora_proxy_description() { return kDescription; }

std::span<const ParamDescription> velmora_proxy_params(DISPID id) {
  for (const MemberDescription& member : kMembers) {
    if (member.id == id) return member.params;
  }
  return {};
}

}  // namespace Tavrin::Proxy
