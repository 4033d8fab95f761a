// What the two halves of the controls' code (vd_controls.cpp: controls without windows,
// vd_wincontrol.cpp: controls with one) share and nobody else needs.
#pragma once

#include "vd_windows.h"

namespace vd::detail {

inline bool IsMouseButtonMessage(UINT msg) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            return true;
        default:
            return false;
    }
}

}  // namespace vd::detail
