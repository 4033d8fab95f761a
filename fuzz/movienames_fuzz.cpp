// The name functions and the stream-token parser on arbitrary UTF-16 text. They must not
// crash, and a few properties hold for every input:
//   - the results of the ActiveX name functions hold no upper-case ASCII letter
//   - StripExtension yields a prefix; LastPathPart and UrlFileName a text without separators
//   - TakeToken consumes: token and rest together are never longer than the text
//   - no token text resolves to a stream unless that stream was published
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vd_movienames.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "movienames_fuzz: %s\n", what);
    std::abort();
}

bool HasUpperAscii(const vd::WideString& s) {
    for (char16_t c : s)
        if (c >= u'A' && c <= u'Z') return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vd::WideString text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);

    const vd::WideString file = vd::UrlFileName(text);
    if (HasUpperAscii(file) || file.find_first_of(u"/:|\\&?") != vd::WideString::npos) Fail("UrlFileName");
    vd::SetFileExistsHook([](const vd::WideString& f) {
        if (HasUpperAscii(f) || f.find_first_of(u"/&?") != vd::WideString::npos) Fail("LocalFilePath");
        return false;
    });
    if (vd::LocalFileExists(text)) Fail("LocalFileExists found a file the hook denies");
    vd::SetFileExistsHook(nullptr);

    const vd::WideString stripped = vd::StripExtension(text);
    if (text.compare(0, stripped.size(), stripped) != 0) Fail("StripExtension is not a prefix");
    const vd::WideString last = vd::LastPathPart(text);
    if (last.find_first_of(u"/\\:") != vd::WideString::npos) Fail("LastPathPart");
    if (vd::DecodeUrlEscapes(text).size() > text.size()) Fail("DecodeUrlEscapes grew the text");
    if (vd::DecodeUrlEscapesAnyCase(text).size() > text.size()) Fail("DecodeUrlEscapesAnyCase grew the text");
    (void)vd::HasMediaSubstring(text);
    (void)vd::MovieResourceName(text);

    vd::WideString rest = text;
    const vd::WideString token = vd::TakeToken(rest, u"?=&");
    if (token.size() + rest.size() > text.size()) Fail("TakeToken");

    // Nothing is published here except the one stream, so only its token may resolve.
    vd::TMemoryStream mine;
    const vd::WideString mineToken = vd::PublishStream(mine);
    vd::TStream* found = vd::StreamFromPseudoName(text);
    if (found && found != &mine) Fail("a token resolved to a stream never published");
    if (found && vd::ResolveStreamToken(mineToken) != &mine) Fail("own token lost");
    return 0;
}
