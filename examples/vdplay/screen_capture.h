// Captures of the real screen for a program run by cmake/xvfb-session.sh: the program asks for
// a capture of the X root window by writing NAME.request into the folder VD_CAPTURE_DIR names,
// keeps its message loop running until the session answers with NAME.done, then reads
// NAME.xwd. Win32 side of xwd_image.h.
#pragma once

#include "vd_windows.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vd_vcl.h"
#include "xwd_image.h"

namespace vdplay {

// The session's captures folder; empty when the program does not run in one.
inline std::string CaptureDir() {
    char buf[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("VD_CAPTURE_DIR", buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

// Keeps the message loop running for `ms` milliseconds: timers fire, windows repaint and the
// window system and the compositor catch up.
inline void Settle(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        vd::Application().ProcessMessages();
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

// Asks for a capture of the whole screen and reads it; false with `error` saying why not.
inline bool CaptureScreen(const std::string& name, TXwdImage& image, std::string& error) {
    const std::string dir = CaptureDir();
    if (dir.empty()) return error = "no capture session (VD_CAPTURE_DIR is not set)", false;
    const std::filesystem::path base = std::filesystem::path(dir) / name;
    auto with = [&](const char* ext) {
        std::filesystem::path p = base;
        p += ext;
        return p;
    };
    std::error_code ignored;
    std::filesystem::remove(with(".done"), ignored);
    std::ofstream(with(".request")).put('\n');
    const DWORD start = GetTickCount();
    while (!std::filesystem::exists(with(".done"))) {
        if (GetTickCount() - start > 30000) return error = "the session answered no capture request in 30 s", false;
        vd::Application().ProcessMessages();
        Sleep(20);
    }
    std::ifstream in(with(".xwd"), std::ios::binary);
    if (!in) return error = "the session wrote no " + with(".xwd").string(), false;
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!ReadXwd(data, image, error)) return error = with(".xwd").string() + ": " + error, false;
    return true;
}

}  // namespace vdplay
