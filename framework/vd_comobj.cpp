#include "vd_comobj.h"

#include <oleauto.h>

#include <cstdio>
#include <utility>

#include "vd_com.h"
#include "vd_win32_owners.h"
#include "vd_winstr.h"

namespace vd {

namespace {

std::string HresultText(HRESULT code) {
    std::string text = SysErrorMessage(static_cast<DWORD>(code));
    if (!text.empty()) return text;
    char buf[32];
    std::snprintf(buf, sizeof buf, "OLE error %.8lX", static_cast<unsigned long>(code));
    return buf;
}

std::string BstrToAnsi(BSTR s) {
    if (!s) return {};
    return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(s), SysStringLen(s)));
}

}  // namespace

std::string SysErrorMessage(DWORD code) {
    win32::TLocalMemory buffer;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.Out()), 0, nullptr);
    if (!n || !buffer) return {};
    std::wstring text(static_cast<const wchar_t*>(buffer.Get()), n);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

EOleSysError::EOleSysError(const std::string& message, HRESULT errorCode, int helpContext)
    : EOleError(message.empty() ? HresultText(errorCode) : message), errorCode_(errorCode), helpContext_(helpContext) {}

EOleException::EOleException(const std::string& message, HRESULT errorCode, const std::string& source,
                             const std::string& helpFile, int helpContext)
    : EOleSysError(message, errorCode, helpContext), source_(source), helpFile_(helpFile) {}

EOleException EOleException::FromExcepInfo(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) {
        info.pfnDeferredFillIn(&info);
        info.pfnDeferredFillIn = nullptr;
    }
    // The strings are ours from here: freed when these owners go, the caller's copy zeroed.
    const win32::TBstr descriptionText = win32::TBstr::Attach(std::exchange(info.bstrDescription, nullptr));
    const win32::TBstr sourceText = win32::TBstr::Attach(std::exchange(info.bstrSource, nullptr));
    const win32::TBstr helpFileText = win32::TBstr::Attach(std::exchange(info.bstrHelpFile, nullptr));
    std::string description = BstrToAnsi(descriptionText.Get());
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) description.pop_back();
    const HRESULT code = info.scode != 0 ? info.scode : DISP_E_EXCEPTION;
    return EOleException(description, code, BstrToAnsi(sourceText.Get()), BstrToAnsi(helpFileText.Get()),
                         static_cast<int>(info.dwHelpContext));
}

HRESULT OleCheck(HRESULT result) {
    if (FAILED(result)) throw EOleSysError("", result, 0);
    return result;
}

}  // namespace vd
