#include "platform/script/shell.h"

#include <cstdlib>
#include <cwctype>
#include <new>

#include <boost/system/system_error.hpp>

#include "platform/com/com_object.h"
#include "platform/process.h"
#include "platform/script/automation_error_internal.h"
#include "platform/text.h"

extern char** environ;

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOpt = PARAMFLAG_FIN | PARAMFLAG_FOPT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamDescription kRun[] = {{L"Command", kIn}, {L"WindowStyle", kOpt}, {L"WaitOnReturn", kOpt}, {L"out", kRetval}};
constexpr ParamDescription kExpand[] = {{L"Src", kIn}, {L"out", kRetval}};
constexpr ParamDescription kEnvironment[] = {{L"Type", kOpt}, {L"out", kRetval}};

constexpr MemberDescription kMembers[] = {
    {1000, INVOKE_FUNC, L"Run", kRun, false, L"Start a program, optionally waiting for its exit status",
     bind_member<&IShell::Run>()},
    {1001, INVOKE_FUNC, L"ExpandEnvironmentStrings", kExpand, false, L"Replace %NAME% by variables' values",
     bind_member<&IShell::ExpandEnvironmentStrings>()},
    {200, INVOKE_PROPERTYGET, L"Environment", kEnvironment, false, L"The environment variables",
     bind_member<&IShell::get_Environment>()},
};
constexpr InterfaceDescription kDescription = {L"IWshShell", IShell::kIid, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
                                               kMembers};

class Shell final : public ComObject<DispatchImpl<IShell>, IShell, IDispatch> {
 public:
  Shell() : ComObject(kDescription) {}

  HRESULT Run(BSTR command, VARIANT /*window_style*/, VARIANT_BOOL wait, LONG* status) override {
    const std::wstring line = bstr_text(command);
    try {
      Process::StartOptions options;
      options.arguments = Process::split_command_line(line);
      if (options.arguments.empty()) return fail(kInvalidArgument, IShell::kIid, L"Run: no command given");
      options.null_input = false;
      if (wait) {
        *status = Process::run(options).windows_code();
      } else {
        Process::start_detached(options);
        *status = 0;
      }
      return S_OK;
    } catch (const boost::system::system_error& e) {
      const int code = e.code().value();
      return fail(HRESULT_FROM_WIN32(static_cast<unsigned long>(code)), IShell::kIid,
                  L"Run: cannot start \"" + line + L"\": " + system_message(static_cast<unsigned long>(code)));
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      return fail(E_FAIL, IShell::kIid, L"Run: cannot start \"" + line + L"\": " + from_utf8(e.what()));
    }
  }
  HRESULT ExpandEnvironmentStrings(BSTR text, BSTR* expanded) override {
    try {
      const std::wstring result = expand_environment_strings(bstr_text(text));
      *expanded = SysAllocStringLen(result.data(), static_cast<UINT>(result.size()));
      return *expanded ? S_OK : E_OUTOFMEMORY;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT get_Environment(VARIANT type, IItemCollection** environment) override {
    try {
      Variant kind;
      if (!(type.vt == VT_ERROR && type.scode == DISP_E_PARAMNOTFOUND) && type.vt != VT_EMPTY) {
        if (FAILED(VariantChangeType(&kind, &type, 0, VT_BSTR)))
          return fail(kInvalidArgument, IShell::kIid, L"Environment: the type is a name such as \"PROCESS\"");
        std::wstring name = bstr_text(kind.bstrVal);
        for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
        if (name != L"PROCESS" && name != L"SYSTEM" && name != L"USER" && name != L"VOLATILE")
          return fail(kInvalidArgument, IShell::kIid, L"Environment: unknown type \"" + bstr_text(kind.bstrVal) + L"\"");
      }
      std::vector<NamedItem> items;
      CollectionOptions options;
      for (char** entry = environ; entry && *entry; ++entry) {
        const std::wstring text = from_utf8(*entry);
        const std::size_t equals = text.find(L'=');
        if (equals == std::wstring::npos || equals == 0) continue;
        items.push_back({text.substr(0, equals), Variant(text.substr(equals + 1))});
        options.walk.emplace_back(text);
      }
      *environment = make_collection(std::move(items), std::move(options)).detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  ~Shell() override = default;
};

}  // namespace

std::wstring expand_environment_strings(const std::wstring& text) {
  std::wstring out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find(L'%', i);
    if (open == std::wstring::npos) break;
    const std::size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out.append(text, i, open - i);
    const std::wstring name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(to_utf8(name).c_str());
    if (value) {
      out += from_utf8(value);
      i = close + 1;
    } else {
      // Not a variable: keep the first '%' and look again from the second.
      out += L'%';
      out += name;
      i = close;
    }
  }
  out.append(text, std::min(i, text.size()), std::wstring::npos);
  return out;
}

HRESULT create_shell(REFIID iid, void** object) {
  return create_object<Shell>(iid, object);
}

}  // namespace Tavrin::Platform::Script
