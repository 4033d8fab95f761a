// The driver base: the host of one Flash Player instance, its off-screen buffers and
// settings, the operations every player offers (IvdFlash), and driver selection
// (ChangePlugin). The base is also the inert driver used when no Flash Player is installed:
// it keeps a buffer and accepts every movie operation without doing anything. Win32 only.
#pragma once

#include "vd_com.h"
#include "vd_windows.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "vd_controls.h"
#include "vd_driver_choice.h"
#include "vd_graphics.h"
#include "vd_pixels.h"
#include "vd_streams.h"

namespace vd {

// The largest buffer a driver makes: each side at most kMaxBufferSide pixels and the whole at
// most kMaxBufferPixels (256 MiB a buffer; alpha mode keeps two). A size past either, or with a
// side of 0 or less, is one the buffer cannot have: the driver then has no buffer (0 x 0) and
// asks the system for nothing.
inline constexpr int kMaxBufferSide = 16384;
inline constexpr int64_t kMaxBufferPixels = int64_t{64} * 1024 * 1024;
inline constexpr bool BufferSizeAllowed(int width, int height) {
    return width > 0 && height > 0 && width <= kMaxBufferSide && height <= kMaxBufferSide &&
           int64_t{width} * height <= kMaxBufferPixels;
}

using TvdPaintEvent = std::function<void(TObject* ASender, const TRect& ARect)>;
using TvdEraseBackgroundEvent = std::function<void(TObject* ASender, const TRect& ARect)>;
using TvdFSCommandEvent = std::function<void(TObject* ASender, const WideString& command, const WideString& args)>;
using TvdFlashCallEvent = std::function<void(TObject* ASender, const WideString& request)>;

// The 17 player operations every driver and player class offers, so an application can
// drive any of them through one interface. Reference counting is the component framework's:
// AddRef and Release never end an object's life, which belongs to its owner.
struct IvdFlash : public IUnknown {
    virtual void LoadMovie(const WideString& URL) = 0;
    virtual void LoadMovieFromStream(TStream* Stream) = 0;
    virtual WideString GetVariable(const WideString& Name) = 0;
    virtual void SetVariable(const WideString& Name, const WideString& Value) = 0;
    virtual WideString CallFunction(const WideString& Request) = 0;
    virtual void SetReturnValue(const WideString& Value) = 0;
    virtual void Play() = 0;
    virtual void StopPlay() = 0;
    virtual void Rewind() = 0;
    virtual void Forward() = 0;
    virtual void Back() = 0;
    virtual bool GetLoop() = 0;
    virtual bool GetIsPlaying() = 0;
    virtual int GetCurrentFrame() = 0;
    virtual int GetTotalFrames() = 0;
    virtual void SetLoop(bool Value) = 0;
    virtual void SetCurrentFrame(int Frame) = 0;
};

// IUnknown for components: answers IUnknown and the null interface identifier (IvdFlash has
// none); the counts are fixed, nothing is ever freed through them.
inline const win32::TInterfaceRow<IvdFlash> ComponentInterfaces[] = {
    win32::InterfaceRow<IvdFlash, IvdFlash>(IID_IUnknown),
    win32::InterfaceRow<IvdFlash, IvdFlash>(GUID_NULL),
};
#define VD_COMPONENT_IUNKNOWN                                                                \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {          \
        return win32::QueryInterfaceFrom<IvdFlash>(this, ComponentInterfaces, riid, object); \
    }                                                                                        \
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }                                  \
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

class TvdFlashDriver : public TComponent, public IvdFlash {
    VD_CLASS(TvdFlashDriver, TComponent)
public:
    // Settings and background only. The buffer is made by AfterConstruction, once the most
    // derived driver exists, so a driver's own buffer operations run for it; NewDriver and
    // the driver class values do both.
    TvdFlashDriver(int width, int height, uint32_t background);
    ~TvdFlashDriver() override;
    // Resize to the size given to the constructor. A driver that needs the buffer to exist
    // before its own start-up (a hosted player's instance) extends it.
    virtual void AfterConstruction();

    template <class D> static D* NewDriver(int width, int height, uint32_t background) {
        std::unique_ptr<D> d(new D(width, height, background));
        d->AfterConstruction();
        return d.release();
    }
    // This class as a value for driver selection.
    static const TvdFlashDriverClass& Class();
    static bool PluginExists() { return false; }

