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
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, old, 3, kReadOnly},
      {Cmd(L" MORLEX_E2E hello"), false, kVar, kAbsent, kAbsent, 3, kReadOnly},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, old, 3, kReadOnly},
      {Cmd(L" /a Path C:\\New"), false, L"Path", list, list, 3, kReadOnly},
      {Cmd(L" /r Path C:\\A"), false, L"Path", list, list, 3, kReadOnly},
      {Cmd(L" /s MORLEX_E2E hello"), true, kVar, old, old, 3, kReadOnly},
      // What is already as asked needs no write.
      {Cmd(L" MORLEX_E2E"), false, kVar, kAbsent, kAbsent, 0, kReadOnly},
      {Cmd(L" /a Path c:\\a"), false, L"Path", list, list, 0, kReadOnly},
      {Cmd(L" /r Path C:\\New"), false, L"Path", list, list, 0, kReadOnly},
      // Reading and setting values is all a change needs.
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, ExpandSz(L"hello"), 0, kReadAndSetValues},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, kAbsent, 0, kReadAndSetValues},
      {Cmd(L" /a Path C:\\New"), false, L"Path", list, ExpandSz(L"C:\\A;C:\\New"), 0,
       kReadAndSetValues},
      {Cmd(L" /s /r Path C:\\A"), true, L"Path", list, ExpandSz(L""), 0, kReadAndSetValues},
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
        {Cmd(L" /a Path D:\\New"), false, L"Path", ExpandSz(list), ExpandSz(list + L";D:\\New")},
        {Cmd(L" /r Path D:\\New"), false, L"Path", ExpandSz(list + L";D:\\New"), ExpandSz(list)},
        {Cmd(L" /r Path \"c:\\program files\\tool 7\\BIN\""), false, L"Path", Sz(list),
         ExpandSz(withoutMiddle)},
        {Cmd(L" /a Path \"C:\\Program Files\\Tool 3\\bin\""), false, L"Path", Sz(list),
         ExpandSz(list)},
    });
  }
}

}  // namespace
