#include "vd_windows.h"

#include "vd_movieres.h"

#include <string>
#include <string_view>
#include <vector>

#include "vd_flashstore.h"

namespace vd {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");
const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// The module this code is linked into (the EXE or the DLL), which carries the resources.
HMODULE PackageModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&PackageModule), &module);
    return module;
}

bool Win32FileExists(const WideString& fileName) {
    if (fileName.empty()) return false;
    const DWORD attributes = GetFileAttributesW(W(fileName));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The 8-bit names of older stored movies: text in the system code page.
WideString SystemCodePageToWide(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), n);
    return WideString(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

}  // namespace

void InstallWin32NarrowNames() { SetNarrowNameDecoder(&SystemCodePageToWide); }

bool FindMovieResource(std::u16string_view requested, TMovieResource& resource) {
    const WideString name = MovieResourceName(requested);
    if (name.empty()) return false;
    HMODULE module = PackageModule();
    HRSRC info = FindResourceW(module, W(name), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!info) return false;
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return false;
    resource.Data = static_cast<const uint8_t*>(data);
    resource.Size = SizeofResource(module, info);
    return true;
}

std::unique_ptr<TMemoryStream> OpenMovieResource(std::u16string_view requested) {
    TMovieResource resource;
    if (!FindMovieResource(requested, resource)) return nullptr;
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(resource.Data, static_cast<int64_t>(resource.Size));
    stream->SetPosition(0);
    return stream;
}

void InstallWin32FileExists() { SetFileExistsHook(&Win32FileExists); }

WideString ApplicationDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            WideString path(reinterpret_cast<const char16_t*>(buffer.data()), n);
            const size_t sep = path.find_last_of(u"\\/:");
            return sep == WideString::npos ? WideString() : path.substr(0, sep + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace vd
