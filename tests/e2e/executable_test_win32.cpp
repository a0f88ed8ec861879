// The executable's manifest and version resource.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

TEST(MorlexExecutable, EmbedsItsManifest) {
  HMODULE module = LoadLibraryExW(MorlexPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  for (const char* part : {
           "level=\"asInvoker\"",
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
           ">PerMonitorV2, PerMonitor<",
           ">true/pm<",
       })
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* field) {
  wchar_t* text = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
  if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
      length == 0)
    return {};
  return {text, wcsnlen(text, length)};
}

TEST(MorlexExecutable, CarriesItsVersion) {
  const std::wstring exe = MorlexPath();
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
  ASSERT_GT(size, 0U);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, L"ProductName"), L"Morlex");
  EXPECT_EQ(VersionString(info, L"FileVersion"), L"" MORLEX_VERSION);
  EXPECT_EQ(VersionString(info, L"ProductVersion"), L"" MORLEX_VERSION);
  EXPECT_NE(VersionString(info, L"FileDescription"), L"");
  EXPECT_EQ(VersionString(info, L"LegalCopyright").rfind(L"Copyright", 0), 0U);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, MORLEX_VERSION);
}

}  // namespace
