// The reference player's engine: one Player per hosted instance (plugin instance or control),
// shared by the NPAPI and the ActiveX front ends. It keeps the movie model (frames, labels,
// FSCommands, callbacks), playback state, variables and the built-in video player behaviour,
// and tells its front end what to ask of the host: data requests, invalidated areas,
// FSCommands and external calls. The movie itself is played and drawn by the SWF engine
// (vd_swf) into premultiplied pixels; the front ends put those pixels on the host's device
// context. Platform-free.
#pragma once

#include "rp_extxml.h"
#include "rp_movie.h"
#include "vd_swf.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vd::rp {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

// Failures a host must survive, switched on by name ("no_newp,version7,loadmovie_hr=...").
struct Faults {
    bool noNewp = false;              // NP_GetEntryPoints leaves NPP_New out
    bool newFails = false;            // NPP_New answers an error and creates nothing
    bool noScriptable = false;        // no scriptable object / IDispatch scripting refused
    bool newStreamRefuses = false;    // NPP_NewStream answers an error
    bool scriptFails = false;         // scripting calls answer failure
    bool version7 = false;            // FlashVersion reports major 7
    bool setClientSiteFirst = false;  // OLEMISC_SETCLIENTSITEFIRST
    bool invisibleAtRuntime = false;  // OLEMISC_INVISIBLEATRUNTIME
    bool noWindowless = false;        // in-place activation without the windowless interfaces
    bool noViewObject = false;        // no IViewObject
    bool ignoresInput = false;        // OnWindowMessage consumes no message (answers S_FALSE)
    uint32_t loadMovieHr = 0;         // LoadMovie answers this failure (0: succeeds)
    bool handlerRaises = false;       // scripting calls raise (an exception the host must catch)
    bool raisesOnce = false;          // only the first scripting call raises (a retry succeeds)
    bool fullTable = false;           // NP_GetEntryPoints fills the newest plugin table (20 entries)
    bool keepStream = false;          // a bound stream is kept and read only once the bind call returned
    bool wrongTypes = false;          // IDispatch answers in other VARIANT types (numbers as text, ...)
    bool lateRelease = false;         // keeps the site's objects past its end, for vdrp_CallKept
    bool onlyOleObject = false;       // answers no interface but IUnknown and IOleObject
    bool noMainInterface = false;     // no IvdFlashPlayer (nor its extension)
    bool windowedOnly = false;        // no windowless support; activation needs the site's window
    bool drawFails = false;           // every draw scribbles over its bounds and answers E_FAIL
    bool noErrorInfo = false;         // no ISupportErrorInfo (a raised error's text is left all the same)
    bool entryPointsFail = false;     // NP_GetEntryPoints answers an error
    bool initializeFails = false;     // NP_Initialize answers an error
    bool otherTypes = false;          // NPAPI queries answer another type: numbers Double, Booleans Int32
    // Hostile players: from inside the host's call of the named kind (paint, input, invoke,
    // setwindow, newstream, writeready, write, destroystream, urlnotify; the control: paint,
    // input, invoke, bind) the movie sends an FSCommand "hostile" with the kind as its argument,
    // or calls the host's function "hostile" with it, as a movie's script would at any moment.
    std::string fsCommandIn;           // fscommand_in=<kind>
    std::string flashCallIn;           // flashcall_in=<kind>
    bool invalidateInPaint = false;    // every other paint invalidates the whole stage from inside
    int32_t writeReady = -1;           // write_ready=N: NPP_WriteReady answers N (-1: all it is given)
    bool writeRefuses = false;         // NPP_Write answers -1
    std::vector<std::string> unknown;  // names not understood, journaled by the front ends

    // Whether a hostile call is asked for inside a call of `kind`.
    bool HostileIn(std::string_view kind) const { return fsCommandIn == kind || flashCallIn == kind; }

    static Faults Parse(std::string_view list);
};

