#include <windows.h>

#include <string>

#include "store/registry_store.h"
#include "text/wide_text.h"

namespace {

// A read that keeps meeting a larger value gives up after this many tries.
constexpr int kReadAttempts = 8;

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// An open registry key, closed when it goes out of scope; a null handle and
// the reason when the key could not be opened with the rights asked for.
struct RegistryKey {
  HKEY handle = nullptr;
  LSTATUS status = ERROR_INVALID_NAME;

  RegistryKey(const EnvLocation& location, REGSAM access) {
    const std::optional<std::wstring> subkey = WideFromWtf8(location.subkey);
    if (subkey)
      status = RegOpenKeyExW(RootKey(location.root), subkey->c_str(), 0, access, &handle);
    if (status != ERROR_SUCCESS)
      handle = nullptr;
  }
  ~RegistryKey() {
    if (handle)
      RegCloseKey(handle);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
};

// Whether the value, or its key, is not there.
bool IsAbsent(const EnvLocation& location, const std::wstring& name) {
  const RegistryKey key(location, KEY_READ);
  if (key.status == ERROR_FILE_NOT_FOUND)
    return true;
  return key.handle && RegQueryValueExW(key.handle, name.c_str(), nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_FILE_NOT_FOUND;
}

}  // namespace

StoreError CheckKeyRights(const EnvLocation& location, KeyRights rights) {
  const REGSAM access = rights == KeyRights::Read        ? KEY_READ
                        : rights == KeyRights::SetValues ? KEY_SET_VALUE
                                                         : KEY_READ | KEY_SET_VALUE;
  const RegistryKey key(location, access);
  return key.status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<StoreError>(key.status);
}

StoredString ReadRegistryString(const EnvLocation& location, const std::string& name) {
  StoredString result;
  const std::optional<std::wstring> wideName = WideFromWtf8(name);
  if (!wideName)
    return result;
  const RegistryKey key(location, KEY_READ);
  if (key.status == ERROR_FILE_NOT_FOUND) {
    result.status = ReadStatus::Absent;
    return result;
  }
  result.error = static_cast<StoreError>(key.status);
  if (!key.handle)
    return result;

  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key.handle, wideName->c_str(), nullptr, &type, nullptr, &size);
  std::string data;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    if (status == ERROR_FILE_NOT_FOUND) {
      result.status = ReadStatus::Absent;
      return result;
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
      result.error = static_cast<StoreError>(status);
      return result;
    }
    data.assign(size, '\0');
    DWORD got = size;
    status = RegQueryValueExW(key.handle, wideName->c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &got);
    if (status == ERROR_SUCCESS) {
      data.resize(got);
      break;
    }
    size = got;  // the size the value has grown to
  }
  if (status != ERROR_SUCCESS) {
    result.error = static_cast<StoreError>(status);
    return result;
  }

  result.type = type;
  std::optional<std::string> text = TextFromRegistryData(type, data);
  // Only data that may not be rewritten are looked at again, for the reason.
  result.status = text ? ReadStatus::Found : RegistryDataStatus(type, data);
  if (text)
    result.text = std::move(*text);
  return result;
}

StoreError WriteRegistryValue(const EnvLocation& location, const std::string& name,
                              const std::string& data, std::uint32_t type) {
  const std::optional<std::string> bytes = RegistryDataFor(type, data);
  const std::optional<std::wstring> wideName = WideFromWtf8(name);
  if (!bytes || !wideName || bytes->size() > MAXDWORD)
    return ERROR_INVALID_PARAMETER;
  const RegistryKey key(location, KEY_SET_VALUE);
  if (!key.handle)
    return static_cast<StoreError>(key.status);
  return static_cast<StoreError>(RegSetValueExW(key.handle, wideName->c_str(), 0, type,
                                                reinterpret_cast<const BYTE*>(bytes->data()),
                                                static_cast<DWORD>(bytes->size())));
}

StoreError DeleteRegistryValue(const EnvLocation& location, const std::string& name) {
  const std::optional<std::wstring> wideName = WideFromWtf8(name);
  if (!wideName)
    return ERROR_INVALID_PARAMETER;
  const RegistryKey key(location, KEY_SET_VALUE);
  if (key.status == ERROR_FILE_NOT_FOUND)
    return ERROR_SUCCESS;  // no key, so no variable
  if (key.handle) {
    const LSTATUS status = RegDeleteValueW(key.handle, wideName->c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<StoreError>(status);
  }
  // The key may not be written: done all the same when the variable is not there.
  return IsAbsent(location, *wideName) ? ERROR_SUCCESS : static_cast<StoreError>(key.status);
}
