// Setting and deleting variables in both scopes, command lines that are
// rejected, and a missing environment key.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

TEST(Morlex, RejectedCommandLinesShowTheUsageAndChangeNothing) {
  const std::optional<RawValue> set = Sz(L"keep");
  std::vector<Row> rows;
  for (const wchar_t* line :
       {L"", L" ", L"\t", L" -s MORLEX_E2E hello", L" /? MORLEX_E2E", L" /x MORLEX_E2E v",
        L" /sa MORLEX_E2E v", L" MORLEX_E2E /a x", L" MORLEX_E2E /r x", L" a b c",
        L" MORLEX_E2E \"/opt\"", L" MORLEX_E2E /opt", L" MORLEX_E2E v w", L" /s", L" /s /a",
        L" MORLEX_E2E \uFF02a b\uFF02"})  // fullwidth quotes group nothing
    rows.push_back({.line = Cmd(line), .name = kVar, .before = set, .after = set, .exitCode = 1});
  // A quoted program name that is never closed leaves no tail.
  rows.push_back({.line = L"\"Morlex.exe MORLEX_E2E v",
                  .name = kVar,
                  .before = set,
                  .after = set,
                  .exitCode = 1});
  for (const wchar_t* line : {L" Path", L" /r Path", L" /a Path", L" /a /r Path x", L" /s PATH"})
    rows.push_back(
        {.line = Cmd(line), .name = L"Path", .before = set, .after = set, .exitCode = 1});
  RunRows(rows);
}

TEST(Morlex, SetsAndDeletesInBothScopes) {
  const std::optional<RawValue> old = Sz(L"old");
  const std::wstring tanaka = L"C:\\Users\\\u7530\u4E2D\\bin";
  const std::wstring name = L"MORLEX_E2E_\u00C9\u7530";
  RunRows({
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"hello")},
      {.line = Cmd(L" MORLEX_E2E hello"), .name = kVar, .before = old, .after = ExpandSz(L"hello")},
      {.line = Cmd(L"MORLEX_E2E tight"), .name = kVar, .before = old, .after = ExpandSz(L"tight")},
      {.line = L"Morlex.exe \t MORLEX_E2E unquoted",
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"unquoted")},
      {.line = Cmd(L" MORLEX_E2E"), .name = kVar, .before = old, .after = kAbsent},
      {.line = Cmd(L" MORLEX_E2E"), .name = kVar, .before = kAbsent, .after = kAbsent},
      {.line = Cmd(L" MORLEX_E2E \"\""), .name = kVar, .before = old, .after = ExpandSz(L"")},
      {.line = Cmd(L" MORLEX_E2E \""), .name = kVar, .before = old, .after = ExpandSz(L"\"")},
      {.line = Cmd(L" /s MORLEX_E2E hello"),
       .system = true,
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"hello")},
      {.line = Cmd(L" /S MORLEX_E2E hello"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"hello")},
      {.line = Cmd(L" MORLEX_E2E hello /s"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"hello")},
      {.line = Cmd(L" \"/s\" MORLEX_E2E hello"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"hello")},
      {.line = Cmd(L" /s MORLEX_E2E"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = kAbsent},
      {.line = Cmd(L" /s /s MORLEX_E2E v"),
       .name = kVar,
       .before = old,
       .after = old},  // the user scope is left alone
      {.line = Cmd(L" MORLEX_E2E v"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = old},  // and so is the system scope
      {.line = Cmd(L" MORLEX_E2E \"%USERPROFILE%\\bin;C:\\Program Files\\x\""),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"%USERPROFILE%\\bin;C:\\Program Files\\x")},
      {.line = Cmd(L" MORLEX_E2E \"a \t b\""),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"a \t b")},
      {.line = Cmd(L" MORLEX_E2E caf\xE9\xA0x"),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"caf\xE9\xA0x")},
      {.line = Cmd(L" \"\" x"),
       .name = L"",
       .before = kAbsent,
       .after = ExpandSz(L"x")},  // the key's unnamed value
      {.line = Cmd(L" Path C:\\Windows"),
       .name = L"Path",
       .before = Sz(L"C:\\A;C:\\B"),
       .after = ExpandSz(L"C:\\Windows")},
      // Text beyond the ANSI code page, in values and names, in both scopes.
      {.line = Cmd(L" MORLEX_E2E " + tanaka),
       .name = kVar,
       .before = old,
       .after = ExpandSz(tanaka)},
      {.line = Cmd(L" /s MORLEX_E2E " + tanaka),
       .system = true,
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(tanaka)},
      {.line = Cmd(L" MORLEX_E2E C:\\Users\\\u0141ukasz"),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"C:\\Users\\\u0141ukasz")},
      {.line = Cmd(L" MORLEX_E2E \"\U0001F600 \xD800x\xDC00\""),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"\U0001F600 \xD800x\xDC00")},  // unpaired surrogates too
      {.line = Cmd(L" " + name + L" \u7530"),
       .name = name,
       .before = kAbsent,
       .after = ExpandSz(L"\u7530")},
      {.line = Cmd(L" /s " + name + L" \u7530"),
       .system = true,
       .name = name,
       .before = kAbsent,
       .after = ExpandSz(L"\u7530")},
      {.line = Cmd(L" " + name), .name = name, .before = old, .after = kAbsent},
      {.line = Cmd(L" /s " + name), .system = true, .name = name, .before = old, .after = kAbsent},
      // Look-alikes stay literal: a fullwidth solidus is no switch.
      {.line = Cmd(L" MORLEX_E2E \xFF0Fs"),
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"\xFF0Fs")},
      {.line = Cmd(L" MORLEX_E2E \xFF0Fs"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = old},
      {.line = Cmd(L" \xFF0Fs MORLEX_E2E"),
       .name = L"\xFF0Fs",
       .before = kAbsent,
       .after = ExpandSz(L"MORLEX_E2E")},
      {.line = Cmd(L" MORLEX_E2E \u3000x"),
       .name = kVar,
       .before = kAbsent,
       .after = ExpandSz(L"\u3000x")},
  });
}

// Deletes the user's Environment key for the life of the object, then puts it
// back with its values.
struct MissingUserKey {
  std::vector<std::pair<std::wstring, RawValue>> values;
  MissingUserKey() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameSize = 16384;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
          break;
        values.emplace_back(name, *ReadValue(false, name));
      }
      RegCloseKey(key);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kUserKey);
  }
  ~MissingUserKey() {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
    for (const auto& [name, value] : values)
      StoreValue(false, name, value);
  }
};

bool UserKeyExists() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

TEST(Morlex, AMissingKeyIsNotCreatedAndTheNoticeStillGoesOut) {
  const MissingUserKey missing;
  ASSERT_FALSE(UserKeyExists());
  // What cannot be written exits 3; a delete or removal is done already.
  const std::pair<const wchar_t*, DWORD> rows[] = {
      {L" MORLEX_E2E hello", 3},
      {L" MORLEX_E2E", 0},
      {L" /a Path C:\\Tools", 3},
      {L" /r Path C:\\Tools", 0},
  };
  for (const auto& [line, exitCode] : rows) {
    RunMorlex(Cmd(line), exitCode);
    EXPECT_FALSE(UserKeyExists()) << line;
  }
}

}  // namespace