// Calls of the engine into its host, made by the front end in its own protocol.
class PlayerHost {
public:
    virtual ~PlayerHost() = default;
    virtual void RequestUrl(const std::string& url) = 0;
    virtual void Invalidate(const Rect& area) = 0;
    virtual void FSCommand(const std::string& command, const std::string& args) = 0;
    // The host's answer text (external-interface XML, or empty).
    virtual std::string ExternalCall(const std::string& name, const std::vector<ExtValue>& args) = 0;
};

// How the stage is fitted into the area it is drawn in (the control's Scale / ScaleMode, the
// plugin's "scale" parameter): ShowAll keeps the movie's proportions and shows all of it,
// centred; NoBorder keeps them and fills the area, cropping; ExactFit stretches; NoScale draws
// at the movie's own size, centred.
enum class ScaleMode { ShowAll, NoBorder, ExactFit, NoScale };
// By name, as the control and the plugin parameters spell them (any case, "showall" and
// "show all" alike); `fallback` for a name that is none of them.
ScaleMode ScaleModeOf(std::string_view name, ScaleMode fallback = ScaleMode::ShowAll);
// The control's and the plugin's quality names: Low and AutoLow draw without anti-aliasing,
// Medium, High, AutoHigh and Best with it; an unknown name is High.
swf::Quality QualityOf(std::string_view name);

// Stage pixels to area pixels.
struct StageFit {
    double scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;
};
StageFit FitStage(int stageWidth, int stageHeight, int width, int height, ScaleMode mode);

// Where and in which colours the stand-in picture of media the engine does not draw (a video
// played on its own) is drawn inside an area of the given size. Outside panel and bar the area
// is left untouched (its corners stay whatever the host put there).
struct Picture {
    Rect panel;               // half-transparent: colour drawn at 50% coverage
    uint32_t panelColor = 0;  // 0xRRGGBB
    Rect track;               // opaque bar background
    uint32_t trackColor = 0;
    Rect fill;  // opaque part of the bar: frame/total of the track
    uint32_t fillColor = 0;
};

class Player {
public:
    explicit Player(PlayerHost& host, int majorVersion = 10);

    // Loading. LoadMovie replaces the movie on layer 0 and asks the host for the URL exactly
    // as given; data that arrives for that URL becomes the movie, other data is kept.
    void LoadMovie(int layer, const std::string& url);
    void DataArrived(const std::string& url, const std::vector<uint8_t>& data);
    // The URL the player waits for on layer 0 (empty when none).
    const std::string& PendingMovieUrl() const { return pendingUrl_; }
    bool HasMovie() const { return hasMovie_; }
    const MovieInfo& Movie() const { return movie_; }
    const std::string& MovieUrl() const { return movieUrl_; }
    // Media received that did not become the movie, by URL.
    const std::map<std::string, std::vector<uint8_t>>& Media() const { return media_; }

    // Scripting.
    std::string GetVariable(const std::string& name) const;
    bool HasVariable(const std::string& name) const { return vars_.count(name) != 0; }
    void SetVariable(const std::string& name, const std::string& value);
    // The answer to an external-interface request: the called function's XML result, the
    // empty string for an unknown function or a request that is not well-formed.
    std::string CallFunction(const std::string& request);
    bool HasFunction(const std::string& name) const;
    // The movie calls a host function; the answer is what the host returned.
    std::string CallHost(const std::string& name, const std::vector<ExtValue>& args);
    void FireFSCommand(const std::string& command, const std::string& args);
    int FlashVersion() const { return major_ << 16; }

    // Playback; frames are 0-based as the control counts them.
    void Play();
    void StopPlay();
    void Rewind();
    void Forward();
    void Back();
    void GotoFrame(int frame);
    int CurrentFrame() const { return frame_; }
    int TotalFrames() const { return hasMovie_ ? movie_.frameCount : 0; }
    bool IsPlaying() const { return playing_; }
    bool Loop() const { return loop_; }
    void SetLoop(bool loop) { loop_ = loop; }
    // Milliseconds between frames at the movie's rate (12 fps when it gives none).
    int FrameInterval() const;
    // One timer tick: the next frame while playing (wrapping when looping, else stopping on
    // the last). True when the frame changed.
    bool Step();