    VD_COMPONENT_IUNKNOWN

    // Buffers. Borrowed by the owner and the application until the next rebuild.
    HDC BufferDC = nullptr;
    HBITMAP BufferBitmap = nullptr;
    HDC WhiteDC = nullptr;
    HBITMAP WhiteBitmap = nullptr;
    BITMAPINFO BitmapInfo{};
    int Width = 0;
    int Height = 0;
    uint32_t* Bits = nullptr;
    uint32_t* WhiteBits = nullptr;

    TControl* Control = nullptr;  // not owned; nullptr for the off-screen component
    bool ShowUpdateRects = false;
    bool DisableFlashCursor = false;
    bool DisableFlashMenu = true;
    uint32_t Background = 0;  // top byte 0: alpha mode (white buffer too); otherwise opaque
    WideString LoadedMovie;
    bool IsFLV = false;
    WideString Skin = u"ClearOverAll";
    int Volume = 50;
    bool Pause = false;

    TvdPaintEvent OnPaint;
    TvdEraseBackgroundEvent OnEraseBackground;
    TvdFSCommandEvent OnFSCommand;
    TvdFlashCallEvent OnFlashCall;

    virtual void CreateBuffer();
    virtual void FreeBuffer();
    virtual void ResizeBuffer() {}
    virtual void SetBackground(uint32_t value);
    // Re-renders the whole buffer. The inert driver has nothing to render, so it erases the
    // whole buffer the current way (the owner's background in opaque mode, transparent in
    // alpha mode) and reports it painted: colour and transparency changes show at once.
    virtual void ForceUpdate();

    virtual void MouseDown(TMouseButton /*Button*/, TShiftState /*Shift*/, int /*X*/, int /*Y*/) {}
    virtual void MouseMove(TShiftState /*Shift*/, int /*X*/, int /*Y*/) {}
    virtual void MouseUp(TMouseButton /*Button*/, TShiftState /*Shift*/, int /*X*/, int /*Y*/) {}
    virtual void MouseWheel(TShiftState /*Shift*/, int /*X*/, int /*Y*/, int /*WheelDelta*/, bool& /*Handled*/) {}
    virtual void KeyDown(WORD& /*Key*/, TShiftState /*Shift*/) {}
    virtual void KeyPress(char16_t& /*Key*/, TShiftState /*Shift*/) {}
    virtual void KeyUp(WORD& /*Key*/, TShiftState /*Shift*/) {}

    void LoadMovie(const WideString& /*URL*/) override {}
    void LoadMovieFromStream(TStream* /*Stream*/) override {}
    WideString GetVariable(const WideString& /*Name*/) override { return {}; }
    void SetVariable(const WideString& /*Name*/, const WideString& /*Value*/) override {}
    WideString CallFunction(const WideString& /*Request*/) override { return {}; }
    void SetReturnValue(const WideString& /*Value*/) override {}
    void Play() override {}
    void StopPlay() override {}
    void Rewind() override {}
    void Forward() override {}
    void Back() override {}
    bool GetLoop() override { return false; }
    bool GetIsPlaying() override { return false; }
    int GetCurrentFrame() override { return 0; }
    int GetTotalFrames() override { return 0; }
    void SetLoop(bool /*Value*/) override {}
    void SetCurrentFrame(int /*Frame*/) override {}

    // Changes the buffer size. A size the buffer cannot have (BufferSizeAllowed), or one the
    // system refuses, leaves no buffer: Width and Height 0, Bits nil, nothing painted or
    // reported. The same size again does nothing.
    void Resize(int width, int height);
    // The window the hosted player treats as its host, never creating one: the control's own
    // window, or a graphic control's parent window; 0 when there is none yet.
    HWND GetParentHandle() const;
    // Where the control sits in that window: a graphic control's position, else (0, 0).
    TPoint GetParentOffset() const;
    // Outlines a re-rendered rectangle in red when ShowUpdateRects is set.
    void DrawUpdateRect(const TRect& rect);
    void DoFSCommand(const WideString& command, const WideString& args);
    void DoFlashCall(const WideString& request);
    void SetPause(bool value);
    void SetVolume(int value);

