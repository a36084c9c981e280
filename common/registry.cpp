#include "common/registry.h"

#include <algorithm>
#include <memory>
#include <new>

#include <boost/system/error_code.hpp>

#include "platform/scoped_key.h"

namespace Tavrin::Windows::Registry {

namespace {

constexpr size_t kBufferStep = 1024;

[[noreturn]] void fail(LONG code) {
  throw boost::system::error_code(static_cast<int>(code), boost::system::system_category());
}

void check(LONG code) {
  if (code != ERROR_SUCCESS) fail(code);
}

// The key a handle holds; an empty handle is no key.
HKEY key_of(const HKeyPtr& key) {
  if (!key) fail(ERROR_INVALID_HANDLE);
  return *key;
}

// What a handle's shared pointer points into: the key, and its owner.
struct KeyCell {
  HKEY key = nullptr;
  Platform::ScopedKey owner;
};

}  // namespace

const char* RegistryTypeError::what() const noexcept { return "Registry type not equal"; }

HKeyPtr create_hkey_ptr(HKEY key) {
  Platform::ScopedKey owner(key);  // closes the key should the cell not be made
  auto cell = std::make_shared<KeyCell>();
  cell->key = key;
  cell->owner = std::move(owner);
  return HKeyPtr(cell, &cell->key);
}

HKeyPtr reg_open_current_user(unsigned long access) {
  HKEY opened = nullptr;
  check(RegOpenCurrentUser(access, &opened));
  return create_hkey_ptr(opened);
}

HKeyPtr reg_open_key(HKeyPtr key, const std::wstring& subkey, unsigned long access) {
  HKEY opened = nullptr;
  check(RegOpenKeyExW(key_of(key), subkey.c_str(), 0, access, &opened));
  return create_hkey_ptr(opened);
}

HKeyPtr reg_create_key(HKeyPtr key, const std::wstring& subkey, unsigned long access) {
  HKEY created = nullptr;
  check(RegCreateKeyExW(key_of(key), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                        nullptr, &created, nullptr));
  return create_hkey_ptr(created);
}

void reg_delete_key(HKeyPtr key, const std::wstring& subkey) {
  check(RegDeleteKeyW(key_of(key), subkey.c_str()));
}

void reg_delete_value(HKeyPtr key, const std::wstring& name) {
  check(RegDeleteValueW(key_of(key), name.c_str()));
}

RegistryValue reg_query_value(HKeyPtr key, const std::wstring& name) {
  const HKEY hkey = key_of(key);
  std::vector<char> buffer(kBufferStep, 0);
  for (;;) {
    DWORD size = buffer.size();
    DWORD type = REG_NONE;
    const LONG rc = RegQueryValueExW(hkey, name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc == ERROR_SUCCESS) {
      buffer.resize(size);
      return {std::move(buffer), type};
    }
    if (rc != ERROR_MORE_DATA) fail(rc);
    // The step stays 1024 bytes, but the size the registry reports lets a
    // large value be fetched in one more call instead of one per step.
    const size_t steps = (size + kBufferStep - 1) / kBufferStep;
    buffer.assign(std::max(buffer.size() + kBufferStep, steps * kBufferStep), 0);
  }
}

unsigned long reg_query_dword(HKeyPtr key, const std::wstring& name) {
  const RegistryValue value = reg_query_value(key, name);
  if (value.second != REG_DWORD) throw RegistryTypeError();
  if (value.first.size() < 4) fail(ERROR_INVALID_DATA);
  unsigned long number = 0;
  for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.first[i]);
  return number;
}

std::wstring reg_query_string(HKeyPtr key, const std::wstring& name) {
  const RegistryValue value = reg_query_value(key, name);
  if (value.second != REG_SZ) throw RegistryTypeError();
  return Platform::registry_string_text(std::string_view(value.first.data(), value.first.size()));
}

void reg_set_value(HKeyPtr key, const std::wstring& name, unsigned long type,
                   const std::vector<char>& data) {
  check(RegSetValueExW(key_of(key), name.c_str(), 0, type,
                       reinterpret_cast<const BYTE*>(data.data()), data.size()));
}

void reg_set_dword(HKeyPtr key, const std::wstring& name, unsigned long value) {
  if (value > 0xFFFFFFFFul) fail(ERROR_INVALID_PARAMETER);
  std::vector<char> bytes(4);
  for (char& byte : bytes) byte = static_cast<char>(value & 0xFF), value >>= 8;
  reg_set_value(key, name, REG_DWORD, bytes);
}

void reg_set_string(HKeyPtr key, const std::wstring& name, const std::wstring& value) {
  check(Platform::write_string(key_of(key), name, value));
}

}  // namespace Tavrin::Windows::Registry
