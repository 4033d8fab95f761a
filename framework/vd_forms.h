// Forms (top-level windows), the application object and the screen. Win32 only.
#pragma once

#include "vd_windows.h"

#include <functional>
#include <string>

#include "vd_controls.h"

namespace vd {

class TCustomForm : public TCustomControl {
    VD_CLASS(TCustomForm, TCustomControl)
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    const std::string& GetCaption() const { return caption_; }
    void SetCaption(const std::string& value);
    TRect ClientRect() const override;
    void SetClientWidth(int value);
    void SetClientHeight(int value);
    int GetClientWidth() const { return ClientWidth(); }
    int GetClientHeight() const { return ClientHeight(); }
    // Hides the form; closing the application's main form ends the message loop.
    void Close();
    void SetVisible(bool value) override;

    const TNotifyEvent& GetOnPaint() const { return onPaint_; }
    void SetOnPaint(const TNotifyEvent& e) { onPaint_ = e; }

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    bool HasParent() const override { return false; }
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    HWND ParentWindow() override { return nullptr; }
    // Raises OnPaint; Canvas draws on the form's client area.
    void Paint() override;

private:
    // Width and height of the frame around the client area for the form's window style.
    SIZE FrameSize() const;
    std::string caption_;
    TNotifyEvent onPaint_;
};

class TForm : public TCustomForm {
    VD_CLASS(TForm, TCustomForm)
public:
    explicit TForm(TComponent* owner) : TCustomForm(owner) {}
};

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

class TApplication : public TComponent {
    VD_CLASS(TApplication, TComponent)
public:
    explicit TApplication(TComponent* owner) : TComponent(owner) {}

    TCustomForm* MainForm = nullptr;
    // Shows the main form and dispatches messages until Terminate (or the main form closes).
    void Run();
    // Dispatches every message waiting now and returns.
    void ProcessMessages();
    // Waits for one message and dispatches it.
    void HandleMessage();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Call from a catch block: hands the exception being handled to OnException, or reports
    // it (on the error output) when no handler is assigned; returns either way.
    void HandleException(TObject* sender);
    void ShowException(const Exception& e);
    const TExceptionEvent& GetOnException() const { return onException_; }
    void SetOnException(const TExceptionEvent& e) { onException_ = e; }

private:
    bool ProcessMessage(MSG& msg);
    bool terminated_ = false;
    TExceptionEvent onException_;
};

class TScreen : public TComponent {
    VD_CLASS(TScreen, TComponent)
public:
    explicit TScreen(TComponent* owner) : TComponent(owner) {}
    // Logical pixels per inch of the screen (96 at 100%).
    int PixelsPerInch() const;
    int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
    int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
};

// The process's application and screen objects.
TApplication& Application();
TScreen& Screen();

}  // namespace vd
