#include "vd_winstr.h"

#include <climits>

namespace vd {

WideString AnsiToWide(std::string_view s) {
    if (s.empty() || s.size() > INT_MAX) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return WideString(reinterpret_cast<const char16_t*>(w.data()), w.size());
}

std::string WideToAnsi(std::u16string_view w) {
    if (w.empty() || w.size() > INT_MAX) return {};
    const auto* src = reinterpret_cast<const wchar_t*>(w.data());
    const int n = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

}  // namespace vd
