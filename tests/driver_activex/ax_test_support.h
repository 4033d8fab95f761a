// What the ActiveX driver's tests share: the units started once for the test program (after
// the reference control's fault switches and timer setting are in the environment, as it reads
// them for every control it creates), the reference control's own test exports, found in the
// vdflashax.dll COM loaded for us, and small helpers for journals, movies and buffers.
#pragma once

#include "journal_support.h"
#include "rp_test_util.h"
#include "swf_builder.h"
#include "vd_driver_activex.h"
#include "vd_flashplayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace vdtest {

// Starts the player unit and the ActiveX driver unit once for the whole test program.
class ActiveXUnits : public ::testing::Environment {
public:
    explicit ActiveXUnits(const char* faults = "") : faults_(faults) {}
    void SetUp() override {
        SetEnvironmentVariableA("VDRP_FAULTS", faults_);
        SetEnvironmentVariableA("VDRP_TIMER", "off");
        vd::InitializeFlashPlayerUnit();
        vd::InitializeDriverActiveXUnit();
    }
    void TearDown() override {
        vd::FinalizeDriverActiveXUnit();
        vd::FinalizeFlashPlayerUnit();
    }

private:
    const char* faults_;
};

// The reference control's exports; `loaded` is false until COM has loaded its DLL.
struct ControlHooks : Hooks {
    bool loaded = false;
    HMODULE module = nullptr;
    ControlHooks() {
        module = GetModuleHandleW(L"vdflashax.dll");
        if (module) loaded = Load(module);
    }
    // S_OK when the DLL holds no live object (every control and reference let go).
    HRESULT CanUnloadNow() const {
        using Fn = HRESULT(WINAPI*)();
        const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        return fn ? fn() : E_FAIL;
    }
    // The journal lines from the first that starts with `from`, in order.
    std::vector<std::string> Since(const std::string& from) const {
        std::vector<std::string> out;
        bool on = false;
        for (auto& l : Journal()) {
            if (!on && l.rfind(from, 0) == 0) on = true;
            if (on) out.push_back(l);
        }
        return out;
    }
};

inline std::vector<uint8_t> MovieBytes(int frames, uint32_t background = 0x3366CC) {
    return SwfBuilder(100, 100, 12, frames).Background(background).ProgressFrames(background).Fws();
}

inline std::unique_ptr<vd::TvdFlashDriverActiveX> MakeDriver(int w, int h, uint32_t background) {
    return std::unique_ptr<vd::TvdFlashDriverActiveX>(
        vd::TvdFlashDriver::NewDriver<vd::TvdFlashDriverActiveX>(w, h, background));
}

// One face of the site the driver hands its control, as the control would ask for it.
template <class I> vd::win32::ComPtr<I> SiteFace(vd::TvdFlashDriverActiveX& d, REFIID iid) {
    vd::win32::ComPtr<I> face;
    EXPECT_EQ(d.ClientSite()->QueryInterface(iid, reinterpret_cast<void**>(face.GetAddressOf())), S_OK);
    return face;
}

// RGB of a pixel (GDI leaves the alpha byte of what it draws 0).
inline uint32_t Rgb(uint32_t pixel) { return pixel & 0xFFFFFFu; }

// A pixel of the driver's primary buffer, read once GDI is done with it.
inline uint32_t Pixel(const vd::TvdFlashDriver& d, int x, int y) {
    GdiFlush();
    return d.Bits[static_cast<size_t>(y) * static_cast<size_t>(d.Width) + static_cast<size_t>(x)];
}

}  // namespace vdtest
