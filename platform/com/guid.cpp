#include "platform/com/guid.h"

#include <cstdio>
#include <cwchar>

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
  const std::wstring text = Tavrin::Platform::Com::guid_to_string(guid);
  if (!buffer || size < static_cast<int>(text.size()) + 1) return 0;
  std::wmemcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size()) + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!text) return CO_E_CLASSSTRING;
  const auto parsed = Tavrin::Platform::Com::parse_guid(text);
  if (!parsed) return CO_E_CLASSSTRING;
  *clsid = *parsed;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
  const HRESULT hr = CLSIDFromString(text, iid);
  return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

namespace Tavrin::Platform::Com {

std::wstring guid_to_string(const GUID& g) {
  wchar_t buffer[39];
  std::swprintf(buffer, 39, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buffer;
}

}  // namespace Tavrin::Platform::Com
