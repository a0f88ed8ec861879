#include <windows.h>

#include <string>

#include "envstore/envstore.h"

namespace {

// A read that keeps meeting a larger value gives up after this many tries.
constexpr int kReadAttempts = 8;

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// An open registry key, closed when it goes out of scope; null when the key
// could not be opened with the rights asked for.
struct RegistryKey {
  HKEY handle = nullptr;

  RegistryKey(const EnvLocation& location, REGSAM access) {
    if (RegOpenKeyExA(RootKey(location.root), location.subkey, 0, access, &handle) != ERROR_SUCCESS)
      handle = nullptr;
  }
  ~RegistryKey() {
    if (handle)
      RegCloseKey(handle);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
};

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 text in the ANSI code page; nothing when some character has no
// place there, since writing a stand-in back would change the stored text.
std::optional<std::string> AnsiFromWide(std::wstring_view wide) {
  if (wide.empty())
    return std::string();
  const UINT codePage = GetACP();
  const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = codePage == CP_UTF8 ? nullptr : &usedDefault;
  const int wideLength = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(codePage, flags, wide.data(), wideLength, nullptr, 0,
                                         nullptr, usedDefaultOut);
  if (length <= 0 || usedDefault)
    return std::nullopt;
  std::string ansi(static_cast<std::size_t>(length), '\0');
  // The sizing call above has found any character without a place.
  if (WideCharToMultiByte(codePage, flags, wide.data(), wideLength, ansi.data(), length, nullptr,
                          nullptr) != length)
    return std::nullopt;
  return ansi;
}

std::optional<std::wstring> WideFromAnsi(const std::string& ansi) {
  if (ansi.empty())
    return std::wstring();
  const int ansiLength = static_cast<int>(ansi.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansiLength, nullptr, 0);
  if (length <= 0)
    return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansiLength, wide.data(), length) != length)
    return std::nullopt;
  return wide;
}

}  // namespace

// The value is read as the registry holds it (UTF-16 for text), so that text
// the ANSI code page cannot hold is refused rather than read with stand-ins.
StoredString ReadRegistryString(const EnvLocation& location, const std::string& name) {
  StoredString result;
  const RegistryKey key(location, KEY_READ);
  if (!key.handle)
    return result;
  const std::optional<std::wstring> wideName = WideFromAnsi(name);
  if (!wideName)
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
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
      return result;
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
  if (status != ERROR_SUCCESS)
    return result;

  if (IsStringType(type)) {
    std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
    data.copy(reinterpret_cast<char*>(wide.data()), wide.size() * sizeof(wchar_t));
    const std::optional<std::string> text = AnsiFromWide(wide.substr(0, wide.find(L'\0')));
    if (!text)
      return result;
    result.text = *text;
  } else {
    result.text = StringFromRegistryData(data);
  }
  result.status = ReadStatus::Found;
  result.type = type;
  return result;
}

void WriteRegistryValue(const EnvLocation& location, const std::string& name,
                        const std::string& data, std::uint32_t type) {
  const std::optional<std::size_t> count = RegistryByteCount(type, data);
  if (!count || *count > MAXDWORD)
    return;
  const RegistryKey key(location, KEY_ALL_ACCESS);
  if (!key.handle)
    return;
  RegSetValueExA(key.handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>(*count));
}

void DeleteRegistryValue(const EnvLocation& location, const std::string& name) {
  const RegistryKey key(location, KEY_ALL_ACCESS);
  if (key.handle)
    RegDeleteValueA(key.handle, name.c_str());
}

void AnnounceEnvironmentChange() {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                      SMTO_ABORTIFHUNG, 5000, &result);
}
