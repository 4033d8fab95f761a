// Strings at the Win32 boundary: UTF-16 is wchar_t there, narrow strings are in the system
// code page (CP_ACP). Win32 only.
#pragma once

#include "vd_windows.h"

#include <string>
#include <string_view>

#include "vd_system.h"

namespace vd {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

inline const wchar_t* WinStr(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline WideString FromWinStr(const wchar_t* s) {
    return s ? WideString(reinterpret_cast<const char16_t*>(s)) : WideString();
}

// System code page <-> UTF-16.
WideString AnsiToWide(std::string_view s);
std::string WideToAnsi(std::u16string_view w);

}  // namespace vd
