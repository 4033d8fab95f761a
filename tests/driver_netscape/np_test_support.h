// What the Netscape driver's tests share: the units started once for the test process (after
// the reference player's fault switches are set, as its first entry point reads them), and the
// reference player's own test exports, found in the library the driver loaded.
#pragma once

#include "rp_test_util.h"
#include "vd_driver_netscape.h"
#include "vd_flashplayer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vdtest {

// Starts the player unit and the Netscape driver unit once for the whole test program.
class NetscapeUnits : public ::testing::Environment {
public:
    explicit NetscapeUnits(const char* faults = "") : faults_(faults) {}
    void SetUp() override {
        SetEnvironmentVariableA("VDRP_FAULTS", faults_);
        SetEnvironmentVariableA("VDRP_TIMER", "off");
        vd::InitializeFlashPlayerUnit();
        vd::InitializeDriverNetscapeUnit();
    }
    void TearDown() override {
        vd::FinalizeDriverNetscapeUnit();
        vd::FinalizeFlashPlayerUnit();
    }

private:
    const char* faults_;
};

// The reference player's exports in the plugin library the driver loaded; nullptr hooks when
// none is loaded.
struct PluginHooks : Hooks {
    using LiveObjectsFn = int(__cdecl*)();
    LiveObjectsFn liveObjects = nullptr;
    bool loaded = false;
    PluginHooks() {
        const HMODULE m = GetModuleHandleW(L"npswf32.dll");
        if (!m) return;
        loaded = Load(m);
        liveObjects = reinterpret_cast<LiveObjectsFn>(reinterpret_cast<void*>(GetProcAddress(m, "vdrp_LiveObjects")));
    }
    // The journal lines from the first that starts with `from` (all when empty), in order.
    std::vector<std::string> Since(const std::string& from = "") const {
        std::vector<std::string> out;
        bool on = from.empty();
        for (auto& l : Journal()) {
            if (!on && l.rfind(from, 0) == 0) on = true;
            if (on) out.push_back(l);
        }
        return out;
    }
};

inline std::string Narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());  // test paths are ASCII
}

}  // namespace vdtest
