#include "runtime/velmora_script_type.h"

#include "runtime/velmora_script.h"

namespace Tavrin::Runtime {
namespace {

using namespace Platform::Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamDescription kSleep[] = {{L"time", kIn}};
constexpr ParamDescription kEcho[] = {{L"args", kIn}};
constexpr ParamDescription kGetScriptFullName[] = {{L"pVal", kRetval}};
constexpr ParamDescription kPutScriptFullName[] = {{nullptr, kIn}};
constexpr ParamDescription kCreateObject[] = {{L"progId", kIn}, {L"object", kRetval}};
constexpr ParamDescription kRemote[] = {{L"command", kIn}, {L"val", kRetval}};
constexpr ParamDescription kBenchExec[] = {{L"filePath", kIn}, {L"exitCode", kRetval}};
constexpr ParamDescription kPutParameter[] = {{L"key", kIn}, {L"value", kIn}};
constexpr ParamDescription kGetParameter[] = {{L"name", kIn}, {L"value", kRetval}};
constexpr ParamDescription kPing[] = {{L"count", kRetval}};
constexpr ParamDescription kScreenShot[] = {{L"name", kIn}, {L"path", kRetval}};
constexpr ParamDescription kLogNode[] = {{L"uuid", kIn}, {L"type", kIn}, {L"name", kIn}, {L"value", kIn}};
constexpr ParamDescription kLogElement[] = {{L"name", kIn}, {L"uuid", kIn}};
constexpr ParamDescription kGenerateUUID[] = {{L"uuid", kRetval}};
constexpr ParamDescription kOpenURL[] = {{L"browser", kIn}, {L"url", kIn}};

constexpr MemberDescription kMembers[] = {
    {DISPID_VELMORA_SLEEP, INVOKE_FUNC, L"Sleep", kSleep, false, nullptr, bind_member<&IVelmoraScript::Sleep>()},
    {DISPID_VELMORA_ECHO, INVOKE_FUNC, L"Echo", kEcho, true, nullptr, bind_member<&IVelmoraScript::Echo>()},
    {DISPID_VELMORA_SCRIPT_FULL_NAME, INVOKE_PROPERTYGET, L"scriptFullName", kGetScriptFullName, false, nullptr,
     bind_member<&IVelmoraScript::get_scriptFullName>()},
    {DISPID_VELMORA_SCRIPT_FULL_NAME, INVOKE_PROPERTYPUT, L"scriptFullName", kPutScriptFullName, false, nullptr,
     bind_member<&IVelmoraScript::put_scriptFullName>()},
    {DISPID_VELMORA_CREATE_OBJECT, INVOKE_FUNC, L"CreateObject", kCreateObject, false, nullptr,
     bind_member<&IVelmoraScript::CreateObject>()},
    {DISPID_VELMORA_REMOTE, INVOKE_FUNC, L"Remote", kRemote, false, nullptr,
     bind_member<&IVelmoraScript::Remote>()},
    {DISPID_VELMORA_BENCH_EXEC, INVOKE_FUNC, L"BenchExec", kBenchExec, false, nullptr,
     bind_member<&IVelmoraScript::BenchExec>()},
    {DISPID_VELMORA_PUT_PARAMETER, INVOKE_FUNC, L"PutParameter", kPutParameter, false, nullptr,
     bind_member<&IVelmoraScript::PutParameter>()},
    {DISPID_VELMORA_GET_PARAMETER, INVOKE_FUNC, L"GetParameter", kGetParameter, false, nullptr,
     bind_member<&IVelmoraScript::GetParameter>()},
    {DISPID_VELMORA_PING, INVOKE_FUNC, L"Ping", kPing, false, nullptr, bind_member<&IVelmoraScript::Ping>()},
    {DISPID_VELMORA_SCREEN_SHOT, INVOKE_FUNC, L"ScreenShot", kScreenShot, false,
     L"Make screenshot and return path to stored file", bind_member<&IVelmoraScript::ScreenShot>()},
    {DISPID_VELMORA_LOG_NODE, INVOKE_FUNC, L"LogNode", kLogNode, false, L"Log node message",
     bind_member<&IVelmoraScript::LogNode>()},
    {DISPID_VELMORA_LOG_ELEMENT, INVOKE_FUNC, L"LogElement", kLogElement, false, L"Log element data",
     bind_member<&IVelmoraScript::LogElement>()},
    {DISPID_VELMORA_GENERATE_UUID, INVOKE_FUNC, L"GenerateUUID", kGenerateUUID, false, L"Generate UUID",
     bind_member<&IVelmoraScript::GenerateUUID>()},
    {DISPID_VELMORA_OPEN_URL, INVOKE_FUNC, L"OpenURL", kOpenURL, false, L"Open specific URL in selected browser",
     bind_member<&IVelmoraScript::OpenURL>()},
};

constexpr InterfaceDescription kDescription = {
    L"IVelmoraScript", IVelmoraScript::kIid,
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE, kMembers};

constexpr const InterfaceDescription* kLibraryInterfaces[] = {&kDescription};

constexpr TypeLibraryDescription kLibrary = {
    L"VelmoraRuntimeLib", LIBID_VelmoraRuntimeLib, 1, 0, 0x409, 0, nullptr, kLibraryInterfaces};

}  // namespace

const InterfaceDescription& velmora_script_description() { return kDescription; }

const TypeLibraryDescription& velmora_runtime_library() { return kLibrary; }

}  // namespace Tavrin::Runtime
