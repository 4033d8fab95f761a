// Errors of COM and OLE calls as framework exceptions. Win32 only.
#pragma once

#include "vd_windows.h"

#include <oaidl.h>

#include <string>

#include "vd_system.h"

namespace vd {

VD_DECLARE_EXCEPTION(EOleError, Exception);

// A failed HRESULT; the message is the system's text for the code unless one is given.
class EOleSysError : public EOleError {
public:
    EOleSysError(const std::string& message, HRESULT errorCode, int helpContext = 0);
    HRESULT ErrorCode() const { return errorCode_; }
    int HelpContext() const { return helpContext_; }

private:
    HRESULT errorCode_;
    int helpContext_;
};

// An exception a COM object reported through EXCEPINFO: its description, source and help.
class EOleException : public EOleSysError {
public:
    EOleException(const std::string& message, HRESULT errorCode, const std::string& source, const std::string& helpFile,
                  int helpContext);
    // From an EXCEPINFO an Invoke filled: runs its deferred fill-in, copies its texts and
    // frees its strings (the caller's copy is left zeroed).
    static EOleException FromExcepInfo(EXCEPINFO& info);
    const std::string& Source() const { return source_; }
    const std::string& HelpFile() const { return helpFile_; }

private:
    std::string source_;
    std::string helpFile_;
};

// The system's message for an error code, without the trailing line break; empty if none.
std::string SysErrorMessage(DWORD code);

// Raises EOleSysError for a failed result; returns the result otherwise.
HRESULT OleCheck(HRESULT result);

}  // namespace vd
