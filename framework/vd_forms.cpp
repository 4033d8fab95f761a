#include "vd_forms.h"

#include <cstdio>

#include "vd_winstr.h"

namespace vd {

namespace {
constexpr DWORD kFormStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
}

VD_DEFINE_CLASS(TCustomForm)

VD_DEFINE_CLASS(TForm, StrProp("Caption", &T::GetCaption, &T::SetCaption),
                ColorProp("Color", &T::GetColor, &T::SetColor, clBtnFace),
                EventProp("OnPaint", &T::GetOnPaint, &T::SetOnPaint))

TCustomForm::TCustomForm(TComponent* owner) : TCustomControl(owner) {
    TControl::SetVisible(false);
    SetColor(clBtnFace);
}

TCustomForm::~TCustomForm() {
    if (Application().MainForm == this) Application().MainForm = nullptr;
}

void TCustomForm::SetCaption(const std::string& value) {
    caption_ = value;
    if (HandleAllocated()) SetWindowTextW(Handle(), WinStr(AnsiToWide(value)));
}

SIZE TCustomForm::FrameSize() const {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, kFormStyle, FALSE, 0);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

TRect TCustomForm::ClientRect() const {
    if (HandleAllocated()) {
        RECT r{};
        GetClientRect(const_cast<TCustomForm*>(this)->Handle(), &r);
        return Rect(0, 0, r.right, r.bottom);
    }
    const SIZE frame = FrameSize();
    return Rect(0, 0, std::max(GetWidth() - static_cast<int>(frame.cx), 0),
                std::max(GetHeight() - static_cast<int>(frame.cy), 0));
}

void TCustomForm::SetClientWidth(int value) {
    SetBounds(GetLeft(), GetTop(), value + (GetWidth() - ClientWidth()), GetHeight());
}

void TCustomForm::SetClientHeight(int value) {
    SetBounds(GetLeft(), GetTop(), GetWidth(), value + (GetHeight() - ClientHeight()));
}

void TCustomForm::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style = kFormStyle;
    p.WndParent = nullptr;
    p.Caption = std::wstring(WinStr(AnsiToWide(caption_)));
}

void TCustomForm::SetVisible(bool value) {
    TControl::SetVisible(value);
    if (value) {
        HWND wnd = Handle();
        ShowWindow(wnd, SW_SHOWNORMAL);
        UpdateWindow(wnd);
    } else if (HandleAllocated()) {
        ShowWindow(Handle(), SW_HIDE);
    }
}

void TCustomForm::Close() {
    Hide();
    if (Application().MainForm == this) Application().Terminate();
}

void TCustomForm::WndProc(TMessage& m) {
    if (m.Msg == WM_CLOSE) {
        Close();
        m.Result = 0;
        return;
    }
    TCustomControl::WndProc(m);
}

void TCustomForm::Paint() {
    if (onPaint_) onPaint_(this);
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    TCustomControl::GetChildren(proc, root);
    if (root != this) return;
    for (int i = 0; i < ComponentCount(); ++i) {
        TComponent* c = GetComponent(i);
        if (!c->HasParent()) proc(c);
    }
}

// ---------------------------------------------------------------------------------------

VD_DEFINE_CLASS(TApplication)
VD_DEFINE_CLASS(TScreen)

bool TApplication::ProcessMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!ProcessMessage(msg)) break;
}

void TApplication::HandleMessage() {
    MSG msg;
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == -1) {
        terminated_ = true;
        return;
    }
    if (r == 0) {
        terminated_ = true;
        return;
    }
    ProcessMessage(msg);
}

void TApplication::Run() {
    if (MainForm) MainForm->Show();
    while (!terminated_) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::Terminate() {
    // The loop ends when the quit message arrives, after what is already queued.
    PostQuitMessage(0);
}

void TApplication::HandleException(TObject* sender) {
    std::exception_ptr current = std::current_exception();
    if (!current) return;
    auto report = [&](const Exception& e) {
        if (onException_) {
            try {
                onException_(sender, e);
                return;
            } catch (const std::exception& inner) {
                ShowException(Exception(inner.what()));
                return;
            } catch (...) {
                ShowException(Exception("Unknown exception in the exception handler"));
                return;
            }
        }
        ShowException(e);
    };
    try {
        std::rethrow_exception(current);
    } catch (const Exception& e) {
        report(e);
    } catch (const std::exception& e) {
        report(Exception(e.what()));
    } catch (...) {
        report(Exception("Unknown exception"));
    }
}

void TApplication::ShowException(const Exception& e) {
    const std::string text = e.Message();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    OutputDebugStringA((text + "\n").c_str());
}

int TScreen::PixelsPerInch() const {
    const win32::TWindowDC screen(nullptr);
    if (!screen) return 96;
    const int ppi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    return ppi > 0 ? ppi : 96;
}

TApplication& Application() {
    static TApplication app(nullptr);
    return app;
}

TScreen& Screen() {
    static TScreen screen(nullptr);
    return screen;
}

}  // namespace vd
