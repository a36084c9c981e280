#include "platform/script/script_control_type_internal.h"

#include "platform/script/script_control.h"

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOptional = PARAMFLAG_FIN | PARAMFLAG_FOPT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamDescription kGet[] = {{L"value", kRetval}};
constexpr ParamDescription kPut[] = {{L"value", kIn}};
constexpr ParamDescription kNone[] = {{nullptr, 0}};
constexpr ParamDescription kAddObject[] = {{L"Name", kIn}, {L"Object", kIn}, {L"AddMembers", kOptional}};
constexpr ParamDescription kAddCode[] = {{L"Code", kIn}};
constexpr ParamDescription kEval[] = {{L"Expression", kIn}, {L"res", kRetval}};
constexpr ParamDescription kExecute[] = {{L"Statement", kIn}};
constexpr ParamDescription kRun[] = {{L"ProcedureName", kIn}, {L"Parameters", kIn}, {L"res", kRetval}};

constexpr MemberDescription kControlMembers[] = {
    {1500, INVOKE_PROPERTYGET, L"Language", kGet, false, L"The script language (JScript)",
     bind_member<&IScriptControl::get_Language>()},
    {1500, INVOKE_PROPERTYPUT, L"Language", kPut, false, nullptr, bind_member<&IScriptControl::put_Language>()},
    {1502, INVOKE_PROPERTYGET, L"Timeout", kGet, false, L"Milliseconds a call may run; -1 for no limit",
     bind_member<&IScriptControl::get_Timeout>()},
    {1502, INVOKE_PROPERTYPUT, L"Timeout", kPut, false, nullptr, bind_member<&IScriptControl::put_Timeout>()},
    {1503, INVOKE_PROPERTYGET, L"AllowUI", kGet, false, L"Whether scripts may show dialogs",
     bind_member<&IScriptControl::get_AllowUI>()},
    {1503, INVOKE_PROPERTYPUT, L"AllowUI", kPut, false, nullptr, bind_member<&IScriptControl::put_AllowUI>()},
    {1504, INVOKE_PROPERTYGET, L"UseSafeSubset", kGet, false, nullptr,
     bind_member<&IScriptControl::get_UseSafeSubset>()},
    {1504, INVOKE_PROPERTYPUT, L"UseSafeSubset", kPut, false, nullptr,
     bind_member<&IScriptControl::put_UseSafeSubset>()},
    {1506, INVOKE_PROPERTYGET, L"Error", kGet, false, L"The error of the last failing call",
     bind_member<&IScriptControl::get_Error>()},
    {2500, INVOKE_FUNC, L"AddObject", kAddObject, false, L"Publish an object to scripts under a name",
     bind_member<&IScriptControl::AddObject>()},
    {2501, INVOKE_FUNC, L"Reset", std::span<const ParamDescription>(kNone, 0), false,
     L"Drop all code and objects", bind_member<&IScriptControl::Reset>()},
    {2000, INVOKE_FUNC, L"AddCode", kAddCode, false, L"Compile and run a block of code",
     bind_member<&IScriptControl::AddCode>()},
    {2001, INVOKE_FUNC, L"Eval", kEval, false, L"The value of an expression",
     bind_member<&IScriptControl::Eval>()},
    {2002, INVOKE_FUNC, L"ExecuteStatement", kExecute, false,
     L"Run one statement",
     bind_member<&IScriptControl::ExecuteStatement>()},
    {2003, INVOKE_FUNC, L"Run", kRun, true, L"Call a global function of the code",
     bind_member<&IScriptControl::Run>()},
};

constexpr MemberDescription kErrorMembers[] = {
    {201, INVOKE_PROPERTYGET, L"Number", kGet, false, L"The error's HRESULT", bind_member<&IScriptError::get_Number>()},
    {202, INVOKE_PROPERTYGET, L"Source", kGet, false, L"Who raised the error",
     bind_member<&IScriptError::get_Source>()},
    {203, INVOKE_PROPERTYGET, L"Description", kGet, false, L"What went wrong",
     bind_member<&IScriptError::get_Description>()},
    {204, INVOKE_PROPERTYGET, L"HelpFile", kGet, false, nullptr, bind_member<&IScriptError::get_HelpFile>()},
    {205, INVOKE_PROPERTYGET, L"HelpContext", kGet, false, nullptr, bind_member<&IScriptError::get_HelpContext>()},
    {-517, INVOKE_PROPERTYGET, L"Text", kGet, false, L"The source line of a compilation error",
     bind_member<&IScriptError::get_Text>()},
    {206, INVOKE_PROPERTYGET, L"Line", kGet, false, L"Line of the error in its code block (1-based)",
     bind_member<&IScriptError::get_Line>()},
    {-529, INVOKE_PROPERTYGET, L"Column", kGet, false, L"Column of the error in its line (0-based)",
     bind_member<&IScriptError::get_Column>()},
    {208, INVOKE_FUNC, L"Clear", std::span<const ParamDescription>(kNone, 0), false, L"Forget the error",
     bind_member<&IScriptError::Clear>()},
};

constexpr WORD kFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
constexpr InterfaceDescription kControl = {L"IScriptControl", IScriptControl::kIid, kFlags, kControlMembers};
constexpr InterfaceDescription kError = {L"IScriptError", IScriptError::kIid, kFlags, kErrorMembers};

}  // namespace

const InterfaceDescription& script_control_description() { return kControl; }
const InterfaceDescription& script_error_description() { return kError; }

}  // namespace Tavrin::Platform::Script
