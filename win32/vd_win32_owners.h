// Owners of plain Win32 handles: registry keys, loaded modules, files, menus, system-allocated
// memory, GDI objects and their selection, device contexts and their saved state. Header-only, no framework dependency,
// so the reference player and the tests use them too. Each owner is move-only and releases exactly what it holds.
#pragma once

#include "vd_windows.h"

#include <utility>

namespace vd::win32 {

// A handle with a release function; the null handle is "nothing held".
template <class Handle, class Traits> class TUniqueHandle {
public:
    TUniqueHandle() = default;
    explicit TUniqueHandle(Handle handle) : handle_(handle) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(TUniqueHandle&& o) noexcept : handle_(std::exchange(o.handle_, Handle{})) {}
    TUniqueHandle& operator=(TUniqueHandle&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.handle_, Handle{}));
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    // Releases what is held and takes `handle`.
    void Reset(Handle handle = Handle{}) {
        if (handle_ != Handle{}) Traits::Close(handle_);
        handle_ = handle;
    }
    // Gives the handle up without releasing it.
    [[nodiscard]] Handle Detach() { return std::exchange(handle_, Handle{}); }
    // For functions that return a handle through a pointer: releases what is held first.
    Handle* Out() {
        Reset();
        return &handle_;
    }

private:
    Handle handle_{};
};

struct TRegKeyTraits {
    static void Close(HKEY key) { RegCloseKey(key); }
};
struct TModuleTraits {
    static void Close(HMODULE module) { FreeLibrary(module); }
};
struct TGdiObjectTraits {
    static void Close(HGDIOBJ object) { DeleteObject(object); }
};
struct TMemoryDCTraits {
    static void Close(HDC dc) { DeleteDC(dc); }
};
struct TMenuTraits {
    static void Close(HMENU menu) { DestroyMenu(menu); }
};
struct TLocalMemoryTraits {
    static void Close(HLOCAL memory) { LocalFree(memory); }
};
struct TFileTraits {
    static void Close(HANDLE file) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
};

// An open registry key (RegCreateKeyExW / RegOpenKeyExW into Out()).
using TRegKey = TUniqueHandle<HKEY, TRegKeyTraits>;
// A module loaded with LoadLibrary; freed when the owner goes.
using TModule = TUniqueHandle<HMODULE, TModuleTraits>;
// A pen, brush, bitmap, region or font; deleted when the owner goes. Deselect it first
// (TSelectObject does) or GDI refuses to delete it.
using TGdiObject = TUniqueHandle<HGDIOBJ, TGdiObjectTraits>;
// A DC made with CreateCompatibleDC.
using TMemoryDC = TUniqueHandle<HDC, TMemoryDCTraits>;
// A menu made with CreateMenu/CreatePopupMenu and not attached to a window.
using TMenu = TUniqueHandle<HMENU, TMenuTraits>;
// Memory the system allocated for us with LocalAlloc (FormatMessage's buffer, say).
using TLocalMemory = TUniqueHandle<HLOCAL, TLocalMemoryTraits>;
// A file handle from CreateFileW. It may hold INVALID_HANDLE_VALUE, as CreateFileW answers on
// failure: test Get() against that; nothing is closed for it.
using TFile = TUniqueHandle<HANDLE, TFileTraits>;

// A window's (or the screen's) DC from GetDC, released to that window when it goes.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~TWindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back when it goes.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~TSelectObject() {
        if (old_) SelectObject(dc_, old_);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves a device context's state (clip region, origins, selections) and restores it.
class TSavedDC {
public:
    explicit TSavedDC(HDC dc) : dc_(dc), id_(dc ? SaveDC(dc) : 0) {}
    ~TSavedDC() {
        if (id_) RestoreDC(dc_, id_);
    }
    TSavedDC(const TSavedDC&) = delete;
    TSavedDC& operator=(const TSavedDC&) = delete;
    // False when SaveDC failed: nothing will be restored.
    explicit operator bool() const { return id_ != 0; }

private:
    HDC dc_;
    int id_;
};

}  // namespace vd::win32
