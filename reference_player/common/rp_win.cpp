#include "rp_win.h"

#include "vd_win32_owners.h"

#include <cstring>
#include <vector>

namespace vd::rp {

namespace {

using vd::win32::TGdiObject;
using vd::win32::TMemoryDC;
using vd::win32::TSavedDC;
using vd::win32::TSelectObject;

COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

void FillOpaque(HDC dc, int x, int y, const Rect& r, uint32_t rgb) {
    if (r.Empty()) return;
    const TGdiObject brush(CreateSolidBrush(ToColorRef(rgb)));
    RECT rc{x + r.left, y + r.top, x + r.right, y + r.bottom};
    FillRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
}

void BlendHalf(HDC dc, int x, int y, const Rect& r, uint32_t rgb) {
    if (r.Empty()) return;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 1;
    bi.bmiHeader.biHeight = -1;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const TGdiObject bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    const TMemoryDC src(CreateCompatibleDC(dc));
    if (!bmp || !src || !bits) return;
    const uint32_t pixel = 0xFF000000u | (rgb & 0xFFFFFF);
    std::memcpy(bits, &pixel, 4);
    const TSelectObject selected(src.Get(), bmp.Get());
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 128, 0};  // constant 50% coverage, no per-pixel alpha
    AlphaBlend(dc, x + r.left, y + r.top, r.Width(), r.Height(), src.Get(), 0, 0, 1, 1, bf);
}

// The engine's premultiplied picture over what the DC holds: source-over with per-pixel alpha.
void BlendMovie(HDC dc, int x, int y, int width, int height, const std::vector<uint32_t>& picture) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const TGdiObject bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    const TMemoryDC src(CreateCompatibleDC(dc));
    if (!bmp || !src || !bits) return;
    std::memcpy(bits, picture.data(), picture.size() * sizeof(uint32_t));
    const TSelectObject selected(src.Get(), bmp.Get());
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, y, width, height, src.Get(), 0, 0, width, height, bf);
}

}  // namespace

void DrawFrame(HDC dc, int x, int y, int width, int height, Player& player) {
    if (!dc || width <= 0 || height <= 0) return;
    const TSavedDC saved(dc);
    IntersectClipRect(dc, x, y, x + width, y + height);
    if (player.DrawsMovie()) {
        const std::vector<uint32_t>& picture = player.Render(width, height);
        if (!picture.empty()) BlendMovie(dc, x, y, width, height, picture);
        GdiFlush();
        return;
    }
    const Picture pic = player.Layout(width, height);
    BlendHalf(dc, x, y, pic.panel, pic.panelColor);
    FillOpaque(dc, x, y, pic.track, pic.trackColor);
    FillOpaque(dc, x, y, pic.fill, pic.fillColor);
    GdiFlush();
}

Settings ReadSettings() {
    Settings s;
    char buf[1024];
    DWORD n = GetEnvironmentVariableA("VDRP_FAULTS", buf, sizeof buf);
    if (n > 0 && n < sizeof buf) s.faults = Faults::Parse(std::string(buf, n));
    n = GetEnvironmentVariableA("VDRP_TIMER", buf, sizeof buf);
    if (n > 0 && n < sizeof buf && lstrcmpiA(buf, "off") == 0) s.timers = false;
    for (const auto& u : s.faults.unknown) Log("unknown fault " + JournalQuote(u));
    return s;
}

Journal& TheJournal() {
    static Journal journal;
    return journal;
}

void Log(const std::string& line) { TheJournal().Add(line); }

std::string Hex(uintptr_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[v & 15]);
        v >>= 4;
    } while (v);
    return "0x" + out;
}

TestHooks& Hooks() {
    static TestHooks hooks;
    return hooks;
}

}  // namespace vd::rp

// ---- Exports for tests ----------------------------------------------------------------------

using namespace vd::rp;

namespace {
std::string g_lastAnswer;
int CopyOut(const std::string& text, char* buf, int size) {
    const int need = static_cast<int>(text.size()) + 1;
    if (buf && size >= need) std::memcpy(buf, text.c_str(), static_cast<size_t>(need));
    return need;
}
}  // namespace

// The journal, one call a line; returns the size needed including the terminating zero and
// copies only when buf holds that much.
extern "C" __declspec(dllexport) int vdrp_GetJournal(char* buf, int size) {
    return CopyOut(TheJournal().Text(), buf, size);
}

extern "C" __declspec(dllexport) void vdrp_ClearJournal() { TheJournal().Clear(); }

// Advances the current instance by `frames` timer ticks; its frame afterwards, -1 without one.
extern "C" __declspec(dllexport) int vdrp_Step(int frames) { return Hooks().step ? Hooks().step(frames) : -1; }

extern "C" __declspec(dllexport) void vdrp_SetTimerEnabled(int on) {
    if (Hooks().setTimers) Hooks().setTimers(on != 0);
}

// The fault switches from now on, as VDRP_FAULTS names them: a test arms a hostile switch once
// its movie is in.
extern "C" __declspec(dllexport) void vdrp_SetFaults(const char* list) {
    if (Hooks().setFaults) Hooks().setFaults(list ? list : "");
}

// The current instance's movie sends an FSCommand; 0 without an instance.
extern "C" __declspec(dllexport) int vdrp_FireFSCommand(const char* command, const char* args) {
    if (!Hooks().fsCommand) return 0;
    return Hooks().fsCommand(command ? command : "", args ? args : "") ? 1 : 0;
}

// The current instance's movie calls host function `name` with the value elements of
// argumentsXml (e.g. "<string>a</string><number>2</number>"). Returns the size of the host's
// answer including the zero (copied when it fits, else read with vdrp_GetLastAnswer), -1
// without an instance or for bad XML.
extern "C" __declspec(dllexport) int vdrp_CallHost(const char* name, const char* argumentsXml, char* answer, int size) {
    if (!Hooks().callHost || !name) return -1;
    const auto req = ReadRequest(std::string("<invoke name=\"x\"><arguments>") + (argumentsXml ? argumentsXml : "") +
                                 "</arguments></invoke>");
    if (!req) return -1;
    if (!Hooks().callHost(name, req->args, g_lastAnswer)) return -1;
    return CopyOut(g_lastAnswer, answer, size);
}

// The last answer of vdrp_CallHost again, for a caller whose buffer was too small; the call
// itself is not repeated.
extern "C" __declspec(dllexport) int vdrp_GetLastAnswer(char* buf, int size) {
    return CopyOut(g_lastAnswer, buf, size);
}
