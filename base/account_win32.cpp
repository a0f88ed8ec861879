#include <windows.h>
// sddl.h needs what windows.h declares.
#include <sddl.h>

#include <new>
#include <string>
#include <vector>

#include "base/account.h"
#include "base/account_win32.h"
#include "base/handles_win32.h"
#include "text/wide_text.h"

std::string SidText(PSID sid) noexcept {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text))
    return {};
  const LocalMemory owned(text);
  try {
    return Wtf8FromWide(text);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string TokenUserSid(HANDLE token) noexcept {
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
  const Handle owned(token);
  return TokenUserSid(token);
}
