// Controls with a window of their own: TWinControl (window made on demand, the one window
// procedure, children, painting, keys) and TCustomControl. Controls without a window are in
// vd_controls.cpp.
#include "vd_controls.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "vd_controls_internal.h"
#include "vd_forms.h"
#include "vd_winstr.h"

namespace vd {

using detail::IsMouseButtonMessage;

namespace {

bool IsButtonDown(UINT msg) {
    return msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK ||
           msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK;
}

bool IsButtonUp(UINT msg) { return msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP; }

// Moves the logical origin so that logical (0, 0) lands where (dx, dy) was.
void MoveWindowOrg(HDC dc, int dx, int dy) {
    POINT org{};
    GetWindowOrgEx(dc, &org);
    SetWindowOrgEx(dc, org.x - dx, org.y - dy, nullptr);
}

const wchar_t kWindowClass[] = L"VdWinControl";

void RegisterWindowClass(WNDPROC proc) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw Exception("Cannot register the window class (error " + std::to_string(GetLastError()) + ")");
    registered = true;
}
}  // namespace

// ---------------------------------------------------------------------------------------
// TWinControl

VD_DEFINE_CLASS(TWinControl)

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    DestroyComponents();
    // Children this control does not own go with it, as its window's children do.
    while (!controls_.empty()) delete controls_.back();
    DestroyHandle();
}

HWND TWinControl::Handle() {
    if (!handle_) CreateHandle();
    return handle_;
}

void TWinControl::CreateParams(TCreateParams& p) {
    p.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (GetVisible()) p.Style |= WS_VISIBLE;
    if (tabStop_) p.Style |= WS_TABSTOP;
    p.X = left_;
    p.Y = top_;
    p.Width = width_;
    p.Height = height_;
    p.WndParent = ParentWindow();
}

HWND TWinControl::ParentWindow() { return parent_ ? parent_->Handle() : nullptr; }

void TWinControl::CreateHandle() {
    if (handle_) return;
    TCreateParams p;
    CreateParams(p);
    if ((p.Style & WS_CHILD) && !p.WndParent) throw EComponentError("Control '" + GetName() + "' has no parent window");
    RegisterWindowClass(&StdWndProc);
    HWND wnd = CreateWindowExW(p.ExStyle, kWindowClass, p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                               p.WndParent, nullptr, GetModuleHandleW(nullptr), this);
    if (!wnd) throw Exception("Error creating window (error " + std::to_string(GetLastError()) + ")");
    handle_ = wnd;
    for (TControl* c : controls_)
        if (c->IsWindowed()) static_cast<TWinControl*>(c)->HandleNeeded();
}

void TWinControl::DestroyHandle() {
    if (!handle_ || destroyingHandle_) return;
    destroyingHandle_ = true;
    HWND wnd = handle_;
    DestroyWindow(wnd);  // children's windows go too; WM_NCDESTROY clears each handle
    handle_ = nullptr;
    destroyingHandle_ = false;
}

