#include "vd_flashdriver.h"

#include <string>

#include "vd_winstr.h"

namespace vd {

VD_DEFINE_CLASS(TvdFlashDriver)

TvdFlashDriver::TvdFlashDriver(int width, int height, uint32_t background)
    : TComponent(nullptr), Background(background), initialWidth_(width), initialHeight_(height) {}

TvdFlashDriver::~TvdFlashDriver() {
    Control = nullptr;
    FreeBuffer();
}

void TvdFlashDriver::AfterConstruction() { Resize(initialWidth_, initialHeight_); }

const TvdFlashDriverClass& TvdFlashDriver::Class() {
    static const TvdFlashDriverClass cls = MakeFlashDriverClass<TvdFlashDriver>("TvdFlashDriver");
    return cls;
}

void TvdFlashDriver::Resize(int width, int height) {
    if (!BufferSizeAllowed(width, height)) width = height = 0;
    if (width == Width && height == Height) return;
    FreeBuffer();
    Width = width;
    Height = height;
    CreateBuffer();
    ResizeBuffer();
}

void TvdFlashDriver::CreateBuffer() {
    TvdFlashDriver::FreeBuffer();  // called twice, it must not keep an old white buffer
    // No buffer is the truth for a size it cannot have, and for one the system refuses.
    auto refuse = [this] {
        TvdFlashDriver::FreeBuffer();
        BitmapInfo = BITMAPINFO{};
        Width = Height = 0;
    };
    if (!BufferSizeAllowed(Width, Height)) return refuse();
    buffer_ = std::make_unique<TDibSection>(Width, Height);
    if (!buffer_->Valid() || !buffer_->DC()) return refuse();
    BitmapInfo = buffer_->Info();
    BufferBitmap = buffer_->Bitmap();
    BufferDC = buffer_->DC();
    Bits = buffer_->Bits();
    if ((Background >> 24) == 0) {
        white_ = std::make_unique<TDibSection>(Width, Height);
        if (!white_->Valid() || !white_->DC()) return refuse();
        WhiteBitmap = white_->Bitmap();
        WhiteDC = white_->DC();
        WhiteBits = white_->Bits();
    }
    if (OnEraseBackground) OnEraseBackground(this, Rect(0, 0, Width, Height));
}

void TvdFlashDriver::FreeBuffer() {
    if (!buffer_ && !white_) return;
    BufferDC = nullptr;
    BufferBitmap = nullptr;
    WhiteDC = nullptr;
    WhiteBitmap = nullptr;
    Bits = nullptr;
    WhiteBits = nullptr;
    white_.reset();
    buffer_.reset();
}

void TvdFlashDriver::SetBackground(uint32_t value) {
    if (value == Background) return;
    const bool modeChange = (value >> 24) != (Background >> 24);
    Background = value;
    if (modeChange) {
        FreeBuffer();
        CreateBuffer();
    }
}

void TvdFlashDriver::ForceUpdate() {
    if (!Bits) return;
    const TRect all = Rect(0, 0, Width, Height);
    if ((Background >> 24) == 0) FillLongword(Bits, Width * Height, 0);
    else if (OnEraseBackground) OnEraseBackground(this, all);
    if (OnPaint) OnPaint(this, all);
}

HWND TvdFlashDriver::GetParentHandle() const {
    if (!Control) return nullptr;
    if (Control->IsWindowed()) {
        auto* w = static_cast<TWinControl*>(Control);
        return w->HandleAllocated() ? w->Handle() : nullptr;
    }
    TWinControl* parent = Control->GetParent();
    return parent && parent->HandleAllocated() ? parent->Handle() : nullptr;
}

TPoint TvdFlashDriver::GetParentOffset() const {
    if (Control && !Control->IsWindowed()) return {Control->GetLeft(), Control->GetTop()};
    return {0, 0};
}

void TvdFlashDriver::DrawUpdateRect(const TRect& rect) {
    if (!ShowUpdateRects || !BufferDC) return;
    TCanvas canvas;
    canvas.SetHandle(BufferDC);
    canvas.Pen.Color = 255;  // pure red
    canvas.Pen.Width = 1;
    canvas.Pen.Style = psSolid;
    canvas.Brush.Style = bsClear;
    canvas.Rectangle(rect);
    GdiFlush();  // the outline is in the pixels before anyone reads them
}

// The handler runs from a copy: it may replace or clear the driver's own handler (through
// the player's OnFSCommand/OnFlashCall) while it is running.
void TvdFlashDriver::DoFSCommand(const WideString& command, const WideString& args) {
    if (const TvdFSCommandEvent handler = OnFSCommand) handler(this, command, args);
}

void TvdFlashDriver::DoFlashCall(const WideString& request) {
    if (const TvdFlashCallEvent handler = OnFlashCall) handler(this, request);
}

void TvdFlashDriver::SetPause(bool value) {
    Pause = value;
    if (value) {
        StopPlay();
        if (IsFLV) CallFunction(u"<invoke name=\"stopflv\" returntype=\"xml\"></invoke>");
    } else {
        Play();
        if (IsFLV) CallFunction(u"<invoke name=\"playflv\" returntype=\"xml\"></invoke>");
    }
}

void TvdFlashDriver::SetVolume(int value) {
    Volume = value;
    if (IsFLV) {
        const std::string text = std::to_string(value);
        SetVariable(u"flv.volume", WideString(text.begin(), text.end()));
    }
}

// ---------------------------------------------------------------------------------------
// The players' settings and movie operations

// Every player class is a component too: its state is the component's.
bool TvdDriverOwner::ComponentLoading() const {
    const auto* c = dynamic_cast<const TComponent*>(this);
    return c && c->ComponentState().Contains(csLoading);
}

bool TvdDriverOwner::ComponentDesigning() const {
    const auto* c = dynamic_cast<const TComponent*>(this);
    return c && c->ComponentState().Contains(csDesigning);
}

void TvdDriverOwner::SetDisableFlashCursor(bool value) {
    if (driver_) driver_->DisableFlashCursor = value;
}

void TvdDriverOwner::SetDisableFlashMenu(bool value) {
    if (driver_) driver_->DisableFlashMenu = value;
}

void TvdDriverOwner::SetShowUpdateRects(bool value) {
    if (driver_) driver_->ShowUpdateRects = value;
}

std::string TvdDriverOwner::GetSkin() const { return driver_ ? WideToAnsi(driver_->Skin) : std::string(); }

void TvdDriverOwner::SetSkin(const std::string& value) {
    if (driver_) driver_->Skin = AnsiToWide(value);
}

void TvdDriverOwner::SetPause(bool value) {
    if (driver_) driver_->SetPause(value);
}

void TvdDriverOwner::SetVolume(int value) {
    if (driver_) driver_->SetVolume(value);
}

void TvdDriverOwner::SetPlugin(TvdPlugin value) {
    if (value == plugin_) return;
    plugin_ = value;
    // A form stores DisableFlashCursor and DisableFlashMenu before Plugin: while it is read,
    // they are carried over to the new driver, or the stored values would be lost.
    const bool carry = ComponentLoading() && driver_;
    const bool cursor = GetDisableFlashCursor(), menu = GetDisableFlashMenu();
    RecreateDriver();
    if (carry && driver_) {
        driver_->DisableFlashCursor = cursor;
        driver_->DisableFlashMenu = menu;
    }
}

// A handler assigned by code reaches the driver at once; waiting for Loaded or a Plugin
// change would lose the movie's events in between (and forever on a player made by code).
void TvdDriverOwner::SetOnFSCommand(const TvdFSCommandEvent& value) {
    onFSCommand_ = value;
    if (driver_) driver_->OnFSCommand = value;
}

void TvdDriverOwner::SetOnFlashCall(const TvdFlashCallEvent& value) {
    onFlashCall_ = value;
    if (driver_) driver_->OnFlashCall = value;
}

void TvdDriverOwner::LoadMovie(const WideString& URL) {
    movie_ = URL;
    if (!driver_ || ComponentLoading()) return;
    driver_->LoadMovie(movie_);
    if (ComponentDesigning()) driver_->SetPause(true);
}

void TvdDriverOwner::LoadMovieFromStream(TStream* Stream) {
    movie_.clear();
    if (!driver_ || ComponentLoading()) return;
    driver_->LoadMovieFromStream(Stream);
    if (ComponentDesigning()) driver_->SetPause(true);
}

void TvdDriverOwner::LoadStoredMovie() {
    LoadMovie(movie_);
    if (driver_) {
        driver_->OnFSCommand = onFSCommand_;
        driver_->OnFlashCall = onFlashCall_;
    }
}

WideString TvdDriverOwner::GetVariable(const WideString& Name) {
    return driver_ ? driver_->GetVariable(Name) : WideString();
}
void TvdDriverOwner::SetVariable(const WideString& Name, const WideString& Value) {
    if (driver_) driver_->SetVariable(Name, Value);
}
WideString TvdDriverOwner::CallFunction(const WideString& Request) {
    return driver_ ? driver_->CallFunction(Request) : WideString();
}
void TvdDriverOwner::SetReturnValue(const WideString& Value) {
    if (driver_) driver_->SetReturnValue(Value);
}
void TvdDriverOwner::Play() {
    if (driver_) driver_->Play();
}
void TvdDriverOwner::StopPlay() {
    if (driver_) driver_->StopPlay();
}
void TvdDriverOwner::Rewind() {
    if (driver_) driver_->Rewind();
}
void TvdDriverOwner::Forward() {
    if (driver_) driver_->Forward();
}
void TvdDriverOwner::Back() {
    if (driver_) driver_->Back();
}
bool TvdDriverOwner::GetLoop() { return driver_ && driver_->GetLoop(); }
bool TvdDriverOwner::GetIsPlaying() { return driver_ && driver_->GetIsPlaying(); }
int TvdDriverOwner::GetCurrentFrame() { return driver_ ? driver_->GetCurrentFrame() : 0; }
int TvdDriverOwner::GetTotalFrames() { return driver_ ? driver_->GetTotalFrames() : 0; }
void TvdDriverOwner::SetLoop(bool Value) {
    if (driver_) driver_->SetLoop(Value);
}
void TvdDriverOwner::SetCurrentFrame(int Frame) {
    if (driver_) driver_->SetCurrentFrame(Frame);
}

// ---------------------------------------------------------------------------------------
// Driver selection

const TvdFlashDriverClass* DefaultFlashDriverClass = nullptr;
const TvdFlashDriverClass* FlashDriverNSClass = nullptr;
const TvdFlashDriverClass* FlashDriverActiveXClass = nullptr;
uint32_t MainWnd = 0;

TvdActiveXCheck& FlashActiveXCheck() {
    static TvdActiveXCheck check;
    return check;
}

void CheckFlashPlugins() { FlashActiveXCheck().Run(DefaultFlashDriverClass, FlashDriverActiveXClass); }

void ChangePlugin(std::unique_ptr<TvdFlashDriver>& driver, TvdPlugin plugin, WideString movie, int width, int height,
                  uint32_t background, TControl* control, TvdPaintEvent onPaint,
                  TvdEraseBackgroundEvent onEraseBackground, TvdFSCommandEvent onFSCommand,
                  TvdFlashCallEvent onFlashCall) {
    // `movie` is our own copy: the old driver going away cannot take it with it. reset() lets
    // go of the old driver before freeing it, so nothing reaches it while it goes.
    driver.reset();
    const TvdFlashDriverClass& cls = ChooseFlashDriverClass(plugin, DefaultFlashDriverClass, FlashDriverActiveXClass,
                                                            FlashDriverNSClass, TvdFlashDriver::Class());
    driver.reset(cls.Create(width, height, background));
    TvdFlashDriver* d = driver.get();
    d->Control = control;
    d->OnPaint = std::move(onPaint);
    d->OnEraseBackground = std::move(onEraseBackground);
    d->OnFSCommand = std::move(onFSCommand);
    d->OnFlashCall = std::move(onFlashCall);
    if (d->OnEraseBackground) d->OnEraseBackground(d, Rect(0, 0, width, height));
    d->LoadMovie(movie);
    if (control) control->Invalidate();
}

}  // namespace vd
