// Downloads against a loopback HTTP server inside the test EXE: the body arrives whole, in
// order and at its running offsets; failures (an error status, a refused connection, a body
// cut short) are told once, and an error page's bytes never reach the sink; a download that
// cannot start is never told of; a detached download never reaches its sink again; download
// objects go when their transfer ends.
#include <winsock2.h>
#include <ws2tcpip.h>

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

constexpr size_t kBodySize = 3 * 1024 * 1024;
constexpr size_t kSendPiece = 64 * 1024;
constexpr DWORD kTimeoutMs = 20000;

// The body served for a path: a pattern that differs per seed and repeats nowhere nearby.
std::vector<uint8_t> Pattern(unsigned seed) {
    std::vector<uint8_t> body(kBodySize);
    uint32_t x = 2463534242u + seed;
    for (uint8_t& b : body) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return body;
}

class TSocket {
public:
    explicit TSocket(SOCKET s = INVALID_SOCKET) : s_(s) {}
    ~TSocket() { Close(); }
    TSocket(TSocket&& o) noexcept : s_(std::exchange(o.s_, INVALID_SOCKET)) {}
    TSocket& operator=(TSocket&& o) noexcept {
        if (this != &o) {
            Close();
            s_ = std::exchange(o.s_, INVALID_SOCKET);
        }
        return *this;
    }
    SOCKET Get() const { return s_; }
    void Close() {
        if (s_ != INVALID_SOCKET) closesocket(std::exchange(s_, INVALID_SOCKET));
    }

private:
    SOCKET s_;
};

// A socket bound to an ephemeral loopback port; answers the port.
TSocket BindLoopback(unsigned short* port) {
    TSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (bind(s.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return TSocket();
    int len = sizeof addr;
    getsockname(s.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return s;
}

// Serves GET /body/<seed>: the pattern of that seed, written in pieces with small pauses so
// it arrives in several notifications; any other path: 404 with a short page. One thread a
// connection; records which paths it has finished sending.
class TLoopbackServer {
public:
    TLoopbackServer() {
        listener_ = BindLoopback(&port_);
        if (listener_.Get() != INVALID_SOCKET && listen(listener_.Get(), SOMAXCONN) == 0)
            acceptor_ = std::thread([this] { AcceptLoop(); });
    }
    ~TLoopbackServer() {
        listener_.Close();
        if (acceptor_.joinable()) acceptor_.join();
        std::vector<std::thread> connections;
        {
            // A connection the client keeps open without a request, or stops reading from,
            // must not keep the test waiting.
            std::lock_guard<std::mutex> lock(mutex_);
            for (SOCKET s : open_) shutdown(s, SD_BOTH);
            connections.swap(connections_);
        }
        for (std::thread& t : connections) t.join();
    }
    bool Running() const { return acceptor_.joinable(); }
    std::wstring Url(const std::string& path) const {
        return L"http://127.0.0.1:" + std::to_wstring(port_) + std::wstring(path.begin(), path.end());
    }
    bool Finished(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_.count(path) != 0;
    }

private:
    void AcceptLoop() {
        for (;;) {
            SOCKET c = accept(listener_.Get(), nullptr, nullptr);
            if (c == INVALID_SOCKET) return;
            const DWORD timeoutMs = kTimeoutMs;
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
            setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
            std::lock_guard<std::mutex> lock(mutex_);
            open_.insert(c);
            connections_.emplace_back([this, c] {
                Serve(c);
                std::lock_guard<std::mutex> lock(mutex_);
                open_.erase(c);
                closesocket(c);
            });
        }
    }
    void Serve(SOCKET c) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, static_cast<size_t>(n));
        }
        const size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const bool broken = path.rfind("/broken/", 0) == 0;
        if (path.rfind("/body/", 0) == 0 || broken) {
            const std::vector<uint8_t> body =
                Pattern(static_cast<unsigned>(std::stoul(path.substr(path.rfind('/') + 1))));
            SendAll(c, Headers("200 OK", body.size()));
            // A broken transfer: the connection closes when half the announced body is sent.
            const size_t end = broken ? body.size() / 2 : body.size();
            for (size_t at = 0; at < end; at += kSendPiece) {
                const size_t n = std::min(kSendPiece, end - at);
                if (!SendAll(c, std::string(reinterpret_cast<const char*>(body.data() + at), n))) break;
                Sleep(3);
            }
        } else {
            const std::string page = "<html>no such movie</html>";
            SendAll(c, Headers("404 Not Found", page.size()) + page);
        }
        shutdown(c, SD_SEND);
        std::lock_guard<std::mutex> lock(mutex_);
        finished_.insert(path);
    }
    static std::string Headers(const std::string& status, size_t length) {
        return "HTTP/1.1 " + status +
               "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(length) +
               "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    }
    static bool SendAll(SOCKET s, const std::string& data) {
        for (size_t at = 0; at < data.size();) {
            const int n = send(s, data.data() + at, static_cast<int>(data.size() - at), 0);
            if (n <= 0) return false;
            at += static_cast<size_t>(n);
        }
        return true;
    }

    TSocket listener_;
    unsigned short port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::set<SOCKET> open_;
    std::set<std::string> finished_;
};

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

// Runs the thread's message loop (urlmon reports through it) until `done` holds or the time
// is up; answers `done`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kTimeoutMs) {
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// Keeps pumping a while, for calls that should not come.
void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        WSACleanup();
    }
    void TearDown() override {
        // Every transfer of a test has ended by now, so none of its objects may be left.
        EXPECT_TRUE(PumpUntil([] { return LiveDownloadCount() == 0; })) << LiveDownloadCount() << " left";
    }
    TLoopbackServer server_;
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