void TWinControl::RecreateWnd() {
    if (!handle_) return;
    DestroyHandle();
    CreateHandle();
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<TWinControl*>(cs->lpCreateParams);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->handle_ = wnd;
    } else {
        self = reinterpret_cast<TWinControl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(wnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    try {
        self->WndProc(m);
    } catch (...) {
        // Exceptions never cross the system's window procedure.
        Application().HandleException(self);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        if (self->handle_ == wnd) self->handle_ = nullptr;
    }
    return m.Result;
}

void TWinControl::WndProc(TMessage& m) {
    if ((IsMouseButtonMessage(m.Msg) || m.Msg == WM_MOUSEMOVE) && ForwardMouse(m)) return;
    switch (m.Msg) {
        case WM_PAINT:
            WMPaint(m);
            return;
        case WM_ERASEBKGND:
            WMEraseBkgnd(m);
            return;
        case WM_KEYDOWN:
            WMKeyDown(m);
            return;
        case WM_KEYUP:
            WMKeyUp(m);
            return;
        case WM_SYSKEYDOWN:
            WMSysKeyDown(m);
            return;
        case WM_SYSKEYUP:
            WMSysKeyUp(m);
            return;
        case WM_CHAR:
            WMChar(m);
            return;
        case WM_GETDLGCODE:
            WMGetDlgCode(m);
            return;
        case WM_SETFOCUS:
            WMSetFocus(m);
            return;
        case WM_KILLFOCUS:
            WMKillFocus(m);
            return;
        case WM_WINDOWPOSCHANGED:
            WMWindowPosChanged(m);
            return;
        case WM_NCDESTROY:
            WMNCDestroy(m);
            return;
        default:
            TControl::WndProc(m);
    }
}

void TWinControl::DefaultHandler(TMessage& m) {
    m.Result = handle_ ? DefWindowProcW(handle_, m.Msg, m.WParam, m.LParam) : 0;
}

bool TWinControl::ForwardMouse(TMessage& m) {
    const TPoint p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    TControl* target = captureControl_ ? captureControl_ : ControlAtPos(p);
    if (!target) return false;
    if (IsButtonDown(m.Msg) && !captureControl_) {
        captureControl_ = target;
        if (handle_) SetCapture(handle_);
    }
    const LPARAM local = MAKELPARAM(static_cast<WORD>(static_cast<short>(p.X - target->left_)),
                                    static_cast<WORD>(static_cast<short>(p.Y - target->top_)));
    const bool release = IsButtonUp(m.Msg) && (m.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0;
    target->Perform(m.Msg, m.WParam, local);
    if (release) {
        captureControl_ = nullptr;
        if (handle_ && GetCapture() == handle_) ReleaseCapture();
    }
    m.Result = 0;
    return true;
}

TControl* TWinControl::ControlAtPos(TPoint p) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (c->IsWindowed() || !c->enabled_) continue;
        if (!c->visible_ && !c->Designing()) continue;
        if (c->BoundsRect().Contains(p)) return c;
    }
    return nullptr;
}

void TWinControl::InsertControl(TControl* control) {
    controls_.push_back(control);
    control->parent_ = this;
    if (control->IsWindowed()) {
        auto* w = static_cast<TWinControl*>(control);
        if (w->handle_ && handle_) ::SetParent(w->handle_, handle_);
        else if (w->handle_) w->DestroyHandle();  // made again under this parent's window
        if (handle_) w->HandleNeeded();
    }
    if (control->parentColor_) control->Perform(CM_PARENTCOLORCHANGED);
    if (control->parentShowHint_) control->Perform(CM_PARENTSHOWHINTCHANGED);
    if (control->align_ != alNone) Realign();
    control->Invalidate();
}

void TWinControl::RemoveControl(TControl* control) {
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end()) return;
    if (!control->IsWindowed()) InvalidateRect(control->BoundsRect());
    if (captureControl_ == control) {
        captureControl_ = nullptr;
        if (handle_ && GetCapture() == handle_) ReleaseCapture();
    }
    controls_.erase(it);
    control->parent_ = nullptr;
    if (control->IsWindowed()) static_cast<TWinControl*>(control)->DestroyHandle();
    if (control->align_ != alNone) Realign();
}

void TWinControl::SetTabStop(bool value) {
    if (value == tabStop_) return;
    tabStop_ = value;
    if (handle_) {
        LONG_PTR style = GetWindowLongPtrW(handle_, GWL_STYLE);
        style = value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        SetWindowLongPtrW(handle_, GWL_STYLE, style);
    }
}

void TWinControl::SetFocus() { ::SetFocus(Handle()); }

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    const TRect oldClient = ClientRect();
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (handle_) {
        settingBounds_ = true;
        SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        settingBounds_ = false;
        // The system may hold a window to a minimum size: keep what it really has.
        RECT r{};
        GetWindowRect(handle_, &r);
        HWND parentWnd = ::GetParent(handle_);
        if (parentWnd && (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD))
            MapWindowPoints(nullptr, parentWnd, reinterpret_cast<POINT*>(&r), 2);
        left_ = r.left;
        top_ = r.top;
        width_ = r.right - r.left;
        height_ = r.bottom - r.top;
    }
    const TRect newClient = ClientRect();
    if (newClient.Width() != oldClient.Width() || newClient.Height() != oldClient.Height()) {
        AdjustAnchors(oldClient.Width(), oldClient.Height());
        Realign();
    }
    if (parent_ && align_ != alNone && !parent_->aligning_) parent_->Realign();
}

