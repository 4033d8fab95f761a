#include "vd_flashdriver.h"

#include <algorithm>
#include <string>
#include <vector>

#include "vd_winstr.h"

namespace vd {

VD_DEFINE_CLASS(TvdFlashDriver)

// ---------------------------------------------------------------------------------------
// Re-entry: drivers with teardowns or work left for the message loop's next turn.

namespace {

std::vector<TvdFlashDriver*>& Deferred() {
    static std::vector<TvdFlashDriver*> drivers;
    return drivers;
}
// Taken from Deferred() by a run, handled one at a time (a handler may free one of them).
std::vector<TvdFlashDriver*>& Running() {
    static std::vector<TvdFlashDriver*> drivers;
    return drivers;
}
UINT_PTR deferredTimer = 0;

void CALLBACK DeferredTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    try {
        TvdFlashDriver::RunDeferred();
    } catch (...) {}
}

void Defer(TvdFlashDriver* driver) {
    auto& list = Deferred();
    if (std::find(list.begin(), list.end(), driver) == list.end()) list.push_back(driver);
    // A thread timer needs no window: it comes with the thread's own message loop.
    if (!deferredTimer) deferredTimer = SetTimer(nullptr, 0, 0, DeferredTimerProc);
}

void Undefer(TvdFlashDriver* driver) {
    for (auto* list : {&Deferred(), &Running()})
        list->erase(std::remove(list->begin(), list->end(), driver), list->end());
}

}  // namespace

void TvdFlashDriver::RunDeferred() {
    if (deferredTimer) {
        KillTimer(nullptr, deferredTimer);
        deferredTimer = 0;
    }
    auto& running = Running();
    running.insert(running.end(), Deferred().begin(), Deferred().end());
    Deferred().clear();
    while (!running.empty()) {
        TvdFlashDriver* d = running.front();
        running.erase(running.begin());
        if (d->callDepth_ > 0) {
            // A call began since: its end takes the teardown up, a late paint waits again.
            if (d->paintLater_) Defer(d);
            continue;
        }
        if (d->freePending_) {
            delete d;
            continue;
        }
        if (d->afterCalls_) {
            d->afterCalls_ = false;
            d->AfterCalls();
        }
        if (d->paintLater_ && !d->detached_) {
            d->paintLater_ = false;
            d->ForceUpdate();
        }
    }
}

TvdFlashDriver::TCallGuard::TCallGuard(TvdFlashDriver& driver, TCallKind kind)
    : driver_(driver), kind_(kind), outermostCallIn_(kind == TCallKind::FromPlayer && driver.callDepth_ == 0) {
    ++driver_.callDepth_;
    if (kind_ != TCallKind::Own) ++driver_.playerDepth_;
}

TvdFlashDriver::TCallGuard::~TCallGuard() {
    if (kind_ != TCallKind::Own) --driver_.playerDepth_;
    if (--driver_.callDepth_ == 0) driver_.CallsEnded(outermostCallIn_);
}

void TvdFlashDriver::CallsEnded(bool callIn) {
    if (dying_ || (!freePending_ && !afterCalls_)) return;
    if (callIn) {
        // The hosted player is still inside the call it made: the work waits for it to leave.
        Defer(this);
        return;
    }
    if (freePending_) {
        delete this;
        return;
    }
    afterCalls_ = false;
    AfterCalls();
}

void TvdFlashDriver::Free(TvdFlashDriver* driver) {
    if (!driver) return;
    if (driver->callDepth_ == 0) {
        delete driver;
        return;
    }
    driver->Detach();
    driver->freePending_ = true;
}

void TvdFlashDriver::Detach() {
    detached_ = true;
    OnPaint = nullptr;
    OnEraseBackground = nullptr;
    OnFSCommand = nullptr;
    OnFlashCall = nullptr;
    Control = nullptr;
}

void TvdFlashDriver::AfterCalls() {}

void TvdFlashDriver::BeginTeardown() {
    TvdFlashDriver::Detach();
    dying_ = true;
}

void TvdFlashDriver::WantAfterCalls() {
    afterCalls_ = true;
    if (callDepth_ == 0) Defer(this);
}

