// The design host of a Windows program: what the property editors ask of their host, done with
// the system's own dialogs, so that an application (or a designer of its own) can show the
// editors for real. The file-open dialog is GetOpenFileNameW with the editor's filter and title,
// errors go to MessageBoxW, the modification notice to a callback; file names stay wide from the
// dialog to the file. Win32 only.
#pragma once

#include "vd_windows.h"

#include <commdlg.h>

#include <functional>
#include <memory>
#include <string>

#include "vd_designintf.h"

namespace vd {

class TvdWindowsDesigner : public IDesigner {
public:
    // The system calls the host makes, replaceable (by a test, or a program that shows its own
    // dialogs): the file-open dialog with its filled-in parameters (true: a file was picked,
    // its name in lpstrFile), and the message box with its owner, text, caption and style.
    using TOpenFileNameFn = std::function<bool(OPENFILENAMEW& parameters)>;
    using TMessageBoxFn =
        std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style)>;
    using TModifiedFn = std::function<void()>;

    // Dialogs and message boxes are owned by `owner` (none: the desktop); `onModified` hears
    // the modification notice.
    explicit TvdWindowsDesigner(HWND owner = nullptr, TModifiedFn onModified = {});

    std::unique_ptr<TOpenDialog> CreateOpenDialog() override;
    // A plain message box (OK only), captioned with Caption.
    void ShowMessage(const std::string& message) override;
    void Modified() override;

    HWND Owner = nullptr;
    std::wstring Caption;  // the message boxes' caption; empty: the program's file name
    TModifiedFn OnModified;
    TOpenFileNameFn OpenFileNameCall;  // GetOpenFileNameW unless replaced
    TMessageBoxFn MessageBoxCall;      // MessageBoxW unless replaced
};

// A dialog filter as the editors write it ("Description|patterns|...") in the form the
// system's dialog takes: every '|' a NUL, ended by two NULs. Empty for an empty filter.
std::wstring DialogFilter(const std::string& filter);

}  // namespace vd
