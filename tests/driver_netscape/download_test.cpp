// Downloads against a loopback HTTP server inside the test EXE: the body arrives whole, in
// order and at its running offsets; failures (an error status, a refused connection, a body
// cut short) are told once, and an error page's bytes never reach the sink; a download that
// cannot start is never told of; a detached download never reaches its sink again; download
// objects go when their transfer ends.
#include "loopback_http.h"
#include "vd_np_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using vd::np::IvdDownloadSink;
using vd::np::LiveDownloadCount;
using vd::np::StartDownload;
using vd::np::TvdDownload;
using vd::win32::ComPtr;
using namespace vdtest;

// What a caller of the download sees: every call, in order.
class TRecordingSink final : public IvdDownloadSink {
public:
    void DownloadData(const uint8_t* data, size_t size, size_t offset) override {
        ++dataCalls;
        if (doneCalls) ++callsAfterDone;
        offsets.push_back(offset);
        if (offset == body.size()) body.insert(body.end(), data, data + size);
        else misplaced = true;
        if (onData) onData();
    }
    void DownloadDone(bool ok) override {
        if (doneCalls) ++callsAfterDone;
        ++doneCalls;
        lastOk = ok;
    }
    int Calls() const { return dataCalls + doneCalls; }

    std::vector<uint8_t> body;
    std::vector<size_t> offsets;
    int dataCalls = 0;
    int doneCalls = 0;
    int callsAfterDone = 0;
    bool lastOk = false;
    bool misplaced = false;  // a piece that did not start where the previous one ended
    std::function<void()> onData;
};

class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        // Downloads bind through the urlmon their user loaded (the Netscape unit in a program).
        urlmon_ = std::make_unique<vd::win32::TUrlmon>();
        vd::np::SetDownloadUrlmon(&urlmon_->Entries);
    }
    static void TearDownTestSuite() {
        vd::np::SetDownloadUrlmon(nullptr);
        urlmon_.reset();
        CoUninitialize();
        WSACleanup();
    }
    void TearDown() override {
        // Every transfer of a test has ended by now, so none of its objects may be left.
        EXPECT_TRUE(PumpUntil([] { return LiveDownloadCount() == 0; })) << LiveDownloadCount() << " left";
    }
    TLoopbackServer server_;
    static inline std::unique_ptr<vd::win32::TUrlmon> urlmon_;
};

TEST_F(DownloadTest, BodyArrivesWholeInOrderAtItsRunningOffsetsThenDoneOnce) {
    ASSERT_TRUE(server_.Running());
    TRecordingSink sink;
    ASSERT_TRUE(StartDownload(server_.Url("/body/1"), &sink));
    ASSERT_TRUE(PumpUntil([&] { return sink.doneCalls > 0; }));
    PumpFor(300);  // nothing may follow the end

    EXPECT_EQ(1, sink.doneCalls);
    EXPECT_TRUE(sink.lastOk);
    EXPECT_EQ(0, sink.callsAfterDone);
    EXPECT_FALSE(sink.misplaced);
    EXPECT_GE(sink.dataCalls, 2) << "the body should arrive in several pieces";
    ASSERT_EQ(kBodySize, sink.body.size());
    EXPECT_TRUE(sink.body == Pattern(1));
    ASSERT_FALSE(sink.offsets.empty());
    EXPECT_EQ(0u, sink.offsets.front());
}

TEST_F(DownloadTest, TwoDownloadsAtOnceEachGetTheirOwnBody) {
    TRecordingSink first, second;
    ASSERT_TRUE(StartDownload(server_.Url("/body/2"), &first));
    ASSERT_TRUE(StartDownload(server_.Url("/body/3"), &second));
    ASSERT_TRUE(PumpUntil([&] { return first.doneCalls > 0 && second.doneCalls > 0; }));

    EXPECT_TRUE(first.lastOk);
    EXPECT_TRUE(second.lastOk);
    EXPECT_FALSE(first.misplaced);
    EXPECT_FALSE(second.misplaced);
    EXPECT_TRUE(first.body == Pattern(2));
    EXPECT_TRUE(second.body == Pattern(3));
}