void TWinControl::UpdateBoundsFromWindow() {
    if (!handle_) return;
    RECT r{};
    GetWindowRect(handle_, &r);
    HWND parentWnd = ::GetParent(handle_);
    if (parentWnd && (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parentWnd, reinterpret_cast<POINT*>(&r), 2);
    const int oldW = ClientRect().Width(), oldH = ClientRect().Height();
    left_ = r.left;
    top_ = r.top;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w != width_ || h != height_) {
        width_ = w;
        height_ = h;
        AdjustAnchors(oldW, oldH);
        Realign();
    }
}

void TWinControl::AdjustAnchors(int oldWidth, int oldHeight) {
    const TRect client = ClientRect();
    const int dw = client.Width() - oldWidth, dh = client.Height() - oldHeight;
    if (dw == 0 && dh == 0) return;
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (c->align_ != alNone) continue;
        int l = c->left_, t = c->top_, w = c->width_, h = c->height_;
        if (c->anchors_.Contains(akRight)) {
            if (c->anchors_.Contains(akLeft)) w += dw;
            else l += dw;
        }
        if (c->anchors_.Contains(akBottom)) {
            if (c->anchors_.Contains(akTop)) h += dh;
            else t += dh;
        }
        c->SetBounds(l, t, w, h);
    }
}

void TWinControl::Realign() {
    if (aligning_) return;
    aligning_ = true;
    try {
        TRect r = ClientRect();
        for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
            for (TControl* c : std::vector<TControl*>(controls_)) {
                if (c->align_ != kind || !c->visible_) continue;
                switch (kind) {
                    case alTop:
                        c->SetBounds(r.Left, r.Top, r.Width(), c->height_);
                        r.Top += c->height_;
                        break;
                    case alBottom:
                        c->SetBounds(r.Left, r.Bottom - c->height_, r.Width(), c->height_);
                        r.Bottom -= c->height_;
                        break;
                    case alLeft:
                        c->SetBounds(r.Left, r.Top, c->width_, r.Height());
                        r.Left += c->width_;
                        break;
                    case alRight:
                        c->SetBounds(r.Right - c->width_, r.Top, c->width_, r.Height());
                        r.Right -= c->width_;
                        break;
                    default:
                        c->SetBounds(r.Left, r.Top, std::max(r.Width(), 0), std::max(r.Height(), 0));
                        break;
                }
            }
        }
    } catch (...) {
        aligning_ = false;
        throw;
    }
    aligning_ = false;
}

void TWinControl::SetVisible(bool value) {
    TControl::SetVisible(value);
    if (handle_) ShowWindow(handle_, GetVisible() ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::Invalidate() {
    if (handle_) ::InvalidateRect(handle_, nullptr, TRUE);
}

void TWinControl::InvalidateRect(const TRect& r) {
    if (!handle_) return;
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    ::InvalidateRect(handle_, &rc, TRUE);
}

void TWinControl::PaintControls(HDC dc) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (c->IsWindowed() || (!c->visible_ && !c->Designing())) continue;
        TSavedDC saved(dc);
        MoveWindowOrg(dc, c->left_, c->top_);
        IntersectClipRect(dc, 0, 0, c->width_, c->height_);
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc));
    }
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintTo(HDC dc, int x, int y) {
    if (!dc) return;
    TSavedDC saved(dc);
    MoveWindowOrg(dc, x, y);
    const TRect client = ClientRect();
    IntersectClipRect(dc, 0, 0, client.Width(), client.Height());
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc));
    PaintWindow(dc);
    PaintControls(dc);
    for (TControl* c : std::vector<TControl*>(controls_))
        if (c->IsWindowed() && c->visible_) static_cast<TWinControl*>(c)->PaintTo(dc, c->left_, c->top_);
}

