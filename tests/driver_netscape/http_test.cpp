// Movies of "http:" URLs: the driver downloads them through urlmon from a loopback server of the
// test's own and feeds the plugin as the data comes: one stream, the pieces at their running
// offsets, then the end once; a download that fails ends the request once with a network
// error; a download whose instance went away feeds nothing to anybody.
#include "loopback_http.h"
#include "np_test_support.h"
#include "swf_builder.h"
#include "vd_np_download.h"
#include "vd_winstr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vd;
using namespace vdtest;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new NetscapeUnits());

// Large enough to arrive in several pieces.
std::vector<uint8_t> BigMovie(int frames, uint32_t padding = 600 * 1024) {
    return SwfBuilder(100, 100, 12, frames).Background(0x3366CC).Padding(padding).ShowFrame().Fws();
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// The journal lines of stream traffic, in order.
std::vector<std::string> StreamLines(const PluginHooks& hooks) {
    std::vector<std::string> out;
    for (const auto& l : hooks.Journal())
        for (const char* p : {"NPP_NewStream", "NPP_Write", "NPP_URLNotify", "NPP_DestroyStream"})
            if (l.rfind(p, 0) == 0) out.push_back(l);
    return out;
}

bool Ended(const PluginHooks& hooks) { return !hooks.Lines("NPP_DestroyStream").empty(); }

class HttpMovies : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));  // urlmon needs COM on the thread, as any user
    }
    static void TearDownTestSuite() {
        OleUninitialize();
        WSACleanup();
    }
    void SetUp() override {
        ASSERT_TRUE(TvdFlashDriverNS::PluginExists());
        ASSERT_TRUE(hooks.loaded);
        ASSERT_TRUE(server.Running());
        hooks.clearJournal();
    }
    std::unique_ptr<TvdFlashDriverNS> Make() {
        return std::unique_ptr<TvdFlashDriverNS>(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(60, 40, 0xFF008080));
    }
    PluginHooks hooks;
    TLoopbackServer server;
};

TEST_F(HttpMovies, MovieArrivesInPiecesAtTheirOffsetsAndTheRequestEndsOnce) {
    const std::vector<uint8_t> movie = BigMovie(6);
    server.Publish("/movies/big.swf", movie);
    auto d = Make();
    const std::wstring url = server.Url("/movies/big.swf");
    d->LoadMovie(FromWinStr(url.c_str()));
    ASSERT_TRUE(PumpUntil([&] { return Ended(hooks); }));
    PumpFor(300);  // nothing may follow the end

    const std::vector<std::string> lines = StreamLines(hooks);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines.front(), "NPP_NewStream type=\"application/x-shockwave-flash\" url=\"" + Narrow(url) +
                                 "\" end=0 seekable=1 stype=1");
    size_t expected = 0, writes = 0;
    for (size_t i = 1; i + 2 < lines.size(); ++i) {
        const std::string& l = lines[i];
        ASSERT_EQ(l.rfind("NPP_Write offset=" + std::to_string(expected) + " len=", 0), 0u) << l;
        expected += std::stoul(l.substr(l.rfind('=') + 1));
        ++writes;
    }
    EXPECT_EQ(expected, movie.size());
    EXPECT_GE(writes, 2u) << "the movie should arrive in several pieces";
    // NPAPI's order: the stream ends, then the request is answered.
    EXPECT_EQ(lines[lines.size() - 2], "NPP_DestroyStream reason=0");
    EXPECT_EQ(lines.back(), "NPP_URLNotify url=\"" + Narrow(url) + "\" reason=0 notify=ours");
    EXPECT_EQ(d->GetTotalFrames(), 6);
    EXPECT_EQ(d->PendingDownloads(), 0u);
}

TEST_F(HttpMovies, AFailedDownloadEndsTheRequestOnceWithANetworkError) {
    auto d = Make();
    unsigned short closedPort = 0;
    BindLoopback(&closedPort);  // bound and closed again: nobody listens there
    for (const std::wstring& url :
         {server.Url("/movies/missing.swf"), L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/m.swf"}) {
        SCOPED_TRACE(Narrow(url));
        hooks.clearJournal();
        d->LoadMovie(FromWinStr(url.c_str()));
        ASSERT_TRUE(PumpUntil([&] { return Ended(hooks); }));
        PumpFor(200);
        const std::vector<std::string> lines = StreamLines(hooks);
        ASSERT_EQ(lines.size(), 3u);  // no data: a 404 page is not the movie
        EXPECT_EQ(lines[1], "NPP_DestroyStream reason=1");
        EXPECT_EQ(lines[2], "NPP_URLNotify url=\"" + Narrow(url) + "\" reason=1 notify=ours");
        EXPECT_EQ(d->GetTotalFrames(), 0);
    }
}

TEST_F(HttpMovies, ADownloadOfAnInstanceThatWentAwayEndsAsBrokenOffAndFeedsNothing) {
    // Large enough to be still coming when the first piece is in (128 pieces, sent 3 ms apart).
    server.Publish("/movies/late.swf", BigMovie(3, 8 * 1024 * 1024));
    const std::string url = Narrow(server.Url("/movies/late.swf"));
    {
        auto d = Make();
        d->LoadMovie(FromWinStr(server.Url("/movies/late.swf").c_str()));
        ASSERT_TRUE(PumpUntil([&] { return !hooks.Lines("NPP_Write").empty(); }));
        ASSERT_FALSE(Ended(hooks));
        hooks.clearJournal();
    }  // the driver and its instance go while the movie is still coming
    // The open stream ends as broken off by the user before the instance goes.
    const std::vector<std::string> ended = {"NPP_DestroyStream reason=2",
                                            "NPP_URLNotify url=\"" + url + "\" reason=2 notify=ours"};
    EXPECT_EQ(StreamLines(hooks), ended);
    const auto journal = hooks.Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().rfind("NPP_Destroy ", 0), 0u);
    ASSERT_TRUE(PumpUntil([&] { return server.Finished("/movies/late.swf"); }));
    PumpFor(500);
    EXPECT_EQ(StreamLines(hooks), ended);
    EXPECT_TRUE(PumpUntil([] { return vd::np::LiveDownloadCount() == 0; }, 5000));
}

}  // namespace
