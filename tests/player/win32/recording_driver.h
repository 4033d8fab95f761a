// Driver classes for tests: a driver that records what it is asked to do, and class values
// whose availability a test sets, so driver selection can be exercised without a Flash
// Player. Shared by the player tests.
#pragma once

#include <string>
#include <vector>

#include "vd_flashplayer.h"

namespace vdtest {

// Everything the recording drivers were asked, in order, across drivers.
inline std::vector<std::string>& Journal() {
    static std::vector<std::string> j;
    return j;
}

template <int Tag> class TRecordingDriver : public vd::TvdFlashDriver {
public:
    using vd::TvdFlashDriver::TvdFlashDriver;
    ~TRecordingDriver() override { Journal().push_back(Prefix() + "destroyed"); }

    static inline bool Installed = true;
    static inline int Constructed = 0;
    static inline bool FailConstruction = false;
    static bool PluginExists() { return Installed; }
    static const vd::TvdFlashDriverClass& Class() {
        static const vd::TvdFlashDriverClass cls =
            vd::MakeFlashDriverClass<TRecordingDriver>(Tag == 0   ? "Recording"
                                                       : Tag == 1 ? "TestNetscape"
                                                                  : "TestActiveX");
        return cls;
    }
    static std::string Prefix() { return std::string(Tag == 0 ? "rec" : Tag == 1 ? "ns" : "ax") + ": "; }

    int CreateBufferCalls = 0, FreeBufferCalls = 0, ResizeBufferCalls = 0;
    std::vector<std::string> Input;
    HWND FocusAtMouseDown = nullptr;  // the window with the focus when a press arrived
    WORD ClearKey = 0;                // KeyDown and KeyUp take this key (set it to 0)

    void CreateBuffer() override {
        ++CreateBufferCalls;
        vd::TvdFlashDriver::CreateBuffer();
    }
    void FreeBuffer() override {
        if (BufferBitmap) ++FreeBufferCalls;
        vd::TvdFlashDriver::FreeBuffer();
    }
    void ResizeBuffer() override { ++ResizeBufferCalls; }
    void LoadMovie(const vd::WideString& url) override {
        const bool loading = Control && Control->ComponentState().Contains(vd::csLoading);
        Journal().push_back(Prefix() + "LoadMovie '" + vd::WideToUtf8(url) + "'" + (loading ? " while loading" : ""));
    }
    void LoadMovieFromStream(vd::TStream* stream) override {
        Journal().push_back(Prefix() + "LoadMovieFromStream " + std::to_string(stream ? stream->GetSize() : -1));
    }
    void StopPlay() override { Journal().push_back(Prefix() + "StopPlay"); }
    void Play() override { Journal().push_back(Prefix() + "Play"); }
    vd::WideString CallFunction(const vd::WideString& request) override {
        Journal().push_back(Prefix() + "CallFunction " + vd::WideToUtf8(request));
        return u"<string>answer</string>";
    }
    void SetVariable(const vd::WideString& name, const vd::WideString& value) override {
        Journal().push_back(Prefix() + "SetVariable " + vd::WideToUtf8(name) + "=" + vd::WideToUtf8(value));
    }
    vd::WideString GetVariable(const vd::WideString& name) override { return u"value of " + name; }
    int GetTotalFrames() override { return 12; }
    void MouseDown(vd::TMouseButton b, vd::TShiftState, int x, int y) override {
        FocusAtMouseDown = GetFocus();
        Input.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    void MouseMove(vd::TShiftState, int x, int y) override {
        Input.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    }
    void MouseUp(vd::TMouseButton b, vd::TShiftState, int x, int y) override {
        Input.push_back("up " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    void KeyDown(WORD& key, vd::TShiftState) override {
        Input.push_back("keydown " + std::to_string(key));
        if (key == ClearKey) key = 0;
    }
    void KeyUp(WORD& key, vd::TShiftState) override {
        Input.push_back("keyup " + std::to_string(key));
        if (key == ClearKey) key = 0;
    }
    void KeyPress(char16_t& key, vd::TShiftState) override {
        Input.push_back("char " + std::to_string(static_cast<int>(key)));
    }
    void MouseWheel(vd::TShiftState, int x, int y, int delta, bool& handled) override {
        Input.push_back("wheel " + std::to_string(delta) + " at " + std::to_string(x) + "," + std::to_string(y) +
                        (handled ? " handled" : ""));
        handled = true;
    }
};

using TRecDriver = TRecordingDriver<0>;
using TTestNSDriver = TRecordingDriver<1>;
using TTestAXDriver = TRecordingDriver<2>;

// A driver class whose constructor fails.
class TFailingDriver : public vd::TvdFlashDriver {
public:
    TFailingDriver(int w, int h, uint32_t bg) : vd::TvdFlashDriver(w, h, bg) { throw vd::Exception("no player"); }
    static bool PluginExists() { return true; }
    static const vd::TvdFlashDriverClass& Class() {
        static const vd::TvdFlashDriverClass cls = vd::MakeFlashDriverClass<TFailingDriver>("Failing");
        return cls;
    }
};

// Puts the selection globals back after each test.
class SelectionGuard {
public:
    SelectionGuard()
        : default_(vd::DefaultFlashDriverClass), ns_(vd::FlashDriverNSClass), ax_(vd::FlashDriverActiveXClass) {
        Journal().clear();
        TRecDriver::Installed = TTestNSDriver::Installed = TTestAXDriver::Installed = true;
    }
    ~SelectionGuard() {
        vd::DefaultFlashDriverClass = default_;
        vd::FlashDriverNSClass = ns_;
        vd::FlashDriverActiveXClass = ax_;
    }

private:
    const vd::TvdFlashDriverClass* default_;
    const vd::TvdFlashDriverClass* ns_;
    const vd::TvdFlashDriverClass* ax_;
};

}  // namespace vdtest
