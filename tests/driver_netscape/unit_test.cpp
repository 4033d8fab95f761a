// The Netscape unit's start-up and last shut-down in one process of their own: urlmon is loaded
// at start-up, before any download, and freed by the last shut-down; that shut-down shuts the
// plugin down (NP_Shutdown) and frees the library, then aborts the downloads still running.
#include "loopback_http.h"
#include "np_test_support.h"
#include "swf_builder.h"
#include "vd_np_download.h"
#include "vd_win32_owners.h"
#include "vd_winstr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace vd;
using namespace vdtest;

namespace {

TEST(NetscapeUnit, LastShutDownStopsThePluginThenItsDownloadsThenUrlmon) {
    WSADATA wsa;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    SetEnvironmentVariableA("VDRP_TIMER", "off");
    InitializeFlashPlayerUnit();

    // A run without downloads: urlmon is loaded by the start-up and freed by the last shut-down.
    ASSERT_EQ(GetModuleHandleW(L"urlmon.dll"), nullptr) << "nothing else in this program loads urlmon";
    InitializeDriverNetscapeUnit();
    EXPECT_NE(GetModuleHandleW(L"urlmon.dll"), nullptr) << "urlmon is loaded at start-up, before any download";
    FinalizeDriverNetscapeUnit();
    EXPECT_EQ(GetModuleHandleW(L"urlmon.dll"), nullptr) << "urlmon is freed";

    InitializeDriverNetscapeUnit();
    ASSERT_TRUE(TvdFlashDriverNS::PluginExists());
    // A reference of the test's own keeps the library's journal readable after the unit let go.
    win32::TModule library(LoadLibraryW(WinStr(NetscapePluginPath())));
    ASSERT_NE(library.Get(), nullptr);
    PluginHooks hooks;
    ASSERT_TRUE(hooks.loaded);

    // A player's download in flight when the player goes: detached, its transfer runs on.
    TLoopbackServer server;
    ASSERT_TRUE(server.Running());
    server.Publish("/movies/big.swf",
                   SwfBuilder(100, 100, 12, 2).Background(0x3366CC).Padding(2 * 1024 * 1024).ShowFrame().Fws());
    server.Hold("/movies/big.swf");
    {
        std::unique_ptr<TvdFlashDriverNS> d(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(60, 40, 0xFF008080));
        d->LoadMovie(FromWinStr(server.Url("/movies/big.swf").c_str()));
        ASSERT_TRUE(PumpUntil([&] { return !hooks.Lines("NPP_Write").empty(); }));
    }
    ASSERT_EQ(np::LiveDownloadCount(), 1u);

    // Not the last shut-down: nothing stops.
    InitializeDriverNetscapeUnit();
    FinalizeDriverNetscapeUnit();
    EXPECT_EQ(np::LiveDownloadCount(), 1u);
    EXPECT_TRUE(hooks.Lines("NP_Shutdown").empty());

    hooks.clearJournal();
    FinalizeDriverNetscapeUnit();
    EXPECT_EQ(hooks.Journal(), std::vector<std::string>{"NP_Shutdown"});
    EXPECT_FALSE(TvdFlashDriverNS::PluginExists());
    EXPECT_EQ(FlashDriverNSClass, nullptr);
    // The aborted transfer lets its object go and has nothing left to call.
    EXPECT_TRUE(PumpUntil([] { return np::LiveDownloadCount() == 0; }, 5000)) << "the download is freed";
    PumpFor(300);
    // The unit held its own reference to the library and gave it back.
    library.Reset();
    EXPECT_EQ(GetModuleHandleW(L"npswf32.dll"), nullptr);

    FinalizeFlashPlayerUnit();
    OleUninitialize();
    WSACleanup();
}

}  // namespace
