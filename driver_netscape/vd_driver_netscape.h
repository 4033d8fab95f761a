// The Netscape-plugin driver: plays movies through the Flash Player's NPAPI library, hosted
// windowless in the browser role, drawing into the driver base's buffers. Win32 only.
//
// The unit is started and stopped explicitly (never from a static initializer: it loads a
// library): InitializeDriverNetscapeUnit() finds and loads the plugin library once per process,
// hands it the browser-side table and registers the driver class for driver selection;
// FinalizeDriverNetscapeUnit() shuts it down again. Both are counted.
#pragma once

#include "vd_flashdriver.h"
#include "vd_npapi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vd {

namespace np {
class TPluginDownload;
}

// The key under HKEY_LOCAL_MACHINE whose string value "Path" names the plugin library.
inline constexpr wchar_t kNetscapePluginKey[] = L"SOFTWARE\\MozillaPlugins\\@vdplayer.local/FlashPlugin";
// Where the library is looked for when neither the key nor the executable's folder names one.
inline constexpr wchar_t kNetscapePluginDefaultPath[] = L"C:\\Windows\\system32\\Macromed\\Flash\\NPSWF32.dll";
// The library's file name looked for beside the executable; that copy wins over the others.
inline constexpr wchar_t kNetscapePluginFileName[] = L"npswf32.dll";

void InitializeDriverNetscapeUnit();
void FinalizeDriverNetscapeUnit();
// The library path chosen at start-up (empty before it, or when the key has no "Path").
WideString NetscapePluginPath();
// What became of the plugin library at start-up. Only Ready lets the driver run (PluginExists);
// a library that refused its tables was freed again.
enum class TNetscapePluginState {
    NotStarted,         // the unit is not started
    NoLibrary,          // no path, or the library did not load
    NoEntryPoints,      // the library exports no NP_GetEntryPoints
    EntryPointsFailed,  // NP_GetEntryPoints answered an error: the library was freed
    InitializeFailed,   // NP_Initialize answered an error: the library was freed
    NoNewInstance,      // the plugin table came back without NPP_New
    Ready,
};
TNetscapePluginState NetscapePluginState();
// Blocks handed out by the host allocator and not yet returned (NPN_MemAlloc/NPN_MemFree and
// the texts the host gives the plugin): what a scripted exchange leaves behind.
int NetscapeHostBlocks();

class TvdFlashDriverNS : public TvdFlashDriver {
    VD_CLASS(TvdFlashDriverNS, TvdFlashDriver)
public:
    TvdFlashDriverNS(int width, int height, uint32_t background);
    ~TvdFlashDriverNS() override;
    // The buffer first (base), then the plugin instance.
    void AfterConstruction() override;

    static const TvdFlashDriverClass& Class();
    // True when the library loaded and filled the plugin table with NPP_New.
    static bool PluginExists();

    // The current instance's record; nullptr without one. Each instance has a record of its own
    // that stays where it is until the instance is destroyed: a plugin inside a call holds it.
    np::NPP Instance = nullptr;
    // NPP_New answered success for the current instance: only then does the plugin hear of it
    // again (a failed one gets NPP_Destroy and nothing else).
    bool InstanceLive = false;
    np::NPObject* ScriptObject = nullptr;  // one reference held while set
    WideString ReturnValue;
    np::NPWindow PluginWindow{};

    void CreatePlugin();
    // Lets the current instance go: at once, or, while the plugin is inside a call of its own,
    // once the outermost call has returned. Its streams still open end first
    // (NPRES_USER_BREAK).
    void DestroyPlugin();
    // Hands the plugin the primary buffer's DC as its drawable (whole buffer, origin 0,0, all of
    // it visible); without a buffer, takes back a drawable it was given (a null one, 0 x 0).
    void SetPluginWindow();
    // Serves one URL request of the plugin (NPN_GetURLNotify with no target).
    void CreateStream(const WideString& url, void* notifyData);
    // Network requests of the current instance still arriving (an "http:" source).
    size_t PendingDownloads() const { return downloads_.size(); }
    // The paint procedure for one rectangle (the plugin's, clamped in place). Asked for while a
    // paint runs, the rectangle is painted after it.
    void PaintRect(np::NPRect& rect);
    // Whether code that called out for the instance `npp` may go on: the driver was not freed and
    // `npp` is still the current instance.
    bool StillFor(np::NPP npp) const { return !Detached() && npp && npp == Instance; }

    void ResizeBuffer() override;
    void ForceUpdate() override;

    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseWheel(TShiftState Shift, int X, int Y, int WheelDelta, bool& Handled) override;
    void KeyDown(WORD& Key, TShiftState Shift) override;
    void KeyPress(char16_t& Key, TShiftState Shift) override;
    void KeyUp(WORD& Key, TShiftState Shift) override;

    void LoadMovie(const WideString& URL) override;
    void LoadMovieFromStream(TStream* Stream) override;
    WideString GetVariable(const WideString& Name) override;
    void SetVariable(const WideString& Name, const WideString& Value) override;
    WideString CallFunction(const WideString& Request) override;
    void SetReturnValue(const WideString& Value) override { ReturnValue = Value; }
    void Play() override;
    void StopPlay() override;
    void Rewind() override;
    void Forward() override;
    void Back() override;
    bool GetLoop() override;
    bool GetIsPlaying() override;
    int GetCurrentFrame() override;
    int GetTotalFrames() override;
    void SetLoop(bool Value) override;
    void SetCurrentFrame(int Frame) override;

protected:
    void Detach() override;
    void AfterCalls() override;

private:
    friend class np::TPluginDownload;
    // An instance let go inside a call, destroyed once the call has returned.
    struct TRetired {
        std::unique_ptr<np::NPP_t> record;
        std::vector<std::unique_ptr<np::TPluginDownload>> downloads;
    };
    std::unique_ptr<np::NPP_t> record_;
    std::vector<TRetired> retired_;
    void DestroyRetired();
    void PaintPass(const TRect& area);
    // Starts the download of an "http:" request; the plugin hears of its end once either way.
    void StartPluginDownload(const WideString& url, const std::string& streamUrl, void* notifyData);
    // Lets go of a download that has ended (frees it).
    void ForgetDownload(np::TPluginDownload* download);
    std::vector<std::unique_ptr<np::TPluginDownload>> downloads_;
    // Invokes a method of the scriptable object; false when there is none or the call fails.
    // The caller releases `result` (NPN_ReleaseVariantValue).
    bool Invoke(const char* method, const np::NPVariant* args, uint32_t count, np::NPVariant& result);
    void Command(const char* method);
    bool BoolQuery(const char* method);
    int IntQuery(const char* method);
    WideString StringCall(const char* method, const WideString& argument);
    void SendInput(uint16_t message, uintptr_t wParam, uintptr_t lParam);
    void PaintPlugin(HDC dc, const np::NPRect& rect);
    // Fills every field of PluginWindow for the drawable `dc` (none: 0 x 0, nothing visible).
    void FillPluginWindow(HDC dc);
    // Starts a movie in the current instance: LoadMovie(0, url).
    void InvokeLoadMovie(const WideString& url);
    void SetPlayerVariables();
};

// Modifier flags of an input event: ssCtrl, ssShift, ssLeft and ssRight as MK_ flags.
uintptr_t ShiftToPluginKeyFlags(TShiftState Shift);

}  // namespace vd
