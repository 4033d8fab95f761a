#include "vd_movienames.h"

#include <filesystem>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace vd {

std::u16string_view PauseRequest(bool pause) { return pause ? kStopFlvRequest : kPlayFlvRequest; }

bool HasMediaSubstring(std::u16string_view name) {
    for (std::u16string_view m : kMediaSubstrings)
        if (Contains(name, m)) return true;
    return false;
}

// ---------------------------------------------------------------------------------------

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    // Latin-1: À..Þ except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    // Latin Extended-A: pairs of upper (even) and lower (odd), apart from the few runs that
    // pair odd with even and the letters without a simple pair.
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        if (c == 0x178) return 0xFF;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    // Greek capitals (no capital at U+03A2).
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
    // Cyrillic.
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}

WideString WideLowerCase(std::u16string_view text) {
    WideString r(text);
    for (char16_t& c : r) c = FoldCase(c);
    return r;
}

bool SameWideText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

WideString SlashPath(std::u16string_view path) {
    WideString r(path);
    for (char16_t& c : r)
        if (c == u'\\') c = u'/';
    return r;
}

WideString StripDummyOrigin(std::u16string_view name) {
    return WideString(StartsWith(name, kDummyOrigin) ? name.substr(kDummyOrigin.size()) : name);
}

// ---------------------------------------------------------------------------------------

namespace {

constexpr std::pair<std::u16string_view, char16_t> kEscapes[] = {
    {u"%3f", u'?'}, {u"%3d", u'='}, {u"%26", u'&'}, {u"%20", u' '}, {u"%2d", u'-'}, {u"%2f", u'/'},
};

// ASCII-only comparison: the escapes hold nothing else.
bool EscapeAt(std::u16string_view text, size_t pos, std::u16string_view esc, bool anyCase) {
    if (text.size() - pos < esc.size()) return false;
    for (size_t i = 0; i < esc.size(); ++i) {
        char16_t c = text[pos + i];
        if (anyCase && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c != esc[i]) return false;
    }
    return true;
}

WideString Decode(std::u16string_view input, bool anyCase) {
    WideString text(input);
    for (const auto& [esc, repl] : kEscapes) {
        WideString out;
        out.reserve(text.size());
        size_t i = 0;
        while (i < text.size()) {
            if (text[i] == u'%' && EscapeAt(text, i, esc, anyCase)) {
                out += repl;
                i += esc.size();
            } else {
                out += text[i++];
            }
        }
        text = std::move(out);
    }
    return text;
}

WideString CutAtQuery(WideString s) {
    const size_t cut = s.find_first_of(u"&?");
    if (cut != WideString::npos) s.resize(cut);
    return s;
}

std::u16string_view AfterLastOf(std::u16string_view s, std::u16string_view chars) {
    const size_t p = s.find_last_of(chars);
    return p == std::u16string_view::npos ? s : s.substr(p + 1);
}

bool IsBlank(char16_t c) { return c <= 32; }

WideString Trim(std::u16string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return WideString(s.substr(b, e - b));
}

}  // namespace

WideString DecodeUrlEscapes(std::u16string_view text) { return Decode(text, false); }

WideString DecodeUrlEscapesAnyCase(std::u16string_view text) { return Decode(text, true); }

WideString StripExtension(std::u16string_view name) {
    const size_t dot = name.rfind(u'.');
    return WideString(dot == std::u16string_view::npos ? name : name.substr(0, dot));
}

WideString UrlFileName(std::u16string_view name) {
    const WideString cut = CutAtQuery(DecodeUrlEscapes(WideLowerCase(name)));
    return WideString(AfterLastOf(cut, u"/:|\\"));
}

WideString LocalFilePath(std::u16string_view name) {
    WideString s = DecodeUrlEscapes(WideLowerCase(name));
    if (StartsWith(s, u"file://")) s.erase(0, 7);
    if (StartsWith(s, u"/")) s.erase(0, 1);
    for (char16_t& c : s) {
        if (c == u'/') c = u'\\';
        else if (c == u'|') c = u':';
    }
    return CutAtQuery(std::move(s));
}

bool LocalFileExists(std::u16string_view name) { return FileExistsHooked(LocalFilePath(name)); }

WideString LastPathPart(std::u16string_view text) {
    std::u16string_view s = AfterLastOf(text, u"\\:");
    s = AfterLastOf(s, u"/");
    s = AfterLastOf(s, u"\\");
    return WideString(s);
}

WideString TakeToken(WideString& text, std::u16string_view delimiters) {
    const size_t p = text.find_first_of(delimiters);
    WideString token, rest;
    if (p == WideString::npos) {
        token = std::move(text);
    } else {
        token = text.substr(0, p);
        rest = text.substr(p + 1);
    }
    text = Trim(rest);
    return Trim(token);
}

