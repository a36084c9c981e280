#include "proxy/velmora_proxy_type.h"

#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

using namespace Platform::Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOut = PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

// Command's page uuid, IsBusy's flag and RequestCount's count are each the
// call's result; Command's other texts come back by reference.
constexpr ParamDescription kCommand[] = {
    {L"command", kIn}, {L"text", kOut}, {L"url", kOut}, {L"title", kOut}, {L"page", kRetval}};
constexpr ParamDescription kIsBusy[] = {{L"busy", kRetval}};
constexpr ParamDescription kSetStop[] = {{L"stop", kIn}};
constexpr ParamDescription kRequestCount[] = {{L"count", kRetval}};

constexpr MemberDescription kMembers[] = {
    {DISPID_VELMORA_PROXY_COMMAND, INVOKE_FUNC, L"Command", kCommand, false, nullptr,
     bind_member<&IVelmoraProxy::Command>()},
    {DISPID_VELMORA_PROXY_IS_BUSY, INVOKE_FUNC, L"IsBusy", kIsBusy, false, nullptr,
     bind_member<&IVelmoraProxy::IsBusy>()},
    {DISPID_VELMORA_PROXY_SET_STOP, INVOKE_FUNC, L"SetStop", kSetStop, false, nullptr,
     bind_member<&IVelmoraProxy::SetStop>()},
    {DISPID_VELMORA_PROXY_REQUEST_COUNT, INVOKE_FUNC, L"RequestCount", kRequestCount, false, nullptr,
     bind_member<&IVelmoraProxy::RequestCount>()},
};

constexpr InterfaceDescription kDescription = {
    L"IVelmoraProxy", IVelmoraProxy::kIid, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    kMembers};

}  // namespace

const InterfaceDescription& velmora_proxy_description() { return kDescription; }

}  // namespace Tavrin::Proxy