void TvdFlashDriver::PaintPasses(const TRect& area, const std::function<void(const TRect&)>& pass) {
    if (area.Right <= area.Left || area.Bottom <= area.Top) return;
    if (painting_) {
        // Never a pass inside a pass: it would switch the drawable and recover alpha twice.
        pendingPaint_ =
            paintPending_
                ? TRect{std::min(pendingPaint_.Left, area.Left), std::min(pendingPaint_.Top, area.Top),
                        std::max(pendingPaint_.Right, area.Right), std::max(pendingPaint_.Bottom, area.Bottom)}
                : area;
        paintPending_ = true;
        return;
    }
    TCallGuard guard(*this);
    struct Painting {
        bool& flag;
        ~Painting() { flag = false; }
    } painting{painting_};
    painting_ = true;
    // A player that invalidates in every pass would keep us here: a few passes, then the rest
    // waits for the message loop.
    constexpr int kPassesInARow = 4;
    TRect next = area;
    for (int i = 0; i < kPassesInARow; ++i) {
        pass(next);
        if (detached_ || !paintPending_) return;
        next = pendingPaint_;
        paintPending_ = false;
    }
    if (paintPending_) {
        paintPending_ = false;
        paintLater_ = true;
        Defer(this);
    }
}

TvdFlashDriver::TvdFlashDriver(int width, int height, uint32_t background)
    : TComponent(nullptr), Background(background), initialWidth_(width), initialHeight_(height) {}

TvdFlashDriver::~TvdFlashDriver() {
    dying_ = true;
    Undefer(this);
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
    // The erase handler and the hosted player run inside: the driver may be freed there.
    const TCallGuard guard(*this);
    FreeBuffer();
    Width = width;
    Height = height;
    CreateBuffer();
    if (Detached()) return;
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
        const TCallGuard guard(*this);
        FreeBuffer();
        CreateBuffer();
    }
}

void TvdFlashDriver::ForceUpdate() {
    if (!Bits) return;
    const TRect all = Rect(0, 0, Width, Height);
    TCallGuard guard(*this);
    if ((Background >> 24) == 0) FillLongword(Bits, Width * Height, 0);
    else if (const TvdEraseBackgroundEvent erase = OnEraseBackground) erase(this, all);
    if (Detached()) return;
    if (const TvdPaintEvent paint = OnPaint) paint(this, all);
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
    TCallGuard guard(*this);
    if (const TvdFSCommandEvent handler = OnFSCommand) handler(this, command, args);
}

void TvdFlashDriver::DoFlashCall(const WideString& request) {
    TCallGuard guard(*this);
    if (const TvdFlashCallEvent handler = OnFlashCall) handler(this, request);
}

void TvdFlashDriver::SetPause(bool value) {
    const TCallGuard guard(*this);  // a handler inside the first call may free the driver
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

// A handler running inside the load may free this player: after the call only the driver,
// held by the guard, is asked whether it is still ours.
void TvdDriverOwner::LoadMovie(const WideString& URL) {
    movie_ = URL;
    if (!driver_ || ComponentLoading()) return;
    TvdFlashDriver* d = driver_.get();
    const bool designing = ComponentDesigning();
    const TvdFlashDriver::TCallGuard guard(*d);
    d->LoadMovie(WideString(URL));
    if (designing && !d->Detached()) d->SetPause(true);
}

void TvdDriverOwner::LoadMovieFromStream(TStream* Stream) {
    movie_.clear();
    if (!driver_ || ComponentLoading()) return;
    TvdFlashDriver* d = driver_.get();
    const bool designing = ComponentDesigning();
    const TvdFlashDriver::TCallGuard guard(*d);
    d->LoadMovieFromStream(Stream);
    if (designing && !d->Detached()) d->SetPause(true);
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

void ChangePlugin(TvdDriverPtr& driver, TvdPlugin plugin, WideString movie, int width, int height, uint32_t background,
                  TControl* control, TvdPaintEvent onPaint, TvdEraseBackgroundEvent onEraseBackground,
                  TvdFSCommandEvent onFSCommand, TvdFlashCallEvent onFlashCall) {
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
    // The handlers may free the player (and `driver` with it): only `d` is asked after them.
    const TvdFlashDriver::TCallGuard guard(*d);
    if (const TvdEraseBackgroundEvent erase = d->OnEraseBackground) erase(d, Rect(0, 0, width, height));
    if (d->Detached()) return;
    d->LoadMovie(movie);
    if (d->Detached()) return;
    if (control) control->Invalidate();
}

}  // namespace vd
