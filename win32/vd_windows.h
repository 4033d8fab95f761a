// The one way the project includes <windows.h>. The framework has a RegisterClass of its own
// (form classes) and its string list a GetObject (an item's object), so the Win32 macros of
// those names are taken back here, once: a file that sees both would otherwise call
// GetObjectA, which the framework never defines. GDI's is GetObjectW by name.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#ifdef RegisterClass
#undef RegisterClass
#endif
#ifdef GetObject
#undef GetObject
#endif
