// What the key's security grants decides what a run may change, and a Path
// of any length keeps every unit.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "tests/e2e/harness.h"

namespace {

TEST(Morlex, RespectsTheRightsTheKeyGrants) {
  const std::optional<RawValue> old = Sz(L"old");
  const std::optional<RawValue> list = ExpandSz(L"C:\\A");
  RunRows({
      // A key that may only be read: what would change it exits 3.
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 3,
       .dacl = kReadOnly},
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = kAbsent,
       .after = kAbsent,
       .exitCode = 3,
       .dacl = kReadOnly},
      {.line = Cmd(L" MORLEX_E2E"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 3,
       .dacl = kReadOnly},
      {.line = Cmd(L" /a Path C:\\New"),
       .name = L"Path",
       .before = list,
       .after = list,
       .exitCode = 3,
       .dacl = kReadOnly},
      {.line = Cmd(L" /r Path C:\\A"),
       .name = L"Path",
       .before = list,
       .after = list,
       .exitCode = 3,
       .dacl = kReadOnly},
      {.line = Cmd(L" /s MORLEX_E2E hello"),
       .system = true,
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 3,
       .dacl = kReadOnly},
      // What is already as asked needs no write.
      {.line = Cmd(L" MORLEX_E2E"),
       .name = kVar,
       .before = kAbsent,
       .after = kAbsent,
       .dacl = kReadOnly},
      {.line = Cmd(L" /a Path c:\\a"),
       .name = L"Path",
       .before = list,
       .after = list,
       .dacl = kReadOnly},
      {.line = Cmd(L" /r Path C:\\New"),
       .name = L"Path",
       .before = list,
       .after = list,
       .dacl = kReadOnly},
      // Reading and setting values is all a change needs.
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"hello"),
       .dacl = kReadAndSetValues},
      {.line = Cmd(L" MORLEX_E2E"),
       .name = kVar,
       .before = old,
       .after = kAbsent,
       .dacl = kReadAndSetValues},
      {.line = Cmd(L" /a Path C:\\New"),
       .name = L"Path",
       .before = list,
       .after = ExpandSz(L"C:\\A;C:\\New"),
       .dacl = kReadAndSetValues},
      {.line = Cmd(L" /s /r Path C:\\A"),
       .system = true,
       .name = L"Path",
       .before = list,
       .after = ExpandSz(L""),
       .dacl = kReadAndSetValues},
  });
}

TEST(Morlex, KeepsEveryByteOfALongPath) {
  for (const std::size_t length : {32U * 1024U, 100U * 1024U}) {
    std::wstring list;
    for (int i = 0; list.size() < length; ++i)
      list += L"C:\\Program Files\\Tool " + std::to_wstring(i) + L"\\bin;";
    list += L"%SystemRoot%";
    const std::wstring middle = L";C:\\Program Files\\Tool 7\\bin;";
    std::wstring withoutMiddle = list;
    withoutMiddle.replace(withoutMiddle.find(middle), middle.size(), L";");
    RunRows({
        {.line = Cmd(L" /a Path D:\\New"),
         .name = L"Path",
         .before = ExpandSz(list),
         .after = ExpandSz(list + L";D:\\New")},
        {.line = Cmd(L" /r Path D:\\New"),
         .name = L"Path",
         .before = ExpandSz(list + L";D:\\New"),
         .after = ExpandSz(list)},
        {.line = Cmd(L" /r Path \"c:\\program files\\tool 7\\BIN\""),
         .name = L"Path",
         .before = Sz(list),
         .after = ExpandSz(withoutMiddle)},
        {.line = Cmd(L" /a Path \"C:\\Program Files\\Tool 3\\bin\""),
         .name = L"Path",
         .before = Sz(list),
         .after = ExpandSz(list)},
    });
  }
}

}  // namespace
