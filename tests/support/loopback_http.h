// A loopback HTTP server inside a test EXE, and the message pump urlmon reports through.
// GET /body/<seed> serves a 3 MB pattern of that seed in 64 KB pieces with small pauses (so it
// arrives in several notifications), /broken/<seed> closes the connection halfway through it,
// a path given to Publish serves those bytes the same way, anything else is a 404 page.
#pragma once

// Before <windows.h>, which <winsock2.h> brings in (vd_windows.h would be too late).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vdtest {

constexpr size_t kBodySize = 3 * 1024 * 1024;
constexpr size_t kSendPiece = 64 * 1024;
constexpr DWORD kTimeoutMs = 20000;

// The body served for a path: a pattern that differs per seed and repeats nowhere nearby.
inline std::vector<uint8_t> Pattern(unsigned seed) {
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
inline TSocket BindLoopback(unsigned short* port) {
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

// The server: one thread a connection; records which paths it has finished sending.
class TLoopbackServer {
public:
    TLoopbackServer() {
        listener_ = BindLoopback(&port_);
        if (listener_.Get() != INVALID_SOCKET && listen(listener_.Get(), SOMAXCONN) == 0)
            acceptor_ = std::thread([this] { AcceptLoop(); });
    }
    ~TLoopbackServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        released_.notify_all();
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
    // The request line and headers last received for `path` (empty when none came).
    std::string Request(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = requests_.find(path);
        return it == requests_.end() ? std::string() : it->second;
    }
    // Serves `body` at `path` (before the built-in /body/ and /broken/ paths).
    void Publish(const std::string& path, std::vector<uint8_t> body) {
        std::lock_guard<std::mutex> lock(mutex_);
        published_[path] = std::move(body);
    }
    // A transfer of `path` stops after its first piece until the server goes: a download that
    // stays in flight for as long as a test needs, however fast the machine.
    void Hold(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.insert(path);
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
        std::vector<uint8_t> published;
        bool isPublished = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_[path] = request.substr(0, request.find("\r\n\r\n"));
            const auto it = published_.find(path);
            if (it != published_.end()) published = it->second, isPublished = true;
        }
        if (isPublished || path.rfind("/body/", 0) == 0 || broken) {
            const std::vector<uint8_t> body =
                isPublished ? published : Pattern(static_cast<unsigned>(std::stoul(path.substr(path.rfind('/') + 1))));
            SendAll(c, Headers("200 OK", body.size()));
            // A broken transfer: the connection closes when half the announced body is sent.
            const size_t end = broken ? body.size() / 2 : body.size();
            for (size_t at = 0; at < end; at += kSendPiece) {
                const size_t n = std::min(kSendPiece, end - at);
                if (!SendAll(c, std::string(reinterpret_cast<const char*>(body.data() + at), n))) break;
                std::unique_lock<std::mutex> lock(mutex_);
                if (held_.count(path)) {
                    released_.wait(lock, [this] { return stopping_; });
                    return;
                }
                lock.unlock();
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
    std::set<std::string> finished_, held_;
    std::condition_variable released_;
    bool stopping_ = false;
    std::map<std::string, std::vector<uint8_t>> published_;
    std::map<std::string, std::string> requests_;
};

// Runs the thread's message loop (urlmon reports through it) until `done` holds or the time
// is up; answers `done`.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kTimeoutMs) {
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
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace vdtest
