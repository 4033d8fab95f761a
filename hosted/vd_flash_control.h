// The Flash ActiveX control as the ActiveX driver and the reference player see it: the control
// interface and the events dispinterface (generated from vd_flash_ocx.idl) and the identifiers
// and DISPIDs of the control's public type library.
#pragma once

#include "vd_windows.h"

#include <ole2.h>
#include <olectl.h>

#include "vd_flash_ocx.h"

namespace vd::flash {

constexpr GUID MakeGuid(unsigned long d1, unsigned short d2, unsigned short d3, unsigned char b0, unsigned char b1,
                        unsigned char b2, unsigned char b3, unsigned char b4, unsigned char b5, unsigned char b6,
                        unsigned char b7) {
    return GUID{d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};
}

inline constexpr GUID CLASS_vdFlashPlayer =
    MakeGuid(0xD27CDB6E, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID IID_IvdFlashPlayer =
    MakeGuid(0xD27CDB6C, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID DIID__IvdFlashPlayerEvents =
    MakeGuid(0xD27CDB6D, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID LIBID_vdFlashPlayerObjects =
    MakeGuid(0xD27CDB6B, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID CLASS_FlashProp =
    MakeGuid(0x1171A62F, 0x05D2, 0x11D1, 0x83, 0xFC, 0x00, 0xA0, 0xC9, 0x08, 0x9C, 0x5A);
inline constexpr GUID CLASS_FlashObjectInterface =
    MakeGuid(0xD27CDB71, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID IID_IFlashObjectInterface =
    MakeGuid(0xD27CDB72, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID IID_IFlashFactory =
    MakeGuid(0xD27CDB70, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
inline constexpr GUID IID_IDispatchEx =
    MakeGuid(0xA6EF9860, 0xC720, 0x11D0, 0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9);
inline constexpr GUID IID_IServiceProvider =
    MakeGuid(0x6D5140C1, 0x7436, 0x11CE, 0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA);
inline constexpr GUID IID_IBindHost =
    MakeGuid(0xFC4801A1, 0x2BA9, 0x11CF, 0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52);
// The control interface plus the property offered by enumeration, as the control implements it.
inline constexpr GUID IID_IvdFlashPlayerEx =
    MakeGuid(0x5F3E2B90, 0x7C1D, 0x4E8A, 0x9B, 0x6F, 0x2D, 0x4C, 0x8A, 0x1E, 0x0F, 0x37);

// The dispatch view the control's IDispatch::GetTypeInfo answers with.
inline constexpr GUID DIID_DvdFlashPlayer =
    MakeGuid(0x5F3E2B91, 0x7C1D, 0x4E8A, 0x9B, 0x6F, 0x2D, 0x4C, 0x8A, 0x1E, 0x0F, 0x37);

// Events of _IvdFlashPlayerEvents, in the control description's table order.
inline constexpr DISPID DISPID_OnReadyStateChange = -609;
inline constexpr DISPID DISPID_OnProgress = 1958;
inline constexpr DISPID DISPID_FSCommand = 150;
inline constexpr DISPID DISPID_FlashCall = 197;
inline constexpr DISPID kEventDispIDs[4] = {DISPID_OnReadyStateChange, DISPID_OnProgress, DISPID_FSCommand,
                                            DISPID_FlashCall};

// Members the drivers use by DISPID.
inline constexpr DISPID DISPID_WMode = 133;
inline constexpr DISPID DISPID_Movie = 102;
inline constexpr DISPID DISPID_Loop = 106;
inline constexpr DISPID DISPID_Quality = 105;
inline constexpr DISPID DISPID_QualityLevel = 300;

}  // namespace vd::flash
