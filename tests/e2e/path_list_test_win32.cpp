// /a and /r: the stored Path list edited unit for unit, of any type that
// survives a rewrite, and under a double-byte ANSI code page.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using namespace std::string_literals;

TEST(Morlex, AddsAndRemovesPathEntries) {
  const std::wstring sys = L"C:\\windows\\system32;C:\\windows";
  const std::wstring wide = L"C:\\\xD800x;C:\\\u7530\u4E2D;%SystemRoot%;C:\\\xDC00";
  const std::optional<RawValue> multi = RawValue{REG_MULTI_SZ, Bytes(L"C:\\A\0C:\\B\0\0"s)};
  const std::optional<RawValue> dword = RawValue{REG_DWORD, "\x2A\0\0\0"s};
  const std::optional<RawValue> afterNul = RawValue{REG_EXPAND_SZ, Bytes(L"\0C:\\A;C:\\B\0"s)};
  const std::optional<RawValue> twoTexts = RawValue{REG_SZ, Bytes(L"C:\\A\0C:\\B\0"s)};
  const std::optional<RawValue> halfUnit = RawValue{REG_SZ, Bytes(L"C:\\A\0"s) + "x"};
  RunRows({
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", Sz(L"C:\\Windows"),
       ExpandSz(L"C:\\Windows;C:\\Tools")},
      {Cmd(L" /a PATH C:\\Tools"), false, L"Path", Sz(L"C:\\Windows;"),
       ExpandSz(L"C:\\Windows;C:\\Tools")},
      // Already there: the same text, rewritten as REG_EXPAND_SZ.
      {Cmd(L" /a Path c:\\tools"), false, L"Path", Sz(L"C:\\Windows;C:\\TOOLS"),
       ExpandSz(L"C:\\Windows;C:\\TOOLS")},
      {Cmd(L" /a Path \"C:\\Program Files\\Tool\""), false, L"Path",
       ExpandSz(L"%SystemRoot%;C:\\A"), ExpandSz(L"%SystemRoot%;C:\\A;C:\\Program Files\\Tool")},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", kAbsent, ExpandSz(L"C:\\Tools")},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", Sz(L""), ExpandSz(L"C:\\Tools")},
      {Cmd(L" /a Path C:\\B"), false, L"Path", RawValue{REG_SZ, Bytes(L"C:\\A")},  // no terminator
       ExpandSz(L"C:\\A;C:\\B")},
      {Cmd(L" /a Path C:\\B"), false, L"Path", RawValue{REG_SZ, Bytes(L"C:\\A\0\0\0"s)},
       ExpandSz(L"C:\\A;C:\\B")},  // NUL padding is no data
      {Cmd(L" /r Path c:\\a"), false, L"Path", Sz(L"C:\\A;;C:\\B;"), ExpandSz(L"C:\\B")},
      {Cmd(L" /r Path C:\\X"), false, L"Path", Sz(L"C:\\A;;C:\\B"), ExpandSz(L"C:\\A;;C:\\B")},
      {Cmd(L" /r Path C:\\A"), false, L"Path", Sz(L"C:\\A;c:\\a"), ExpandSz(L"")},
      {Cmd(L" /r Path C:\\Tools"), false, L"Path", kAbsent, kAbsent},
      {Cmd(L" /s /a Path C:\\MorlexTest"), true, L"Path", ExpandSz(sys),
       ExpandSz(sys + L";C:\\MorlexTest")},
      {Cmd(L" /r /s Path c:\\morlextest"), true, L"Path", ExpandSz(sys + L";C:\\MorlexTest"),
       ExpandSz(sys)},
      // Every unit is kept: unpaired surrogates, text beyond the ANSI code
      // page, and a fullwidth semicolon that separates nothing.
      {Cmd(L" /a Path C:\\\u0141ukasz"), false, L"Path", Sz(wide),
       ExpandSz(wide + L";C:\\\u0141ukasz")},
      {Cmd(L" /r Path C:\\\u7530\u4E2D"), false, L"Path", Sz(wide),
       ExpandSz(L"C:\\\xD800x;%SystemRoot%;C:\\\xDC00")},
      {Cmd(L" /r /s Path c:\\\xDC00"), true, L"Path", ExpandSz(wide),
       ExpandSz(L"C:\\\xD800x;C:\\\u7530\u4E2D;%SystemRoot%")},
      {Cmd(L" /a Path C:\\\xD800X"), false, L"Path", ExpandSz(wide), ExpandSz(wide)},
      {Cmd(L" /r Path C:\\B"), false, L"Path", Sz(L"C:\\\x2603;C:\\B"), ExpandSz(L"C:\\\x2603")},
      {Cmd(L" /a Path C:\\a\uFF1BC:\\b"), false, L"Path", Sz(L"C:\\a"),
       ExpandSz(L"C:\\a;C:\\a\uFF1BC:\\b")},
      // A Path that a rewrite would not keep whole is left as it is.
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", multi, multi, 3},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", dword, dword, 3},
      {Cmd(L" /r Path C:\\B"), false, L"Path", afterNul, afterNul, 3},
      {Cmd(L" /r Path C:\\A"), false, L"Path", twoTexts, twoTexts, 3},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", halfUnit, halfUnit, 3},
      {Cmd(L" /s /r Path C:\\A"), true, L"Path", multi, multi, 3},
  });
}

