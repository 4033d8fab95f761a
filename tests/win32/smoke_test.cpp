// Windows smoke test: GDI drawing into a DIB section, and a window's message loop.
// Runs under Wine with the null graphics driver (no X server).
#include "vd_win32_owners.h"
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// One 32-bit pixel of a BI_RGB DIB as it sits in memory: B, G, R, then the unused byte
// (GDI leaves it 0 when it draws).
struct Bgra {
    uint8_t b, g, r, a;
    bool operator==(const Bgra&) const = default;
};

void PrintTo(const Bgra& p, std::ostream* os) {
    *os << "BGRA(" << int(p.b) << "," << int(p.g) << "," << int(p.r) << "," << int(p.a) << ")";
}

class DibSection {
public:
    DibSection() {
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = kWidth;
        bmi.bmiHeader.biHeight = -kHeight;  // negative: top-down, row 0 first in memory
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        dc_.Reset(CreateCompatibleDC(nullptr));
        bitmap_.Reset(CreateDIBSection(dc_.Get(), &bmi, DIB_RGB_COLORS, &bits_, nullptr, 0));
        if (bitmap_) selected_.emplace(dc_.Get(), bitmap_.Get());
    }
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;

    bool ok() const { return dc_ && bitmap_ && bits_ && selected_; }
    HDC dc() const { return dc_.Get(); }
    Bgra At(int x, int y) const {
        Bgra p;
        std::memcpy(&p, static_cast<const uint8_t*>(bits_) + (y * kWidth + x) * 4, 4);
        return p;
    }
    void Fill(Bgra p) {
        for (int i = 0; i < kWidth * kHeight; ++i) std::memcpy(static_cast<uint8_t*>(bits_) + i * 4, &p, 4);
    }

private:
    void* bits_ = nullptr;
    // In this order so the bitmap leaves the DC before either is deleted.
    vd::win32::TMemoryDC dc_;
    vd::win32::TGdiObject bitmap_;
    std::optional<vd::win32::TSelectObject> selected_;
};

TEST(Gdi, DrawsIntoTopDownDibSection) {
    DibSection dib;
    ASSERT_TRUE(dib.ok());

    // A background pattern GDI never produces, so "untouched" is visible.
    const Bgra background{0x44, 0x33, 0x22, 0x11};
    GdiFlush();
    dib.Fill(background);

    // Red filled square: left/top inclusive, right/bottom exclusive.
    const vd::win32::TGdiObject red(CreateSolidBrush(RGB(255, 0, 0)));
    ASSERT_TRUE(red);
    const RECT fill{4, 4, 20, 16};
    ASSERT_NE(FillRect(dib.dc(), &fill, static_cast<HBRUSH>(red.Get())), 0);

    // Blue 1-pixel outline, hollow: Rectangle draws from (30,10) to (49,29) inclusive.
    const vd::win32::TGdiObject blue(CreatePen(PS_SOLID, 1, RGB(0, 0, 255)));
    ASSERT_TRUE(blue);
    {
        const vd::win32::TSelectObject pen(dib.dc(), blue.Get());
        const vd::win32::TSelectObject brush(dib.dc(), GetStockObject(NULL_BRUSH));
        ASSERT_TRUE(Rectangle(dib.dc(), 30, 10, 50, 30));
    }

    GdiFlush();  // before reading the bits directly

    const Bgra kRed{0, 0, 255, 0};
    const Bgra kBlue{255, 0, 0, 0};
    // Inside the fill, its corners, and just outside it.
    EXPECT_EQ(dib.At(4, 4), kRed);
    EXPECT_EQ(dib.At(12, 10), kRed);
    EXPECT_EQ(dib.At(19, 15), kRed);
    EXPECT_EQ(dib.At(20, 15), background);
    EXPECT_EQ(dib.At(19, 16), background);
    EXPECT_EQ(dib.At(3, 4), background);
    // The outline: corners and edge midpoints.
    EXPECT_EQ(dib.At(30, 10), kBlue);
    EXPECT_EQ(dib.At(49, 10), kBlue);
    EXPECT_EQ(dib.At(30, 29), kBlue);
    EXPECT_EQ(dib.At(49, 29), kBlue);
    EXPECT_EQ(dib.At(40, 10), kBlue);
    EXPECT_EQ(dib.At(30, 20), kBlue);
    EXPECT_EQ(dib.At(49, 20), kBlue);
    EXPECT_EQ(dib.At(40, 29), kBlue);
    // Inside the hollow rectangle, and outside both shapes.
    EXPECT_EQ(dib.At(40, 20), background);
    EXPECT_EQ(dib.At(31, 11), background);
    EXPECT_EQ(dib.At(50, 20), background);
    EXPECT_EQ(dib.At(0, 0), background);
    EXPECT_EQ(dib.At(kWidth - 1, kHeight - 1), background);
}

// ---------------------------------------------------------------------------------------------
constexpr UINT kCustomMessage = WM_APP + 7;
constexpr UINT_PTR kTimerId = 42;

struct WindowLog {
    int custom = 0;
    WPARAM customWParam = 0;
    LPARAM customLParam = 0;
    int timer = 0;
    bool created = false;
    bool destroyed = false;
};

LRESULT CALLBACK SmokeWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* log = reinterpret_cast<WindowLog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (log) {
        switch (msg) {
            case WM_CREATE:
                log->created = true;
                break;
            case kCustomMessage:
                ++log->custom;
                log->customWParam = wp;
                log->customLParam = lp;
                return 0;
            case WM_TIMER:
                if (wp == kTimerId) {
                    ++log->timer;
                    KillTimer(hwnd, kTimerId);
                }
                return 0;
            case WM_DESTROY:
                log->destroyed = true;
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(Window, PumpsPostedMessageAndTimer) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = SmokeWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"VdSmokeTestWindow";
    ASSERT_NE(RegisterClassExW(&wc), 0);

    WindowLog log;
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"vd smoke", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                200, 100, nullptr, nullptr, instance, &log);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(log.created);

    ASSERT_TRUE(PostMessageW(hwnd, kCustomMessage, 1234, 5678));
    ASSERT_NE(SetTimer(hwnd, kTimerId, 20, nullptr), 0u);

    // Watchdog: if the messages never arrive, quit the loop instead of hanging the test.
    const DWORD thread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !done; ++i) Sleep(10);
        if (!done) PostThreadMessageW(thread, WM_QUIT, 1, 0);
    });

    MSG msg;
    bool quit = false;
    while (log.custom == 0 || log.timer == 0) {
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r <= 0) {
            quit = true;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    done = true;
    watchdog.join();

    EXPECT_FALSE(quit) << "watchdog fired: messages not delivered within 5 s";
    EXPECT_EQ(log.custom, 1);
    EXPECT_EQ(log.customWParam, 1234u);
    EXPECT_EQ(log.customLParam, 5678);
    EXPECT_GE(log.timer, 1);

    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(log.destroyed);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(UnregisterClassW(wc.lpszClassName, instance));
}

}  // namespace