void TWinControl::WMPaint(TMessage& m) {
    if (m.WParam) {
        HDC dc = reinterpret_cast<HDC>(m.WParam);
        PaintWindow(dc);
        PaintControls(dc);
        return;
    }
    if (!handle_) return;
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(handle_, &ps);
    try {
        PaintWindow(dc);
        PaintControls(dc);
    } catch (...) {
        EndPaint(handle_, &ps);
        throw;
    }
    EndPaint(handle_, &ps);
}

void TWinControl::WMEraseBkgnd(TMessage& m) {
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    if (dc) {
        TGdiObject brush(CreateSolidBrush(ColorToRGB(GetColor())));
        const TRect c = ClientRect();
        RECT rc{c.Left, c.Top, c.Right, c.Bottom};
        ::FillRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
    }
    m.Result = 1;
}

void TWinControl::KeyDown(WORD& key, TShiftState shift) {
    if (onKeyDown_) onKeyDown_(this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift) {
    if (onKeyUp_) onKeyUp_(this, key, shift);
}

void TWinControl::KeyPress(char16_t& key) {
    if (onKeyPress_) onKeyPress_(this, key);
}

void TWinControl::WMKeyDown(TMessage& m) {
    WORD key = static_cast<WORD>(m.WParam);
    KeyDown(key, KeyboardShiftState());
    if (key == 0) {
        m.Result = 0;
        return;
    }
    m.WParam = key;
    DefaultHandler(m);
}

void TWinControl::WMKeyUp(TMessage& m) {
    WORD key = static_cast<WORD>(m.WParam);
    KeyUp(key, KeyboardShiftState());
    if (key == 0) {
        m.Result = 0;
        return;
    }
    m.WParam = key;
    DefaultHandler(m);
}

void TWinControl::WMSysKeyDown(TMessage& m) { TWinControl::WMKeyDown(m); }

void TWinControl::WMSysKeyUp(TMessage& m) { TWinControl::WMKeyUp(m); }

void TWinControl::WMChar(TMessage& m) {
    char16_t key = static_cast<char16_t>(m.WParam);
    KeyPress(key);
    if (key == 0) {
        m.Result = 0;
        return;
    }
    m.WParam = key;
    DefaultHandler(m);
}

void TWinControl::WMGetDlgCode(TMessage& m) { DefaultHandler(m); }
void TWinControl::WMSetFocus(TMessage& m) { DefaultHandler(m); }
void TWinControl::WMKillFocus(TMessage& m) { DefaultHandler(m); }

void TWinControl::WMWindowPosChanged(TMessage& m) {
    DefaultHandler(m);
    if (!settingBounds_) UpdateBoundsFromWindow();
}

void TWinControl::WMNCDestroy(TMessage& m) {
    if (captureControl_) captureControl_ = nullptr;
    DefaultHandler(m);
}

void TWinControl::CMColorChanged(TMessage& m) {
    TControl::CMColorChanged(m);
    NotifyControls(CM_PARENTCOLORCHANGED);
}

void TWinControl::CMParentShowHintChanged(TMessage& m) {
    TControl::CMParentShowHintChanged(m);
    NotifyControls(CM_PARENTSHOWHINTCHANGED);
}

void TWinControl::WMMouseWheel(TMessage& m) {
    // The wheel goes to the graphic child under the cursor first, then to this control.
    const TPoint screen{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    if (TControl* c = ControlAtPos(ScreenToClient(screen))) {
        const TShiftState shift = MouseShiftState(GET_KEYSTATE_WPARAM(m.WParam));
        if (c->DoMouseWheel(shift, GET_WHEEL_DELTA_WPARAM(m.WParam), screen)) {
            m.Result = 0;
            return;
        }
    }
    TControl::WMMouseWheel(m);
}

void TWinControl::NotifyControls(UINT msg) {
    for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(msg);
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    for (TControl* c : controls_)
        if (c->GetOwner() == root) proc(c);
}

// ---------------------------------------------------------------------------------------

VD_DEFINE_CLASS(TCustomControl)

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(HDC dc) {
    TControlCanvas::TPaintLoan loan(*canvas_, dc);
    Paint();
}

}  // namespace vd
