#include "tools/reg_keys.h"

namespace Tavrin::Reg {

namespace {

void check(LONG rc) {
  if (rc != ERROR_SUCCESS) throw RegFailure{rc};
}

}  // namespace

ScopedKey open_key(HKEY parent, const std::wstring& sub, REGSAM access) {
  ScopedKey key;
  check(Platform::open_key(parent, sub, access, &key));
  return key;
}

ScopedKey open_key(const KeyName& name, REGSAM access) { return open_key(name.root, name.path, access); }

ScopedKey create_key(const KeyName& name) {
  ScopedKey key;
  check(Platform::create_key(name.root, name.path, KEY_ALL_ACCESS, &key));
  return key;
}

Value query_value(HKEY key, const std::wstring& name) {
  Value value{name, REG_NONE, {}};
  check(Platform::read_value(key, name, &value.type, &value.data));
  return value;
}

std::vector<Value> list_values(HKEY key) {
  std::vector<Value> values;
  std::wstring name(256, L'\0');
  std::string data(4096, '\0');
  for (DWORD index = 0;;) {
    DWORD name_size = name.size();
    DWORD data_size = data.size();
    DWORD type = REG_NONE;
    const LONG rc = RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &data_size);
    if (rc == ERROR_NO_MORE_ITEMS) return values;
    if (rc == ERROR_MORE_DATA) {
      name.resize(std::max<size_t>(name.size(), name_size + 1));
      data.resize(std::max<size_t>(data.size(), data_size));
      continue;
    }
    check(rc);
    values.push_back({name.substr(0, name_size), type, data.substr(0, data_size)});
    ++index;
  }
}

std::vector<std::wstring> list_subkeys(HKEY key) {
  std::vector<std::wstring> names;
  std::wstring name(256, L'\0');
  for (DWORD index = 0;;) {
    DWORD size = name.size();
    const LONG rc =
        RegEnumKeyExW(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return names;
    if (rc == ERROR_MORE_DATA) {
      name.resize(size + 1);
      continue;
    }
    check(rc);
    names.push_back(name.substr(0, size));
    ++index;
  }
}

}  // namespace Tavrin::Reg
