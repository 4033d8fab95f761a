// SWF display-list engine: reads a movie into an immutable dictionary and timeline, plays it on a
// stage and draws the stage into premultiplied 32-bit pixels (0xAARRGGBB). Platform-free: no
// Win32, so it is built natively under the sanitizers, fuzzed, and linked by the player DLLs.
//
// What is drawn: shapes (DefineShape 1-4, DefineMorphShape 1-2) with solid, gradient and bitmap
// fills and line styles; bitmaps (DefineBits with JPEGTables, DefineBitsJPEG 2-4 with alpha,
// DefineBitsLossless 1-2); static text (DefineText 1-2 with DefineFont 1-3 glyphs); sprites
// with timelines of their own; buttons in their up state (they do not answer the mouse); masks
// (clip depth); colour transforms; the frames of bordered edit texts; the drop shadow, glow,
// bevel, gradient glow, gradient bevel, blur and colour matrix filters of a placed object
// (convolution is read and passed over) and its blend mode (alpha and erase act within the
// nearest layer, and show nothing straight on the opaque stage). Everything else (scripts, edit
// text's text, video, sound) is skipped and counted per tag code: a movie never fails to load
// because of a tag it does not draw.
//
// Limits that keep hostile movies harmless (a movie past a limit loads with the offending part
// dropped; only a damaged header or body refuses the whole movie):
//   - body: kMaxBodyBytes decompressed (the header's length is not trusted past it);
//   - dictionary: character ids 0..65535, at most kMaxCharacters definitions;
//   - shapes: at most kMaxEdgesPerShape edges and kMaxStylesPerShape fill/line styles a shape;
//     coordinates are SWF's own (at most 31 signed bits of twips), transformed points are
//     clamped to +-kMaxCoordinate pixels before rasterizing;
//   - timelines: at most kMaxFrames frames a timeline, kMaxDepth depths are kept;
//   - sprites: nesting drawn at most kMaxNesting levels deep (a sprite placing itself, directly
//     or not, stops there);
//   - bitmaps: at most kMaxBitmapSide pixels a side and kMaxBitmapPixels pixels each;
//   - work per frame: a render stops adding edges after kMaxEdgesPerRender flattened edges, and
//     a timeline frame keeps at most kMaxTagsPerStep control tags, a stage holds at most
//     kMaxInstances live display objects (sprites included) at once, and one step of a stage
//     (its start, a frame forward, a goto) carries out at most kMaxTimelineWork control tags,
//     its sprites' included (a sprite replacing itself over and over stops there);
//   - filters: an object's picture is widened by at most kMaxFilterSpread pixels a side for its
//     filters (blur and shadow distance past it are cut), and a render spends at most
//     kMaxFilterWork pixel passes on filters and on the layers of filtered and blended objects,
//     nested layers sharing it (a filter past that is not applied, an object whose layer is
//     past it is drawn without one); a pixel of a layer, and of each filter's planes, counts
//     kLayerPixelWork passes besides, as fresh memory cleared, filled and read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vd::swf {

inline constexpr size_t kMaxBodyBytes = 64u << 20;
inline constexpr int kMaxCharacters = 65536;
inline constexpr int kMaxEdgesPerShape = 1 << 20;
inline constexpr int kMaxStylesPerShape = 1 << 16;
inline constexpr double kMaxCoordinate = 1 << 20;
inline constexpr int kMaxFrames = 1 << 16;
inline constexpr int kMaxDepth = 1 << 16;
inline constexpr int kMaxNesting = 32;
inline constexpr int kMaxBitmapSide = 8192;
inline constexpr int64_t kMaxBitmapPixels = 1 << 24;
inline constexpr int64_t kMaxEdgesPerRender = 1 << 22;
inline constexpr int kMaxTagsPerStep = 1 << 16;
inline constexpr int64_t kMaxInstances = 1 << 16;
inline constexpr int64_t kMaxTimelineWork = 1 << 18;
inline constexpr int kMaxFilterSpread = 1024;
inline constexpr int64_t kMaxFilterWork = int64_t{1} << 26;
inline constexpr int64_t kLayerPixelWork = 4;

// Stage quality: Low draws without anti-aliasing (the pixel centre decides); Medium
// anti-aliases on a 2 x 2 grid of sample points a pixel, High and Best on a 4 x 4 grid.
enum class Quality { Low, Medium, High, Best };

struct MovieData;  // the parsed dictionary and timelines (swf_movie.h)

// An immutable parsed movie: dictionary + root timeline. Shared by every Stage playing it.
class Movie {
public:
    explicit Movie(std::unique_ptr<MovieData> data);
    ~Movie();
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    int Version() const;
    int FrameCount() const;
    double FrameRate() const;
    int StageWidth() const;   // pixels, rounded from the twips rectangle
    int StageHeight() const;  // pixels
    bool HasBackground() const;
    uint32_t Background() const;                     // 0xRRGGBB of the first SetBackgroundColor
    int FrameOfLabel(std::string_view label) const;  // 0-based, -1 when none (case-insensitive)
    // Tag code -> times met while loading and not kept (scripts, sound, video, ...).
    const std::map<int, int>& SkippedTags() const;

    const MovieData& Data() const { return *data_; }

private:
    std::unique_ptr<MovieData> data_;
};

struct LoadResult {
    std::shared_ptr<const Movie> movie;  // null => error says why
    std::string error;
};

// Reads a whole SWF file (FWS or CWS; ZWS is refused with a reason). Never throws on bad data.
LoadResult LoadMovie(const uint8_t* data, size_t size);

struct RenderOptions {
    Quality quality = Quality::High;
    double scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;  // stage pixels -> target pixels
    // Paint the movie's background colour first (white when the movie sets none); else draw
    // over what the target holds.
    bool fillBackground = true;
};

struct DisplayList;  // the live display list of a timeline (swf_stage.h)
struct DrawContext;  // a render's working buffers (swf_draw.h)

// One playing instance of a movie.
class Stage {
public:
    explicit Stage(std::shared_ptr<const Movie> movie);
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    int CurrentFrame() const;   // 0-based
    void GotoFrame(int frame);  // display list rebuilt as the timeline says (clamped to the frames)
    void NextFrame();           // root and every sprite advance one frame (root wraps to 0 after the last)
    void Render(uint32_t* pixels, int width, int height, int stridePixels, const RenderOptions& options) const;
    // Tag code -> times met and not drawn: the movie's skipped tags plus those met while playing.
    const std::map<int, int>& SkippedTags() const;

    const std::shared_ptr<const Movie>& GetMovie() const { return movie_; }

private:
    std::shared_ptr<const Movie> movie_;
    std::unique_ptr<DisplayList> root_;
    int64_t live_ = 0;  // display objects alive in this stage (kMaxInstances)
    std::map<int, int> skipped_;
    // The rasterizer's and the shapes' working buffers, kept from one render to the next: a frame
    // of thousands of small fills otherwise spends much of its time growing them again. Kept by
    // the stage, not the thread, so a DLL drawing with it can still be unloaded.
    mutable std::unique_ptr<DrawContext> spare_;
};

}  // namespace vd::swf