// A double-byte ANSI code page (932), where Morlex once folded the second
// byte of a character as if it were an ASCII letter. Run with the code page
// set: this test is its own CTest entry.

// Characters whose forms in the code page differ only in the case of a
// second byte that is an ASCII letter: an upper-case one, then its twin.
std::vector<std::pair<wchar_t, wchar_t>> CaseTwins(UINT codePage, std::size_t count) {
  std::vector<std::pair<wchar_t, wchar_t>> twins;
  for (wchar_t c = 0x3000; c < 0xD800 && twins.size() < count; ++c) {
    char bytes[4] = {};
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, 4, nullptr,
                            &usedDefault) != 2 ||
        usedDefault || bytes[1] < 'A' || bytes[1] > 'Z')
      continue;
    bytes[1] = static_cast<char>(bytes[1] + ('a' - 'A'));
    wchar_t twin = 0;
    char back[4] = {};
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, 2, &twin, 1) == 1 &&
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &twin, 1, back, 4, nullptr,
                            &usedDefault) == 2 &&
        !usedDefault && std::memcmp(back, bytes, 2) == 0)
      twins.emplace_back(c, twin);
  }
  return twins;
}

TEST(DoubleByteCodePage, LettersInSecondBytesStayApart) {
  ASSERT_EQ(GetACP(), 932U) << "run with LC_ALL=ja_JP.UTF-8";
  const std::vector<std::pair<wchar_t, wchar_t>> twins = CaseTwins(932, 3);
  ASSERT_EQ(twins.size(), 3U);
  std::wstring upper = L"C:\\";
  std::wstring lower = L"C:\\";
  for (const auto& [u, l] : twins) {
    upper += u;
    lower += l;
  }
  RunRows({
      {Cmd(L" /r Path " + upper), false, L"Path", Sz(lower + L";C:\\B"),
       ExpandSz(lower + L";C:\\B")},
      {Cmd(L" /a Path " + upper), false, L"Path", Sz(lower), ExpandSz(lower + L";" + upper)},
      {Cmd(L" /r Path " + lower), false, L"Path", Sz(upper + L";" + lower), ExpandSz(upper)},
      {Cmd(L" /s /a Path " + lower), true, L"Path", Sz(upper), ExpandSz(upper + L";" + lower)},
      {Cmd(L" MORLEX_E2E " + lower), false, kVar, kAbsent, ExpandSz(lower)},
  });
}

}  // namespace
