// Proves vd_add_wine_test / cmake/wine-scenario.sh: the test runs in its own Wine prefix
// (SCENARIO scenario_test), from a run folder holding the FILES entry beside the EXE, with the
// REGISTRY values set before it starts. See tests/CMakeLists.txt.
#include "vd_win32_owners.h"
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/"));
}

TEST(Scenario, FileIsBesideTheExe) {
    const std::wstring dir = ExeDir();
    ASSERT_FALSE(dir.empty());
    const std::wstring file = dir + L"\\scenario_payload.txt";
    const DWORD attrs = GetFileAttributesW(file.c_str());
    ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES) << "scenario_payload.txt is not beside the EXE";
    EXPECT_EQ(attrs & FILE_ATTRIBUTE_DIRECTORY, 0u);

    const vd::win32::TFile h(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(h.Get(), INVALID_HANDLE_VALUE);
    char buf[64] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h.Get(), buf, sizeof(buf) - 1, &read, nullptr));
    EXPECT_EQ(std::string(buf, read), "vd scenario payload\n");
}

TEST(Scenario, RunsFromTheRunFolder) {
    wchar_t cwd[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(CompareStringOrdinal(cwd, static_cast<int>(n), ExeDir().c_str(), -1, TRUE), CSTR_EQUAL);
}

TEST(Scenario, RegistryValuesAreSet) {
    vd::win32::TRegKey owner;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\vdplayer\\ScenarioTest", 0, KEY_READ, owner.Out()),
              ERROR_SUCCESS);
    const HKEY key = owner.Get();

    wchar_t text[128] = {};
    DWORD type = 0;
    DWORD size = sizeof(text) - sizeof(wchar_t);
    EXPECT_EQ(RegQueryValueExW(key, L"Greeting", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(text), L"hello from vd_add_wine_test");

    DWORD count = 0;
    size = sizeof(count);
    EXPECT_EQ(RegQueryValueExW(key, L"Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(count, 42u);
}

TEST(Scenario, UsesItsOwnPrefixWithTheNullDriver) {
    // Created by wine-scenario.sh together with the prefix.
    vd::win32::TRegKey owner;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", 0, KEY_READ, owner.Out()), ERROR_SUCCESS);
    const HKEY key = owner.Get();
    wchar_t text[32] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    EXPECT_EQ(RegQueryValueExW(key, L"Graphics", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text), L"null");

    char prefix[1024] = {};
    const DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
    ASSERT_GT(n, 0u);
    EXPECT_NE(std::string(prefix, n).find("/wine/scenario_test"), std::string::npos) << prefix;
}

}  // namespace
