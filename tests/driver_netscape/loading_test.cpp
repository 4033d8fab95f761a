// Where the driver finds the plugin library, and what it does with one it cannot use. Built
// once per installation scenario (a Wine prefix of its own each): the scenario's expectations
// come in as compile definitions.
//   VD_NP_EXPECT_PATH     "default", "beside", "registry" or "empty": the path chosen
//   VD_NP_EXPECT_PLAYER   1 when PluginExists must answer True
//   VD_NP_EXPECT_STATE    what the unit says became of the library (TNetscapePluginState)
//   VD_NP_FAULTS          the reference player's fault switches
#include "np_test_support.h"
#include "vd_np_unit.h"

#include <memory>

#include "vd_movieres.h"
#include "vd_winstr.h"

using namespace vd;

namespace {

#ifndef VD_NP_FAULTS
#define VD_NP_FAULTS ""
#endif
// The "Path" value of the scenario's plugin key, as the registry has it.
WideString RegistryPath() {
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kNetscapePluginKey, L"Path", RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return u"<no Path value>";
    return FromWinStr(value);
}

const auto* const units = ::testing::AddGlobalTestEnvironment(new vdtest::NetscapeUnits(VD_NP_FAULTS));

TEST(PluginLoading, PathIsChosenInTheStatedOrder) {
    const std::string expected = VD_NP_EXPECT_PATH;
    const WideString path = NetscapePluginPath();
    WideString want;
    if (expected == "default") want = FromWinStr(kNetscapePluginDefaultPath);
    if (expected == "beside") want = ApplicationDirectory() + u"npswf32.dll";
    if (expected == "registry") want = RegistryPath();
    EXPECT_EQ(WideToUtf8(path), WideToUtf8(want)) << expected;
}

TEST(PluginLoading, PluginExistsAnswersForTheClassBeforeAnyDriver) {
    EXPECT_EQ(NetscapePluginState(), TNetscapePluginState::VD_NP_EXPECT_STATE);
    EXPECT_EQ(TvdFlashDriverNS::PluginExists(), VD_NP_EXPECT_PLAYER != 0);
    ASSERT_NE(FlashDriverNSClass, nullptr);
    EXPECT_EQ(FlashDriverNSClass->PluginExists(), VD_NP_EXPECT_PLAYER != 0);
}

TEST(PluginLoading, LoadedLibraryWasStartedOnceInOrder) {
    vdtest::PluginHooks hooks;
    const bool libraryLoaded = GetModuleHandleW(L"npswf32.dll") != nullptr;
    const std::string expected = VD_NP_EXPECT_PATH;
    // A library that refused its tables was freed again.
    const TNetscapePluginState state = NetscapePluginState();
    const bool refused =
        state == TNetscapePluginState::EntryPointsFailed || state == TNetscapePluginState::InitializeFailed;
    EXPECT_EQ(libraryLoaded, (expected == "beside" || expected == "registry") && !refused);
    if (!libraryLoaded) return;
    ASSERT_TRUE(hooks.loaded);
    // The library is the copy the path names.
    wchar_t file[MAX_PATH];
    const DWORD n = GetModuleFileNameW(GetModuleHandleW(L"npswf32.dll"), file, MAX_PATH);
    EXPECT_TRUE(SameWideText(SlashPath(FromWinStr(std::wstring(file, n).c_str())), SlashPath(NetscapePluginPath())));
    const auto start = hooks.Since();
    ASSERT_GE(start.size(), 3u);
    // The plugin table's size is the room handed over (the newest table's), its version the
    // host's; the browser table promises its own entries only and is null beyond them.
    EXPECT_EQ(start[0], "NP_GetEntryPoints size=" + std::to_string(sizeof(np::TPluginFuncsArea)) + " version=17");
    EXPECT_EQ(start[1], "NP_Initialize size=" + std::to_string(np::NPNetscapeFuncsSize) + " version=17 later=0");
    EXPECT_EQ(start[2], "Flash_DisableLocalSecurity");
    // Two drivers: two instances against the one library, started once.
    {
        std::unique_ptr<TvdFlashDriver> a(TvdFlashDriverNS::Class().Create(10, 10, 0xFF000000));
        std::unique_ptr<TvdFlashDriver> b(TvdFlashDriverNS::Class().Create(10, 10, 0xFF000000));
    }
    EXPECT_EQ(hooks.Lines("NP_Initialize").size(), 1u);
    EXPECT_EQ(hooks.Lines("NP_GetEntryPoints").size(), 1u);
    EXPECT_EQ(hooks.Lines("NPP_New").size(), VD_NP_EXPECT_PLAYER ? 2u : 0u);
}

TEST(PluginLoading, StartUpAndShutDownAreCounted) {
    vdtest::PluginHooks hooks;
    const WideString path = NetscapePluginPath();
    InitializeDriverNetscapeUnit();  // a second start: nothing is loaded or started again
    FinalizeDriverNetscapeUnit();    // not the last: nothing is shut down
    EXPECT_EQ(NetscapePluginPath(), path);
    EXPECT_EQ(TvdFlashDriverNS::PluginExists(), VD_NP_EXPECT_PLAYER != 0);
    ASSERT_NE(FlashDriverNSClass, nullptr);
    if (!hooks.loaded) return;
    EXPECT_EQ(hooks.Lines("NP_GetEntryPoints").size(), 1u);
    EXPECT_TRUE(hooks.Lines("NP_Shutdown").empty());
}

TEST(PluginLoading, InertDriverOperationsDoNothingWithoutAPlayer) {
    if (VD_NP_EXPECT_PLAYER) GTEST_SKIP() << "a player is installed in this scenario";
    std::unique_ptr<TvdFlashDriver> d(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(20, 10, 0x00000000));
    bool painted = false;
    d->OnPaint = [&](TObject*, const TRect&) { painted = true; };
    d->LoadMovie(u"movie.swf");
    d->ForceUpdate();
    d->Play();
    d->SetVariable(u"a", u"1");
    d->SetLoop(true);
    d->SetCurrentFrame(3);
    WORD key = 'A';
    char16_t ch = u'a';
    bool handled = false;
    d->MouseDown(mbLeft, {}, 1, 1);
    d->KeyDown(key, {});
    d->KeyPress(ch, {});
    d->MouseWheel({}, 1, 1, 120, handled);
    d->Resize(30, 20);
    EXPECT_FALSE(painted);
    EXPECT_EQ(d->GetVariable(u"a"), u"");
    EXPECT_EQ(d->CallFunction(u"<invoke name=\"f\" returntype=\"xml\"></invoke>"), u"");
    EXPECT_FALSE(d->GetLoop());
    EXPECT_FALSE(d->GetIsPlaying());
    EXPECT_EQ(d->GetCurrentFrame(), 0);
    EXPECT_EQ(d->GetTotalFrames(), 0);
    EXPECT_EQ(static_cast<TvdFlashDriverNS*>(d.get())->Instance, nullptr);
}

TEST(PluginLoading, PlayerGetsTheNetscapeDriverExactlyWhenItCanRun) {
    TvdDriverPtr driver;
    for (TvdPlugin plugin : {vdNetscape, vdDefault}) {
        ChangePlugin(driver, plugin, u"", 20, 20, 0xFF000000, nullptr, {}, {}, {}, {});
        ASSERT_NE(driver, nullptr);
        EXPECT_EQ(driver->ClassName(), VD_NP_EXPECT_PLAYER ? "TvdFlashDriverNS" : "TvdFlashDriver") << plugin;
    }
}

}  // namespace