    // The built-in video player.
    bool IsVideoPlayer() const { return videoPlayer_; }
    bool VideoPlaying() const { return videoPlaying_; }
    int Volume() const { return volume_; }

    // Drawing: the extent the picture is laid out in (the host's drawable or object rect).
    void SetExtent(int width, int height);
    int ExtentWidth() const { return extentW_; }
    int ExtentHeight() const { return extentH_; }
    // How the movie is drawn; a change repaints the whole extent. Transparent (the hosts'
    // windowless "transparent" mode) leaves the movie's background colour out, so what the
    // movie does not cover stays untouched.
    void SetQuality(swf::Quality quality);
    void SetScaleMode(ScaleMode mode);
    void SetTransparent(bool transparent);
    swf::Quality DrawQuality() const { return quality_; }
    ScaleMode DrawScale() const { return scale_; }
    bool Transparent() const { return transparent_; }
    // True when the engine draws the current movie (a SWF it could read); other media keep the
    // stand-in picture of Layout.
    bool DrawsMovie() const { return stage_ != nullptr; }
    // The current frame drawn into width x height premultiplied 0xAARRGGBB pixels, rows
    // top-down, zero where nothing was drawn. Kept until the frame, the settings or the size
    // change, so the over-black and over-white paints of one frame draw it once. Empty when
    // DrawsMovie() is false or the size is empty.
    const std::vector<uint32_t>& Render(int width, int height);
    // The engine's stage (null when it does not draw the movie), and the skin the built-in
    // video player shows along its bottom (null until one arrived).
    const swf::Stage* EngineStage() const { return stage_.get(); }
    const swf::Stage* SkinStage() const { return skin_.get(); }
    // Why the engine did not take the movie (empty when it did or no SWF came).
    const std::string& EngineError() const { return engineError_; }
    Picture Layout(int width, int height) const;
    Rect BarArea() const;

private:
    void ShowFrame(int frame, bool fireActions);
    void InvalidateAll();
    void Changed();  // the picture differs from the one kept: repaint all

    // The engine's stage follows the timeline: one frame on is NextFrame (sprites keep their
    // own playing), anything else a GotoFrame.
    void SyncStage(int frame);

    PlayerHost& host_;
    int major_;
    std::string pendingUrl_;
    bool hasMovie_ = false;
    MovieInfo movie_;
    std::string movieUrl_;
    std::map<std::string, std::vector<uint8_t>> media_;
    std::map<std::string, std::string> vars_;
    std::vector<std::string> functions_;
    int frame_ = 0;
    bool playing_ = false;
    bool loop_ = true;
    bool videoPlayer_ = false;
    bool videoPlaying_ = false;
    int volume_ = 100;
    int extentW_ = 0, extentH_ = 0;
    unsigned generation_ = 0;  // counts movie replacements, so a frame's actions stop with it
    std::unique_ptr<swf::Stage> stage_;
    std::unique_ptr<swf::Stage> skin_;
    std::string engineError_;
    swf::Quality quality_ = swf::Quality::High;
    ScaleMode scale_ = ScaleMode::ShowAll;
    bool transparent_ = false;
    // The last frame drawn and what it was drawn for.
    std::vector<uint32_t> picture_;
    unsigned version_ = 0, pictureVersion_ = ~0u;
    int pictureW_ = 0, pictureH_ = 0;
};

// Every call an instance received, in order, one line each; read and cleared by tests.
class Journal {
public:
    void Add(std::string line);
    std::string Text() const;  // lines joined with '\n', each ended by '\n'
    std::vector<std::string> Lines() const;
    void Clear();

private:
    mutable std::mutex mu_;
    std::vector<std::string> lines_;
};

// Lines quoting texts: control characters and backslashes escaped so one call is one line.
std::string JournalQuote(std::string_view text);

}  // namespace vd::rp
