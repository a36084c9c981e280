#include "runtime/velmora_script_type.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/com/com_ptr.h"
#include "runtime/velmora_script.h"

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Runtime::velmora_script_description;

struct Expected {
  DISPID id;
  INVOKEKIND kind;
  const wchar_t* name;
  std::vector<VARTYPE> kinds;
  std::vector<USHORT> flags;
  const wchar_t* help;
};

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRet = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

// The member table as scripts and the registration see it: order, DISPIDs,
// kinds, parameter types and flags, help strings.
TEST(VelmoraScriptType, MembersInInterfaceOrder) {
  const std::vector<Expected> expected = {
      {1, INVOKE_FUNC, L"Sleep", {VT_I4}, {kIn}, nullptr},
      {2, INVOKE_FUNC, L"Echo", {VT_ARRAY | VT_VARIANT}, {kIn}, nullptr},
      {3, INVOKE_PROPERTYGET, L"scriptFullName", {VT_BSTR}, {kRet}, nullptr},
      {3, INVOKE_PROPERTYPUT, L"scriptFullName", {VT_BSTR}, {kIn}, nullptr},
      {4, INVOKE_FUNC, L"CreateObject", {VT_BSTR, VT_DISPATCH}, {kIn, kRet}, nullptr},
      {5, INVOKE_FUNC, L"Remote", {VT_BSTR, VT_BSTR}, {kIn, kRet}, nullptr},
      {6, INVOKE_FUNC, L"BenchExec", {VT_BSTR, VT_I4}, {kIn, kRet}, nullptr},
      {7, INVOKE_FUNC, L"PutParameter", {VT_BSTR, VT_BSTR}, {kIn, kIn}, nullptr},
      {8, INVOKE_FUNC, L"GetParameter", {VT_BSTR, VT_BSTR}, {kIn, kRet}, nullptr},
      {9, INVOKE_FUNC, L"Ping", {VT_UI8}, {kRet}, nullptr},
      {10, INVOKE_FUNC, L"ScreenShot", {VT_BSTR, VT_BSTR}, {kIn, kRet},
       L"Make screenshot and return path to stored file"},
      {11, INVOKE_FUNC, L"LogNode", {VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR}, {kIn, kIn, kIn, kIn}, L"Log node message"},
      {12, INVOKE_FUNC, L"LogElement", {VT_BSTR, VT_BSTR}, {kIn, kIn}, L"Log element data"},
      {13, INVOKE_FUNC, L"GenerateUUID", {VT_BSTR}, {kRet}, L"Generate UUID"},
      {14, INVOKE_FUNC, L"OpenURL", {VT_BSTR, VT_BSTR}, {kIn, kIn}, L"Open specific URL in selected browser"},
  };
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(create_type_info(velmora_script_description(), type.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(type->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IVelmoraScript);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE |
                                  TYPEFLAG_FDISPATCHABLE);
  ASSERT_EQ(attr->cFuncs, expected.size());
  type->ReleaseTypeAttr(attr);

  for (UINT i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(type->GetFuncDesc(i, &desc), S_OK);
    EXPECT_EQ(desc->memid, e.id) << i;
    EXPECT_EQ(desc->invkind, e.kind) << i;
    EXPECT_EQ(desc->cParamsOpt, e.id == 2 ? -1 : 0) << i;
    ASSERT_EQ(static_cast<std::size_t>(desc->cParams), e.kinds.size()) << i;
    for (std::size_t p = 0; p < e.kinds.size(); ++p) {
      EXPECT_EQ(desc->lprgelemdescParam[p].vt, e.kinds[p]) << i << "/" << p;
      EXPECT_EQ(desc->lprgelemdescParam[p].wParamFlags, e.flags[p]) << i << "/" << p;
    }
    type->ReleaseFuncDesc(desc);
    Bstr name, help;
    ASSERT_EQ(type->GetDocumentation(e.id, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), e.name);
    EXPECT_EQ(help.is_null(), e.help == nullptr) << i;
    if (e.help) {
      EXPECT_EQ(help.str(), e.help);
    }
  }
}

}  // namespace
