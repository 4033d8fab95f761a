// The one way the project includes <windows.h>. The framework has a RegisterClass of its own
// (form classes), so the window-class macro of the same name is taken back here, once.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#ifdef RegisterClass
#undef RegisterClass
#endif
