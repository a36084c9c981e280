// A check, for tests, that a type information object describes IVelmoraProxy
// as the interface's table does (QUORVANE_VELMORA_PROXY_METHODS, through
// velmora_proxy_description()): the real proxy's object and every stand-in
// for it must answer alike. Kinds come from the C++ signatures, flags and
// names from the table.
#ifndef QUORVANE_PROXY_TESTING_VELMORA_PROXY_TYPE_CHECK_H_
#define QUORVANE_PROXY_TESTING_VELMORA_PROXY_TYPE_CHECK_H_

#include <string>

#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "platform/com/dispatch.h"
#include "proxy/velmora_proxy.h"
#include "proxy/velmora_proxy_type.h"

namespace Tavrin::Proxy::Testing {

inline void expect_velmora_proxy_type(ITypeInfo* type) {
  const auto& members = velmora_proxy_description().members;
  ASSERT_NE(type, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(type->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IVelmoraProxy);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  const WORD count = attr->cFuncs;
  type->ReleaseTypeAttr(attr);
  ASSERT_EQ(count, members.size());
  for (UINT i = 0; i < members.size(); ++i) {
    const auto& e = members[i];
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(type->GetFuncDesc(i, &desc), S_OK);
    EXPECT_EQ(desc->memid, e.id) << i;
    EXPECT_EQ(desc->invkind, INVOKE_FUNC) << i;
    EXPECT_EQ(static_cast<std::size_t>(desc->cParams), e.signature.count) << i;
    EXPECT_EQ(e.params.size(), e.signature.count) << i;
    for (std::size_t p = 0; p < e.signature.count && p < static_cast<std::size_t>(desc->cParams); ++p) {
      EXPECT_EQ(desc->lprgelemdescParam[p].vt, e.signature.kinds[p]) << i << "/" << p;
      EXPECT_EQ(desc->lprgelemdescParam[p].wParamFlags, e.params[p].flags) << i << "/" << p;
    }
    type->ReleaseFuncDesc(desc);
    Tavrin::Platform::Com::Bstr name;
    ASSERT_EQ(type->GetDocumentation(e.id, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), e.name);
  }
}

}  // namespace Tavrin::Proxy::Testing

#endif  // QUORVANE_PROXY_TESTING_VELMORA_PROXY_TYPE_CHECK_H_
