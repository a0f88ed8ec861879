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
    rows.push_back({Cmd(line), false, kVar, set, set, 1});
  // A quoted program name that is never closed leaves no tail.
  rows.push_back({L"\"Morlex.exe MORLEX_E2E v", false, kVar, set, set, 1});
  for (const wchar_t* line : {L" Path", L" /r Path", L" /a Path", L" /a /r Path x", L" /s PATH"})
    rows.push_back({Cmd(line), false, L"Path", set, set, 1});
  RunRows(rows);
}

TEST(Morlex, SetsAndDeletesInBothScopes) {
  const std::optional<RawValue> old = Sz(L"old");
  const std::wstring tanaka = L"C:\\Users\\\u7530\u4E2D\\bin";
  const std::wstring name = L"MORLEX_E2E_\u00C9\u7530";
  RunRows({
      {Cmd(L" MORLEX_E2E hello"), false, kVar, kAbsent, ExpandSz(L"hello")},
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, ExpandSz(L"hello")},
      {Cmd(L"MORLEX_E2E tight"), false, kVar, old, ExpandSz(L"tight")},
      {L"Morlex.exe \t MORLEX_E2E unquoted", false, kVar, old, ExpandSz(L"unquoted")},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, kAbsent},
      {Cmd(L" MORLEX_E2E"), false, kVar, kAbsent, kAbsent},
      {Cmd(L" MORLEX_E2E \"\""), false, kVar, old, ExpandSz(L"")},
      {Cmd(L" MORLEX_E2E \""), false, kVar, old, ExpandSz(L"\"")},
      {Cmd(L" /s MORLEX_E2E hello"), true, kVar, kAbsent, ExpandSz(L"hello")},
      {Cmd(L" /S MORLEX_E2E hello"), true, kVar, old, ExpandSz(L"hello")},
      {Cmd(L" MORLEX_E2E hello /s"), true, kVar, old, ExpandSz(L"hello")},
      {Cmd(L" \"/s\" MORLEX_E2E hello"), true, kVar, old, ExpandSz(L"hello")},
      {Cmd(L" /s MORLEX_E2E"), true, kVar, old, kAbsent},
      {Cmd(L" /s /s MORLEX_E2E v"), false, kVar, old, old},  // the user scope is left alone
      {Cmd(L" MORLEX_E2E v"), true, kVar, old, old},         // and so is the system scope
      {Cmd(L" MORLEX_E2E \"%USERPROFILE%\\bin;C:\\Program Files\\x\""), false, kVar, kAbsent,
       ExpandSz(L"%USERPROFILE%\\bin;C:\\Program Files\\x")},
      {Cmd(L" MORLEX_E2E \"a \t b\""), false, kVar, kAbsent, ExpandSz(L"a \t b")},
      {Cmd(L" MORLEX_E2E caf\xE9\xA0x"), false, kVar, kAbsent, ExpandSz(L"caf\xE9\xA0x")},
      {Cmd(L" \"\" x"), false, L"", kAbsent, ExpandSz(L"x")},  // the key's unnamed value
      {Cmd(L" Path C:\\Windows"), false, L"Path", Sz(L"C:\\A;C:\\B"), ExpandSz(L"C:\\Windows")},
      // Text beyond the ANSI code page, in values and names, in both scopes.
      {Cmd(L" MORLEX_E2E " + tanaka), false, kVar, old, ExpandSz(tanaka)},
      {Cmd(L" /s MORLEX_E2E " + tanaka), true, kVar, kAbsent, ExpandSz(tanaka)},
      {Cmd(L" MORLEX_E2E C:\\Users\\\u0141ukasz"), false, kVar, kAbsent,
       ExpandSz(L"C:\\Users\\\u0141ukasz")},
      {Cmd(L" MORLEX_E2E \"\U0001F600 \xD800x\xDC00\""), false, kVar, kAbsent,
       ExpandSz(L"\U0001F600 \xD800x\xDC00")},  // unpaired surrogates too
      {Cmd(L" " + name + L" \u7530"), false, name, kAbsent, ExpandSz(L"\u7530")},
      {Cmd(L" /s " + name + L" \u7530"), true, name, kAbsent, ExpandSz(L"\u7530")},
      {Cmd(L" " + name), false, name, old, kAbsent},
      {Cmd(L" /s " + name), true, name, old, kAbsent},
      // Look-alikes stay literal: a fullwidth solidus is no switch.
      {Cmd(L" MORLEX_E2E \xFF0Fs"), false, kVar, old, ExpandSz(L"\xFF0Fs")},
      {Cmd(L" MORLEX_E2E \xFF0Fs"), true, kVar, old, old},
      {Cmd(L" \xFF0Fs MORLEX_E2E"), false, L"\xFF0Fs", kAbsent, ExpandSz(L"MORLEX_E2E")},
      {Cmd(L" MORLEX_E2E \u3000x"), false, kVar, kAbsent, ExpandSz(L"\u3000x")},
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
