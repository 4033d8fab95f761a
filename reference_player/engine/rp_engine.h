// The reference player's engine: one Player per hosted instance (plugin instance or control),
// shared by the NPAPI and the ActiveX front ends. It keeps the movie model (frames, labels,
// FSCommands, callbacks), playback state, variables and the built-in video player behaviour,
// and tells its front end what to ask of the host: data requests, invalidated areas,
// FSCommands and external calls. Platform-free; the front ends do the drawing and the calls.
#pragma once

#include "rp_extxml.h"
#include "rp_movie.h"

#include <cstdint>
#include <map>
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

// Where and in which colours one frame is drawn inside an area of the given size. Outside
// panel and bar the area is left untouched (its corners stay whatever the host put there).
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
    Picture Layout(int width, int height) const;
    Rect BarArea() const;

private:
    void ShowFrame(int frame, bool fireActions);
    void InvalidateAll();

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
