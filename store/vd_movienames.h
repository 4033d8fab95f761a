// Movie addressing shared by both drivers: the dummy host and its addresses, the pseudo-URL
// forms of streams, resources and stored movies, stream tokens, the name functions the
// resolvers key their lookups on, the video tests and the requests sent to the built-in
// video player movie.
//
// Platform-free: built natively (sanitizers, fuzzers) and for Windows. The only outside
// question the functions ask, whether a file exists, goes through a replaceable hook.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "vd_streams.h"
#include "vd_system.h"

namespace vd {

// ---------------------------------------------------------------------------------------
// Dummy addresses. The host stands for "this host" in every address the package makes up;
// it is a single label, so it never resolves on any network, and it is never contacted.
inline constexpr std::u16string_view kDummyHost = u"vdlocal";
inline constexpr std::u16string_view kDummyOrigin = u"http://vdlocal";    // no trailing slash
inline constexpr std::u16string_view kDummyBaseUrl = u"http://vdlocal/";  // origin + "/"

// Pseudo-URL markers.
inline constexpr std::u16string_view kStreamMarker = u"<stream>";
inline constexpr std::u16string_view kResMarker = u"<res>";
inline constexpr std::u16string_view kListMarker = u"<list>";

// The built-in video player movie, its variables and its default skin.
inline constexpr std::u16string_view kPlayerMovieName = u"flvplayback.swf";
inline constexpr std::u16string_view kPlayerContentPathVar = u"flv.contentPath";
inline constexpr std::u16string_view kPlayerSkinVar = u"flv.skin";
inline constexpr std::u16string_view kPlayerVolumeVar = u"flv.volume";
inline constexpr std::u16string_view kDefaultSkin = u"ClearOverAll";
inline constexpr int kDefaultVolume = 50;

// External-interface requests that pause and resume the video in the player movie.
inline constexpr std::u16string_view kStopFlvRequest = u"<invoke name=\"stopflv\" returntype=\"xml\"></invoke>";
inline constexpr std::u16string_view kPlayFlvRequest = u"<invoke name=\"playflv\" returntype=\"xml\"></invoke>";
// The request for SetPause(pause).
std::u16string_view PauseRequest(bool pause);

// The four skins, as the application names them in Skin (without ".swf").
inline constexpr std::array<std::u16string_view, 4> kSkinNames = {u"ClearOverAll", u"SteelOverAll", u"MojaveOverAll",
                                                                  u"ArcticOverAll"};

// Substrings one of which a name must contain (case-sensitively) for the ActiveX resolver to
// take it on. The last admits such names even without a media extension.
inline constexpr std::array<std::u16string_view, 9> kMediaSubstrings = {u".swf", u".flv", u".xml", u".jpg",   u".png",
                                                                        u".mp3", u".ogg", u".txt", u"youtube"};
bool HasMediaSubstring(std::u16string_view name);

// ---------------------------------------------------------------------------------------
// Small text helpers the resolvers need.

bool StartsWith(std::u16string_view text, std::u16string_view prefix);
bool Contains(std::u16string_view text, std::u16string_view part);
// Lower-cases ASCII letters and the letters of Latin-1, Latin Extended-A, Greek and Cyrillic
// that have a one-to-one case pair; everything else is kept.
char16_t FoldCase(char16_t c);
WideString WideLowerCase(std::u16string_view text);
// Equality without regard to case, by FoldCase.
bool SameWideText(std::u16string_view a, std::u16string_view b);
// Every "\" turned into "/".
WideString SlashPath(std::u16string_view path);
// The dummy origin (followed by anything) removed from the front, when it is there.
WideString StripDummyOrigin(std::u16string_view name);

// ---------------------------------------------------------------------------------------
// Name functions. Each takes its argument by value or view and yields a new string.

// Decodes "%3f" "?", "%3d" "=", "%26" "&", "%20" " ", "%2d" "-" and "%2f" "/", in that order,
// each pass left to right without re-scanning what it inserted; nothing else.
// This form matches the escapes exactly as written (the ActiveX driver lower-cases first).
WideString DecodeUrlEscapes(std::u16string_view text);
// The same six escapes matched without regard to case; the rest keeps its case (Netscape).
WideString DecodeUrlEscapesAnyCase(std::u16string_view text);

// Everything before the last "." of the whole name (that dot may lie in a folder part); the
// name unchanged when it has no ".".
WideString StripExtension(std::u16string_view name);

// The file-name key of the ActiveX resolver: lower-cased, escapes decoded, cut before the first
// "&" or "?", then what follows the last "/", ":", "|" or "\".
WideString UrlFileName(std::u16string_view name);

// The file name the ActiveX resolver tests: lower-cased, escapes decoded, a leading "file://"
// and then one leading "/" removed, "/" turned into "\" and "|" into ":", cut before the first
// "&" or "?".
WideString LocalFilePath(std::u16string_view name);
// Whether LocalFilePath(name) names an existing file (through the file-existence hook).
bool LocalFileExists(std::u16string_view name);

// The Netscape resolver's file-name part: the text after the last "\" or ":", then after the
// last "/", then after the last "\".
WideString LastPathPart(std::u16string_view text);

// Takes characters from the front of text up to and including the first one that is in
// delimiters (which belongs to neither part); the rest stays in text. Token and rest are then
// trimmed of characters with codes up to 32. No delimiter: the whole text is the token.
WideString TakeToken(WideString& text, std::u16string_view delimiters);

// ---------------------------------------------------------------------------------------
// The file-existence seam. The Windows layer installs a test on the real file system; the
// default (for native builds) uses std::filesystem on the UTF-8 form of the name. Tests
// install their own. The function receives the name exactly as LocalFilePath made it.
using TFileExistsFn = std::function<bool(const WideString& fileName)>;
void SetFileExistsHook(TFileExistsFn fn);  // empty: back to the default
bool FileExistsHooked(const WideString& fileName);

// ---------------------------------------------------------------------------------------
// Video tests.

// A video by name: ".flv" anywhere, case-sensitively ("clip.FLV" is not, "a.flv.swf" is).
bool IsVideoName(std::u16string_view name);
// A video by content: the first three bytes are "FLV". The stream is positioned at 0 before
// and after; a stream shorter than three bytes is not a video.
bool IsVideoStream(TStream& stream);

// ---------------------------------------------------------------------------------------
// Stream tokens: a process-wide table from 32-bit tokens to live streams. A stream destroyed
// while published withdraws its token (through the framework's stream-destruction hook), so
// a token never resolves to a freed stream. Tokens are unique among live streams and, until
// the 32-bit counter wraps, never reused.

constexpr size_t kStreamTokenLength = 8;

// Publishes stream (once: publishing it again yields the same token) and returns its token
// as exactly 8 upper-case hexadecimal digits.
WideString PublishStream(TStream& stream);
// Withdraws the stream's token, if it has one. Safe to call for any stream.
void WithdrawStream(const TStream* stream);
// The stream named by exactly the first 8 characters of text (hexadecimal digits, either case);
// nullptr for a malformed or unknown token. Whatever follows the 8 characters is ignored.
TStream* ResolveStreamToken(std::u16string_view text);
// Number of streams published now (for tests and diagnostics).
size_t PublishedStreamCount();
// The text form of a token value.
WideString TokenText(uint32_t token);

// dummy base URL + "<stream>" + token + ".flv" (video) or ".swf".
WideString StreamMovieUrl(std::u16string_view token, bool video);
// The stream named by a stream pseudo-name once the dummy prefix is gone: "<stream>TOKEN..."
// (token at characters 9 to 16) or "/<stream>TOKEN..." (characters 10 to 17). nullptr when
// the name has neither form or the token is not live.
TStream* StreamFromPseudoName(std::u16string_view name);

// The address given to the player for a named video: ActiveX form (base URL + slashed path)
// or Netscape form (origin + name unchanged).
WideString ActiveXVideoUrl(std::u16string_view name);
WideString NetscapeVideoUrl(std::u16string_view name);
// The address given to the ActiveX control for a named, non-video movie.
WideString ActiveXMovieUrl(std::u16string_view name);

// ---------------------------------------------------------------------------------------
// Built-in resources.

// The resource name a requested movie name is looked up under (StripExtension; the module's
// lookup ignores case). Empty when the name cannot name a resource by string (empty, or
// starting with "#", which the resource functions would take as a numeric identifier).
WideString MovieResourceName(std::u16string_view requested);

// The five built-in movies: resource name and the name movies request them by.
struct TBuiltInMovie {
    std::u16string_view ResourceName;
    std::u16string_view RequestedAs;
};
inline constexpr std::array<TBuiltInMovie, 5> kBuiltInMovies = {{
    {u"FLVPLAYBACK", u"flvplayback.swf"},
    {u"CLEAROVERALL", u"ClearOverAll.swf"},
    {u"STEELOVERALL", u"SteelOverAll.swf"},
    {u"MOJAVEOVERALL", u"MojaveOverAll.swf"},
    {u"ARCTICOVERALL", u"ArcticOverAll.swf"},
}};

}  // namespace vd