    // ---- Re-entry -------------------------------------------------------------------------
    // Held on the stack while the driver is inside a call into the hosted player or into an
    // application handler (a call-out), or while the hosted player's call into the driver runs
    // (a call-in): the driver outlives every such frame. Freeing the driver inside one detaches
    // it at once; the teardown runs when the outermost frame has ended (after a call-in, on the
    // next turn of the message loop, so the hosted player has left its own call first).
    enum class TCallKind {
        Own,         // a frame of the driver's own (an operation, a handler, a paint)
        Player,      // a call into the hosted player
        FromPlayer,  // the hosted player's call into the driver
    };
    class TCallGuard {
    public:
        explicit TCallGuard(TvdFlashDriver& driver, TCallKind kind = TCallKind::Own);
        ~TCallGuard();
        TCallGuard(const TCallGuard&) = delete;
        TCallGuard& operator=(const TCallGuard&) = delete;

    private:
        TvdFlashDriver& driver_;
        TCallKind kind_;
        bool outermostCallIn_;
    };
    // Frees `driver` now, or, inside a call-out or call-in, detaches it and frees it later.
    static void Free(TvdFlashDriver* driver);
    // Freed by its owner while inside a call: no event reaches the application any more, and
    // code after a call-out leaves the driver's state alone.
    bool Detached() const { return detached_; }
    // The hosted player is inside a call of its own (ours into it, or its into us).
    bool InsidePlayerCall() const { return playerDepth_ > 0; }
    // Runs the deferred teardowns and work whose time has come (the message loop's timer does).
    static void RunDeferred();

protected:
    // Cuts the driver off from the application: handlers, control. Drivers with events of their
    // own extend it.
    virtual void Detach();
    // The first thing a driver's destructor does: detached, and no guard of the teardown's own
    // calls starts another teardown.
    void BeginTeardown();
    // Work a driver left for when no call is running any more (instances retired inside a
    // call). Called with no guard held.
    virtual void AfterCalls();
    // Asks for AfterCalls when the outermost guarded call ends (or at once on the message loop
    // when there is none).
    void WantAfterCalls();
    // One paint pass at a time: `pass` paints `area`; an invalidation that arrives while a pass
    // runs only grows the pending area, painted by the next pass once this one is over (after
    // a few passes in a row, on the message loop's next turn).
    void PaintPasses(const TRect& area, const std::function<void(const TRect&)>& pass);

private:
    void CallsEnded(bool callIn);
    int callDepth_ = 0;
    int playerDepth_ = 0;
    bool detached_ = false;
    bool freePending_ = false;
    bool dying_ = false;
    bool afterCalls_ = false;
    bool painting_ = false;
    bool paintPending_ = false;
    bool paintLater_ = false;
    TRect pendingPaint_{};

    std::unique_ptr<TDibSection> buffer_;
    std::unique_ptr<TDibSection> white_;
    int initialWidth_;
    int initialHeight_;
};

// Owners free drivers through Free: never inside a call of the driver's own.
struct TvdDriverDeleter {
    void operator()(TvdFlashDriver* driver) const { TvdFlashDriver::Free(driver); }
};
using TvdDriverPtr = std::unique_ptr<TvdFlashDriver, TvdDriverDeleter>;

template <class D> TvdFlashDriverClass MakeFlashDriverClass(const char* name) {
    return TvdFlashDriverClass{name, &D::PluginExists, [](int w, int h, uint32_t bg) -> TvdFlashDriver* {
                                   return TvdFlashDriver::NewDriver<D>(w, h, bg);
                               }};
}

// ---------------------------------------------------------------------------------------
// What every player is towards its driver: the owner of exactly one, whose movie operations
// go to it as they are (a player without a driver answers empty, False or 0), and whose
// settings are read from and written to it. The movie's name, the Plugin choice and the
// application's movie events stay with the player: a new driver gets them. Each player class
// is a component as well; the owner reads the component's state through it.
class TvdDriverOwner : public IvdFlash {
public:
    VD_COMPONENT_IUNKNOWN
    TvdFlashDriver* Driver() const { return driver_.get(); }