TEST_F(DownloadTest, FailuresAreToldOnceAndBringNoData) {
    {
        SCOPED_TRACE("404");
        TRecordingSink sink;
        ASSERT_TRUE(StartDownload(server_.Url("/missing.swf"), &sink));
        ASSERT_TRUE(PumpUntil([&] { return sink.doneCalls > 0; }));
        PumpFor(200);
        EXPECT_EQ(1, sink.doneCalls);
        EXPECT_FALSE(sink.lastOk);
        EXPECT_EQ(0, sink.dataCalls);
    }
    {
        SCOPED_TRACE("connection closed halfway through the body");
        TRecordingSink sink;
        ASSERT_TRUE(StartDownload(server_.Url("/broken/8"), &sink));
        ASSERT_TRUE(PumpUntil([&] { return sink.doneCalls > 0; }));
        PumpFor(200);
        EXPECT_EQ(1, sink.doneCalls);
        EXPECT_FALSE(sink.lastOk);
        EXPECT_EQ(0, sink.callsAfterDone);
    }
    {
        SCOPED_TRACE("refused connection");
        unsigned short port = 0;
        BindLoopback(&port);  // bound and closed again: nobody listens there
        ASSERT_NE(0, port);
        TRecordingSink sink;
        const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(port) + L"/body/4";
        // The binding starts; the connection fails afterwards.
        ASSERT_TRUE(StartDownload(url, &sink));
        ASSERT_TRUE(PumpUntil([&] { return sink.doneCalls > 0; }));
        PumpFor(200);
        EXPECT_EQ(1, sink.doneCalls);
        EXPECT_FALSE(sink.lastOk);
        EXPECT_EQ(0, sink.dataCalls);
    }
}

TEST_F(DownloadTest, DownloadThatCannotStartAnswersFalseAndItsSinkHearsNothing) {
    for (const std::wstring url : {L"", L"http://", L"::not a url::"}) {
        SCOPED_TRACE(std::string(url.begin(), url.end()));
        TRecordingSink sink;
        ComPtr<TvdDownload> handle;
        EXPECT_FALSE(StartDownload(url, &sink, &handle));
        EXPECT_FALSE(handle);
        PumpFor(300);
        EXPECT_EQ(0, sink.Calls());
    }
}

TEST_F(DownloadTest, DetachedDownloadNeverCallsItsSinkAgain) {
    ComPtr<TvdDownload> handle;
    TRecordingSink sink;
    // Detached from inside its first piece, as a plugin instance destroyed while it writes.
    sink.onData = [&] {
        if (handle) handle->Detach();
    };
    ASSERT_TRUE(StartDownload(server_.Url("/body/5"), &sink, &handle));
    ASSERT_TRUE(handle);
    ASSERT_TRUE(PumpUntil([&] { return sink.dataCalls > 0; }));
    ASSERT_TRUE(PumpUntil([&] { return server_.Finished("/body/5"); }));
    PumpFor(500);

    EXPECT_EQ(1, sink.dataCalls);
    EXPECT_EQ(0, sink.doneCalls);
}

TEST_F(DownloadTest, ObjectGoesWhenItsTransferEndsAndTheHandleIsDropped) {
    ComPtr<TvdDownload> handle;
    TRecordingSink sink;
    ASSERT_TRUE(StartDownload(server_.Url("/body/6"), &sink, &handle));
    EXPECT_EQ(1u, LiveDownloadCount());
    ASSERT_TRUE(PumpUntil([&] { return sink.doneCalls > 0; }));
    EXPECT_TRUE(sink.lastOk);
    // Held by nothing but the binding, which lets it go once the transfer has ended.
    handle.Reset();
    EXPECT_TRUE(PumpUntil([] { return LiveDownloadCount() == 0; }, 5000));
}

}  // namespace
