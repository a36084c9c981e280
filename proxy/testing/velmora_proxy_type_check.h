// A check, for tests, that a type information object describes IVelmoraProxy
// as proxy/velmora_proxy_type.cpp does: the real proxy's object and every
// stand-in for it must answer alike.
#ifndef QUORVANE_PROXY_TESTING_VELMORA_PROXY_TYPE_CHECK_H_
#define QUORVANE_PROXY_TESTING_VELMORA_PROXY_TYPE_CHECK_H_

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "platform/com/dispatch.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy::Testing {

inline void expect_velmora_proxy_type(ITypeInfo* type) {
  constexpr USHORT kIn = PARAMFLAG_FIN;
  constexpr USHORT kOut = PARAMFLAG_FOUT;
  constexpr USHORT kRet = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  struct Expected {
    DISPID id;
    const wchar_t* name;
    std::vector<VARTYPE> kinds;
    std::vector<USHORT> flags;
  };
  const std::vector<Expected> expected = {
      {DISPID_VELMORA_PROXY_COMMAND, L"Command", {VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR},
       {kIn, kOut, kOut, kOut, kRet}},
      {DISPID_VELMORA_PROXY_IS_BUSY, L"IsBusy", {VT_BOOL}, {kRet}},
      {DISPID_VELMORA_PROXY_SET_STOP, L"SetStop", {VT_BOOL}, {kIn}},
      {DISPID_VELMORA_PROXY_REQUEST_COUNT, L"RequestCount", {VT_UI8}, {kRet}},
  };
  ASSERT_NE(type, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(type->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IVelmoraProxy);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  const WORD count = attr->cFuncs;
  type->ReleaseTypeAttr(attr);
  ASSERT_EQ(count, expected.size());
  for (UINT i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(type->GetFuncDesc(i, &desc), S_OK);
    EXPECT_EQ(desc->memid, e.id) << i;
    EXPECT_EQ(desc->invkind, INVOKE_FUNC) << i;
    EXPECT_EQ(static_cast<std::size_t>(desc->cParams), e.kinds.size()) << i;
    for (std::size_t p = 0; p < e.kinds.size() && p < static_cast<std::size_t>(desc->cParams); ++p) {
      EXPECT_EQ(desc->lprgelemdescParam[p].vt, e.kinds[p]) << i << "/" << p;
      EXPECT_EQ(desc->lprgelemdescParam[p].wParamFlags, e.flags[p]) << i << "/" << p;
    }
    type->ReleaseFuncDesc(desc);
    Tavrin::Platform::Com::Bstr name;
    ASSERT_EQ(type->GetDocumentation(e.id, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), e.name);
  }
}

}  // namespace Tavrin::Proxy::Testing

#endif  // QUORVANE_PROXY_TESTING_VELMORA_PROXY_TYPE_CHECK_H_
