// The Windows side of movie addressing: the built-in movies carried as RCDATA resources of the
// library module, the real file-existence test behind LocalFileExists, and the application
// directory. Declarations only (no <windows.h>); defined in vd_movieres_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "vd_movienames.h"
#include "vd_streams.h"

namespace vd {

struct TMovieResource {
    const uint8_t* Data = nullptr;  // inside the loaded module: valid while it stays loaded
    size_t Size = 0;
};

// The RCDATA resource of the library module named StripExtension(requested), without regard
// to case ("ClearOverAll.swf" finds CLEAROVERALL). False when there is none.
bool FindMovieResource(std::u16string_view requested, TMovieResource& resource);
// A memory stream holding a copy of that resource, positioned at 0; nullptr when none.
std::unique_ptr<TMemoryStream> OpenMovieResource(std::u16string_view requested);

// Makes LocalFileExists ask the file system through the wide Win32 file functions.
void InstallWin32FileExists();

// Makes the 8-bit names of older stored movies read as text in the system code page.
void InstallWin32NarrowNames();

// The directory of the running executable, with its trailing path separator.
WideString ApplicationDirectory();

}  // namespace vd
