// Helpers for the reference player's Windows tests: the DLL's test exports, a 32-bit DIB
// section to draw into, and pixel reading.
#pragma once

#include "vd_win32_owners.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vdtest {

using GetJournalFn = int(__cdecl*)(char*, int);
using ClearJournalFn = void(__cdecl*)();
using StepFn = int(__cdecl*)(int);
using SetTimerFn = void(__cdecl*)(int);
using FireFSCommandFn = int(__cdecl*)(const char*, const char*);
using CallHostFn = int(__cdecl*)(const char*, const char*, char*, int);
using GetLastAnswerFn = int(__cdecl*)(char*, int);
using SetFaultsFn = void(__cdecl*)(const char*);

struct Hooks {
    GetJournalFn getJournal = nullptr;
    ClearJournalFn clearJournal = nullptr;
    StepFn step = nullptr;
    SetTimerFn setTimer = nullptr;
    FireFSCommandFn fireFSCommand = nullptr;
    CallHostFn callHost = nullptr;
    GetLastAnswerFn lastAnswer = nullptr;
    SetFaultsFn setFaults = nullptr;

    bool Load(HMODULE m) {
        getJournal = reinterpret_cast<GetJournalFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_GetJournal")));
        clearJournal =
            reinterpret_cast<ClearJournalFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_ClearJournal")));
        step = reinterpret_cast<StepFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_Step")));
        setTimer = reinterpret_cast<SetTimerFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_SetTimerEnabled")));
        fireFSCommand =
            reinterpret_cast<FireFSCommandFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_FireFSCommand")));
        callHost = reinterpret_cast<CallHostFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_CallHost")));
        lastAnswer =
            reinterpret_cast<GetLastAnswerFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_GetLastAnswer")));
        setFaults = reinterpret_cast<SetFaultsFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_SetFaults")));
        return getJournal && clearJournal && step && setTimer && fireFSCommand && callHost && lastAnswer && setFaults;
    }

    std::vector<std::string> Journal() const {
        const int n = getJournal(nullptr, 0);
        std::string text(static_cast<size_t>(n), '\0');
        getJournal(text.data(), n);
        text.resize(static_cast<size_t>(n) - 1);
        std::vector<std::string> lines;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t nl = text.find('\n', pos);
            lines.push_back(text.substr(pos, nl - pos));
            pos = nl + 1;
        }
        return lines;
    }
    // Lines that start with prefix.
    std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> out;
        for (auto& l : Journal())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    std::string CallHost(const char* name, const char* args) const {
        const int n = callHost(name, args, nullptr, 0);
        if (n < 0) return "<no instance>";
        std::string text(static_cast<size_t>(n), '\0');
        lastAnswer(text.data(), n);
        text.resize(static_cast<size_t>(n) - 1);
        return text;
    }
};

// A top-down 32-bit DIB section selected into a memory DC.
class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), bmp_(NewDib(dc_.Get(), w, h, &bits_)), selected_(dc_.Get(), bmp_.Get()) {}

    HDC dc() const { return dc_.Get(); }
    void Fill(uint32_t argb) {
        GdiFlush();
        for (int i = 0; i < w_ * h_; ++i) bits_[i] = argb;
    }
    uint32_t At(int x, int y) const {
        GdiFlush();
        return bits_[y * w_ + x];
    }
    std::vector<uint32_t> Pixels() const {
        GdiFlush();
        return std::vector<uint32_t>(bits_, bits_ + w_ * h_);
    }

private:
    static HBITMAP NewDib(HDC dc, int w, int h, uint32_t** bits) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(bits), nullptr, 0);
    }

    // In this order: the bitmap is deselected before it is deleted, and the DC goes last.
    int w_, h_;
    uint32_t* bits_ = nullptr;
    vd::win32::TMemoryDC dc_{CreateCompatibleDC(nullptr)};
    vd::win32::TGdiObject bmp_;
    vd::win32::TSelectObject selected_;
};

inline int Red(uint32_t p) { return (p >> 16) & 0xFF; }
inline int Green(uint32_t p) { return (p >> 8) & 0xFF; }
inline int Blue(uint32_t p) { return p & 0xFF; }
// Per-pixel alpha as a host recovers it from renders over black and over white.
inline int RecoveredAlpha(uint32_t overBlack, uint32_t overWhite) {
    return (255 - ((Red(overWhite) - Red(overBlack)) & 0xFF)) & 0xFF;
}

// Pixels drawn over black and over white that do not give back `premultiplied` (0xAARRGGBB,
// one per pixel of the canvases): over black the colour is the picture's own, and the alpha a
// host recovers from the two is the picture's alpha. Returns how many differ, describing the
// first in `first`.
inline int DisagreeWithPremultiplied(const std::vector<uint32_t>& black, const std::vector<uint32_t>& white,
                                     const std::vector<uint32_t>& premultiplied, int width, std::string* first) {
    int bad = 0;
    for (size_t i = 0; i < premultiplied.size() && i < black.size() && i < white.size(); ++i) {
        const uint32_t p = premultiplied[i];
        const bool ok =
            (black[i] & 0xFFFFFF) == (p & 0xFFFFFF) && RecoveredAlpha(black[i], white[i]) == static_cast<int>(p >> 24);
        if (ok) continue;
        if (bad++ == 0 && first) {
            char text[128];
            std::snprintf(text, sizeof text, "(%d,%d): over black %08X, over white %08X, picture %08X",
                          static_cast<int>(i % width), static_cast<int>(i / width), black[i], white[i], p);
            *first = text;
        }
    }
    return bad;
}

inline std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

}  // namespace vdtest
