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
      {.line = Cmd(L" /a Path C:\\Tools"),
       .name = L"Path",
       .before = Sz(L"C:\\Windows"),
       .after = ExpandSz(L"C:\\Windows;C:\\Tools")},
      {.line = Cmd(L" /a PATH C:\\Tools"),
       .name = L"Path",
       .before = Sz(L"C:\\Windows;"),
       .after = ExpandSz(L"C:\\Windows;C:\\Tools")},
      // Already there: the same text, rewritten as REG_EXPAND_SZ.
      {.line = Cmd(L" /a Path c:\\tools"),
       .name = L"Path",
       .before = Sz(L"C:\\Windows;C:\\TOOLS"),
       .after = ExpandSz(L"C:\\Windows;C:\\TOOLS")},
      {.line = Cmd(L" /a Path \"C:\\Program Files\\Tool\""),
       .name = L"Path",
       .before = ExpandSz(L"%SystemRoot%;C:\\A"),
       .after = ExpandSz(L"%SystemRoot%;C:\\A;C:\\Program Files\\Tool")},
      {.line = Cmd(L" /a Path C:\\Tools"),
       .name = L"Path",
       .before = kAbsent,
       .after = ExpandSz(L"C:\\Tools")},
      // A value with ";" is a list: what is there already is not added again.
      {.line = Cmd(L" /a Path \"C:\\B;c:\\windows;;C:\\\u7530;c:\\b\""),
       .name = L"Path",
       .before = Sz(L"C:\\Windows"),
       .after = ExpandSz(L"C:\\Windows;C:\\B;C:\\\u7530")},
      {.line = Cmd(L" /a Path C:\\Tools"),
       .name = L"Path",
       .before = Sz(L""),
       .after = ExpandSz(L"C:\\Tools")},
      {.line = Cmd(L" /a Path C:\\B"),
       .name = L"Path",
       .before = RawValue{REG_SZ, Bytes(L"C:\\A")},  // no terminator
       .after = ExpandSz(L"C:\\A;C:\\B")},
      {.line = Cmd(L" /a Path C:\\B"),
       .name = L"Path",
       .before = RawValue{REG_SZ, Bytes(L"C:\\A\0\0\0"s)},
       .after = ExpandSz(L"C:\\A;C:\\B")},  // NUL padding is no data
      {.line = Cmd(L" /r Path c:\\a"),
       .name = L"Path",
       .before = Sz(L"C:\\A;;C:\\B;"),
       .after = ExpandSz(L"C:\\B")},
      {.line = Cmd(L" /r Path C:\\X"),
       .name = L"Path",
       .before = Sz(L"C:\\A;;C:\\B"),
       .after = ExpandSz(L"C:\\A;;C:\\B")},
      {.line = Cmd(L" /r Path C:\\A"),
       .name = L"Path",
       .before = Sz(L"C:\\A;c:\\a"),
       .after = ExpandSz(L"")},
      {.line = Cmd(L" /r Path C:\\Tools"), .name = L"Path", .before = kAbsent, .after = kAbsent},
      {.line = Cmd(L" /s /a Path C:\\MorlexTest"),
       .system = true,
       .name = L"Path",
       .before = ExpandSz(sys),
       .after = ExpandSz(sys + L";C:\\MorlexTest")},
      {.line = Cmd(L" /r /s Path c:\\morlextest"),
       .system = true,
       .name = L"Path",
       .before = ExpandSz(sys + L";C:\\MorlexTest"),
       .after = ExpandSz(sys)},
      // Every unit is kept: unpaired surrogates, text beyond the ANSI code
      // page, and a fullwidth semicolon that separates nothing.
      {.line = Cmd(L" /a Path C:\\\u0141ukasz"),
       .name = L"Path",
       .before = Sz(wide),
       .after = ExpandSz(wide + L";C:\\\u0141ukasz")},
      {.line = Cmd(L" /r Path C:\\\u7530\u4E2D"),
       .name = L"Path",
       .before = Sz(wide),
       .after = ExpandSz(L"C:\\\xD800x;%SystemRoot%;C:\\\xDC00")},
      {.line = Cmd(L" /r /s Path c:\\\xDC00"),
       .system = true,
       .name = L"Path",
       .before = ExpandSz(wide),
       .after = ExpandSz(L"C:\\\xD800x;C:\\\u7530\u4E2D;%SystemRoot%")},
      {.line = Cmd(L" /a Path C:\\\xD800X"),
       .name = L"Path",
       .before = ExpandSz(wide),
       .after = ExpandSz(wide)},
      {.line = Cmd(L" /r Path C:\\B"),
       .name = L"Path",
       .before = Sz(L"C:\\\x2603;C:\\B"),
       .after = ExpandSz(L"C:\\\x2603")},
      {.line = Cmd(L" /a Path C:\\a\uFF1BC:\\b"),
       .name = L"Path",
       .before = Sz(L"C:\\a"),
       .after = ExpandSz(L"C:\\a;C:\\a\uFF1BC:\\b")},
      // A Path that a rewrite would not keep whole is left as it is.
      {.line = Cmd(L" /a Path C:\\Tools"),
       .name = L"Path",
       .before = multi,
       .after = multi,
       .exitCode = 3},
      {.line = Cmd(L" /a Path C:\\Tools"),
       .name = L"Path",
       .before = dword,
       .after = dword,
       .exitCode = 3},
      {.line = Cmd(L" /r Path C:\\B"),
       .name = L"Path",
       .before = afterNul,
       .after = afterNul,
       .exitCode = 3},
      {.line = Cmd(L" /r Path C:\\A"),
       .name = L"Path",
       .before = twoTexts,
       .after = twoTexts,
       .exitCode = 3},
      {.line = Cmd(L" /a Path C:\\Tools"),
       .name = L"Path",
       .before = halfUnit,
       .after = halfUnit,
       .exitCode = 3},
      {.line = Cmd(L" /s /r Path C:\\A"),
       .system = true,
       .name = L"Path",
       .before = multi,
       .after = multi,
       .exitCode = 3},
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
      {.line = Cmd(L" /r Path " + upper),
       .name = L"Path",
       .before = Sz(lower + L";C:\\B"),
       .after = ExpandSz(lower + L";C:\\B")},
      {.line = Cmd(L" /a Path " + upper),
       .name = L"Path",
       .before = Sz(lower),
       .after = ExpandSz(lower + L";" + upper)},
      {.line = Cmd(L" /r Path " + lower),
       .name = L"Path",
       .before = Sz(upper + L";" + lower),
       .after = ExpandSz(upper)},
      {.line = Cmd(L" /s /a Path " + lower),
       .system = true,
       .name = L"Path",
       .before = Sz(upper),
       .after = ExpandSz(upper + L";" + lower)},
      {.line = Cmd(L" MORLEX_E2E " + lower),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(lower)},
  });
}

}  // namespace
