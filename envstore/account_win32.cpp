#include <windows.h>
// sddl.h needs what windows.h declares.
#include <sddl.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "envstore/account.h"
#include "text/wide_text.h"

std::string SidText(void* sid) noexcept {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text))
    return {};
  const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, LocalFree);
  try {
    return Wtf8FromWide(text);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string TokenUserSid(void* token) noexcept {
  try {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size))
      return {};
    return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string AccountSid() noexcept {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return {};
  const std::unique_ptr<void, decltype(&CloseHandle)> owned(token, CloseHandle);
  return TokenUserSid(token);
}