    // Settings that live in the driver: read from it (False, 0 or empty without one) and
    // written to it (nothing without one). A Plugin change starts them from the driver's
    // defaults again.
    bool GetDisableFlashCursor() const { return driver_ && driver_->DisableFlashCursor; }
    void SetDisableFlashCursor(bool value);
    bool GetDisableFlashMenu() const { return driver_ && driver_->DisableFlashMenu; }
    void SetDisableFlashMenu(bool value);
    bool GetShowUpdateRects() const { return driver_ && driver_->ShowUpdateRects; }
    void SetShowUpdateRects(bool value);
    // Takes effect at the next video load.
    std::string GetSkin() const;
    void SetSkin(const std::string& value);
    bool GetPause() const { return driver_ && driver_->Pause; }
    void SetPause(bool value);
    int GetVolume() const { return driver_ ? driver_->Volume : 0; }
    void SetVolume(int value);

    TvdPlugin GetPlugin() const { return plugin_; }
    // A different value replaces the driver, which loads Movie again.
    void SetPlugin(TvdPlugin value);
    const WideString& GetMovie() const { return movie_; }
    void SetMovie(const WideString& value) { LoadMovie(value); }
    const TvdFSCommandEvent& GetOnFSCommand() const { return onFSCommand_; }
    void SetOnFSCommand(const TvdFSCommandEvent& value);
    const TvdFlashCallEvent& GetOnFlashCall() const { return onFlashCall_; }
    void SetOnFlashCall(const TvdFlashCallEvent& value);

    // Remembers the name; loads it unless the form is still being read (Loaded does it
    // then). In the designer the movie is paused after each load.
    void LoadMovie(const WideString& URL) override;
    void LoadMovieFromStream(TStream* Stream) override;
    WideString GetVariable(const WideString& Name) override;
    void SetVariable(const WideString& Name, const WideString& Value) override;
    WideString CallFunction(const WideString& Request) override;
    void SetReturnValue(const WideString& Value) override;
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
    TvdDriverOwner() = default;
    ~TvdDriverOwner() = default;
    // Replaces the driver through ChangePlugin with the player's own arguments.
    virtual void RecreateDriver() = 0;
    // After the form is read: the remembered movie is loaded and the events reach the driver.
    void LoadStoredMovie();

    TvdDriverPtr driver_;
    WideString movie_;
    TvdPlugin plugin_ = vdDefault;
    TvdFSCommandEvent onFSCommand_;
    TvdFlashCallEvent onFlashCall_;

private:
    bool ComponentLoading() const;
    bool ComponentDesigning() const;
};

// ---------------------------------------------------------------------------------------
// Driver selection.

// The class vdDefault uses when it is available. Set to TvdFlashDriver by the player unit's
// initialization; the ActiveX check may make it the ActiveX driver; applications may set it.
extern const TvdFlashDriverClass* DefaultFlashDriverClass;
// The Netscape-plugin and ActiveX driver classes, registered by their units when they start.
// nullptr until then: selection treats a missing class as unavailable.
extern const TvdFlashDriverClass* FlashDriverNSClass;
extern const TvdFlashDriverClass* FlashDriverActiveXClass;
// The ActiveX availability check. The ActiveX driver unit installs the probe that tries to
// create the Flash control; until it does, CheckFlashPlugins finds nothing.
TvdActiveXCheck& FlashActiveXCheck();
extern uint32_t MainWnd;

// Runs the once-per-process ActiveX availability check. Every player constructor calls it.
void CheckFlashPlugins();

// Frees `driver`, creates the driver class chosen for `plugin` with the size and
// background, wires it to the control and the four handlers, erases its buffer through
// onEraseBackground, loads `movie` (also when empty) and invalidates the control.
// A driver constructor that throws leaves `driver` nullptr.
void ChangePlugin(TvdDriverPtr& driver, TvdPlugin plugin, WideString movie, int width, int height, uint32_t background,
                  TControl* control, TvdPaintEvent onPaint, TvdEraseBackgroundEvent onEraseBackground,
                  TvdFSCommandEvent onFSCommand, TvdFlashCallEvent onFlashCall);

// The opaque pixel of a framework colour.
inline uint32_t ColorToOpaquePixel(TColor color) { return ColorToPixel(ColorToRGB(color)); }

}  // namespace vd