// ---------------------------------------------------------------------------------------

namespace {

TFileExistsFn& FileExistsHook() {
    static TFileExistsFn hook;
    return hook;
}

bool DefaultFileExists(const WideString& fileName) {
    if (fileName.empty()) return false;
    const std::string utf8 = WideToUtf8(fileName);
    std::error_code ec;
    const std::filesystem::path p(std::u8string(utf8.begin(), utf8.end()));
    const auto st = std::filesystem::status(p, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

}  // namespace

void SetFileExistsHook(TFileExistsFn fn) { FileExistsHook() = std::move(fn); }

bool FileExistsHooked(const WideString& fileName) {
    const TFileExistsFn& hook = FileExistsHook();
    return hook ? hook(fileName) : DefaultFileExists(fileName);
}

// ---------------------------------------------------------------------------------------

bool IsVideoName(std::u16string_view name) { return Contains(name, u".flv"); }

bool IsVideoStream(TStream& stream) {
    stream.SetPosition(0);
    uint8_t sig[3] = {};
    const int64_t n = stream.Read(sig, 3);
    stream.SetPosition(0);
    return n == 3 && sig[0] == 'F' && sig[1] == 'L' && sig[2] == 'V';
}

// ---------------------------------------------------------------------------------------

namespace {

struct TokenTable {
    std::mutex lock;
    std::unordered_map<uint32_t, TStream*> byToken;
    std::unordered_map<const TStream*, uint32_t> byStream;
    uint32_t next = 1;
};

// Never destroyed: streams freed during static destruction still find it.
TokenTable& Tokens() {
    static TokenTable* table = new TokenTable;
    return *table;
}

void OnStreamDestroyed(TStream* stream) { WithdrawStream(stream); }

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

WideString TokenText(uint32_t token) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    WideString s(kStreamTokenLength, u'0');
    for (size_t i = kStreamTokenLength; i-- > 0; token >>= 4) s[i] = kDigits[token & 0xF];
    return s;
}

WideString PublishStream(TStream& stream) {
    static std::once_flag hooked;
    std::call_once(hooked, [] { SetStreamDestroyedHook(&OnStreamDestroyed); });
    TokenTable& t = Tokens();
    std::lock_guard<std::mutex> guard(t.lock);
    if (auto it = t.byStream.find(&stream); it != t.byStream.end()) return TokenText(it->second);
    // Token 0 is never issued; after a wrap, skip tokens still in use.
    while (t.next == 0 || t.byToken.count(t.next)) ++t.next;
    const uint32_t token = t.next++;
    t.byToken.emplace(token, &stream);
    t.byStream.emplace(&stream, token);
    return TokenText(token);
}

void WithdrawStream(const TStream* stream) {
    TokenTable& t = Tokens();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.byStream.find(stream);
    if (it == t.byStream.end()) return;
    t.byToken.erase(it->second);
    t.byStream.erase(it);
}

TStream* ResolveStreamToken(std::u16string_view text) {
    if (text.size() < kStreamTokenLength) return nullptr;
    uint32_t token = 0;
    for (size_t i = 0; i < kStreamTokenLength; ++i) {
        const int v = HexValue(text[i]);
        if (v < 0) return nullptr;
        token = (token << 4) | static_cast<uint32_t>(v);
    }
    TokenTable& t = Tokens();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.byToken.find(token);
    return it == t.byToken.end() ? nullptr : it->second;
}

size_t PublishedStreamCount() {
    TokenTable& t = Tokens();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.byToken.size();
}

WideString StreamMovieUrl(std::u16string_view token, bool video) {
    WideString url(kDummyBaseUrl);
    url += kStreamMarker;
    url += token;
    url += video ? u".flv" : u".swf";
    return url;
}

TStream* StreamFromPseudoName(std::u16string_view name) {
    if (StartsWith(name, u"/") && StartsWith(name.substr(1), kStreamMarker))
        return ResolveStreamToken(name.substr(1 + kStreamMarker.size()));
    if (StartsWith(name, kStreamMarker)) return ResolveStreamToken(name.substr(kStreamMarker.size()));
    return nullptr;
}

WideString ActiveXVideoUrl(std::u16string_view name) { return WideString(kDummyBaseUrl) + SlashPath(name); }

WideString NetscapeVideoUrl(std::u16string_view name) { return WideString(kDummyOrigin) + WideString(name); }

WideString ActiveXMovieUrl(std::u16string_view name) { return WideString(kDummyBaseUrl) + WideString(name); }

// ---------------------------------------------------------------------------------------

WideString MovieResourceName(std::u16string_view requested) {
    WideString name = StripExtension(requested);
    if (name.empty() || name[0] == u'#' || name.find(u'\0') != WideString::npos) return {};
    return name;
}

}  // namespace vd
