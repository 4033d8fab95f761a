// Movie addressing: the name functions both resolvers key their lookups on, pseudo-URLs,
// stream tokens and the video tests. Platform-free; runs natively and under Wine.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "vd_movienames.h"

using namespace vd;

namespace {

std::string U8(const WideString& w) { return WideToUtf8(w); }

TEST(DummyAddresses, OriginIsASingleLabelHostAndTheBaseAddsOneSlash) {
    EXPECT_EQ(kDummyOrigin, WideString(u"http://") + WideString(kDummyHost));
    EXPECT_EQ(kDummyBaseUrl, WideString(kDummyOrigin) + u"/");
    EXPECT_EQ(kDummyHost.find(u'.'), std::u16string_view::npos);
    EXPECT_EQ(StripDummyOrigin(WideString(kDummyOrigin) + u"/a.swf"), u"/a.swf");
    EXPECT_EQ(StripDummyOrigin(u"http://other/a.swf"), u"http://other/a.swf");
}

TEST(PseudoUrls, VideoAddressesOfBothDrivers) {
    EXPECT_EQ(ActiveXVideoUrl(u"C:\\media\\clip.flv"), WideString(kDummyBaseUrl) + u"C:/media/clip.flv");
    EXPECT_EQ(NetscapeVideoUrl(u"C:\\media\\clip.flv"), WideString(kDummyOrigin) + u"C:\\media\\clip.flv");
    EXPECT_EQ(ActiveXMovieUrl(u"intro.swf"), WideString(kDummyBaseUrl) + u"intro.swf");
    EXPECT_EQ(StreamMovieUrl(u"0012AB34", false), WideString(kDummyBaseUrl) + u"<stream>0012AB34.swf");
    EXPECT_EQ(StreamMovieUrl(u"0012AB34", true), WideString(kDummyBaseUrl) + u"<stream>0012AB34.flv");
}

TEST(PseudoUrls, PauseRequestsAreTheExactExternalInterfaceTexts) {
    EXPECT_EQ(PauseRequest(true), u"<invoke name=\"stopflv\" returntype=\"xml\"></invoke>");
    EXPECT_EQ(PauseRequest(false), u"<invoke name=\"playflv\" returntype=\"xml\"></invoke>");
}

TEST(MediaSubstrings, NineCaseSensitiveEntries) {
    for (const char16_t* name : {u"a.swf", u"b.flv", u"c.xml", u"d.jpg", u"e.png", u"f.mp3", u"g.ogg", u"h.txt",
                                 u"www.youtube.com/watch", u"x.swf?y=1", u"dir.png/file"})
        EXPECT_TRUE(HasMediaSubstring(name)) << U8(name);
    for (const char16_t* name : {u"MOVIE.SWF", u"clip.FLV", u"a.gif", u"YouTube", u"", u"swf"})
        EXPECT_FALSE(HasMediaSubstring(name)) << U8(name);
}

TEST(DecodeUrlEscapes, SixEscapesInOrderWithoutRescanning) {
    EXPECT_EQ(DecodeUrlEscapes(u"a%3fb%3dc%26d%20e%2df%2fg"), u"a?b=c&d e-f/g");
    // Only lower-case escapes in this form; other escapes stay.
    EXPECT_EQ(DecodeUrlEscapes(u"%2F%2f%41%3F"), u"%2F/%41%3F");
    // "%2526" is "%25" (not decoded) followed by "26": nothing to decode.
    EXPECT_EQ(DecodeUrlEscapes(u"%2526"), u"%2526");
    // Each pass resumes after the text it replaced: the "%" before an escape stays.
    EXPECT_EQ(DecodeUrlEscapes(u"%%3d20"), u"%=20");
    EXPECT_EQ(DecodeUrlEscapes(u"%20%20"), u"  ");
    EXPECT_EQ(DecodeUrlEscapes(u"%"), u"%");
    EXPECT_EQ(DecodeUrlEscapes(u"%2"), u"%2");
}

TEST(DecodeUrlEscapes, NetscapeFormIgnoresCaseOfEscapesAndKeepsTheRest) {
    EXPECT_EQ(DecodeUrlEscapesAnyCase(u"Dir%2FMovie%20A.SWF%3Fx%3D1"), u"Dir/Movie A.SWF?x=1");
    EXPECT_EQ(DecodeUrlEscapesAnyCase(u"%2d%2D%41"), u"--%41");
}

TEST(StripExtension, CutsAtTheLastDotOfTheWholeName) {
    EXPECT_EQ(StripExtension(u"ClearOverAll.swf"), u"ClearOverAll");
    EXPECT_EQ(StripExtension(u"media.old/movie"), u"media");
    EXPECT_EQ(StripExtension(u"a.b.c"), u"a.b");
    EXPECT_EQ(StripExtension(u"noext"), u"noext");
    EXPECT_EQ(StripExtension(u".swf"), u"");
    EXPECT_EQ(StripExtension(u""), u"");
}

TEST(UrlFileName, LowerCasedFileNameWithoutQuery) {
    EXPECT_EQ(UrlFileName(u"media/Intro.SWF?x=1"), u"intro.swf");
    EXPECT_EQ(UrlFileName(u"file:///C:/x/Intro.swf"), u"intro.swf");
    EXPECT_EQ(UrlFileName(u"C:\\x\\Intro.swf&a"), u"intro.swf");
    EXPECT_EQ(UrlFileName(u"c|x.swf"), u"x.swf");
    EXPECT_EQ(UrlFileName(u"plain.swf"), u"plain.swf");
    // %2F, %2f and "/" are the same; other escapes stay.
    EXPECT_EQ(UrlFileName(u"dir%2FA.swf"), u"a.swf");
    EXPECT_EQ(UrlFileName(u"dir%2fA.swf"), u"a.swf");
    EXPECT_EQ(UrlFileName(u"dir/%41.swf"), u"%41.swf");
    // An escaped "?" cuts the query as well.
    EXPECT_EQ(UrlFileName(u"a.swf%3Fb=c/d"), u"a.swf");
    EXPECT_EQ(UrlFileName(u"dir/"), u"");
}

TEST(LocalFileExists, NormalisesTheNameBeforeAskingTheFileSystem) {
    std::vector<WideString> asked;
    SetFileExistsHook([&](const WideString& f) {
        asked.push_back(f);
        return f == u"c:\\media\\a b.swf";
    });
    EXPECT_TRUE(LocalFileExists(u"file:///C|/Media/A%20B.SWF?x=1"));
    EXPECT_TRUE(LocalFileExists(u"C:%2FMedia%2fA b.swf&y"));
    EXPECT_TRUE(LocalFileExists(u"/c:/media/a b.swf"));
    EXPECT_FALSE(LocalFileExists(u"c:/media/%41 b.swf"));
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[3], u"c:\\media\\%41 b.swf");
    // Only one leading "/" goes after "file://".
    EXPECT_EQ(LocalFilePath(u"file:////server/share/x.swf"), u"\\server\\share\\x.swf");
    SetFileExistsHook(nullptr);
}

TEST(LocalFileExists, DefaultHookSeesRealFilesAndNotFolders) {
#ifndef _WIN32
    EXPECT_TRUE(FileExistsHooked(u"/proc/self/status") || FileExistsHooked(u"/etc/hostname"));
    EXPECT_FALSE(FileExistsHooked(u"/tmp"));
    EXPECT_FALSE(FileExistsHooked(u"/no/such/file.swf"));
    EXPECT_FALSE(FileExistsHooked(u""));
#else
    GTEST_SKIP() << "the Windows hook is tested with the resources";
#endif
}

TEST(LastPathPart, TakesTheTextAfterEverySeparatorKind) {
    EXPECT_EQ(LastPathPart(u"C:\\movies\\a.swf"), u"a.swf");
    EXPECT_EQ(LastPathPart(u"/dir/sub/Intro.swf"), u"Intro.swf");
    EXPECT_EQ(LastPathPart(u"C:a.swf"), u"a.swf");
    EXPECT_EQ(LastPathPart(u"a/b\\c.swf"), u"c.swf");
    EXPECT_EQ(LastPathPart(u"a\\b/c.swf"), u"c.swf");
    EXPECT_EQ(LastPathPart(u"/<stream>0000000A.swf"), u"<stream>0000000A.swf");
    EXPECT_EQ(LastPathPart(u"dir/"), u"");
}

TEST(TakeToken, SplitsAtTheFirstDelimiterAndTrims) {
    WideString text = u"movie.swf?a=1&b= two &c";
    EXPECT_EQ(TakeToken(text, u"?"), u"movie.swf");
    EXPECT_EQ(text, u"a=1&b= two &c");
    std::vector<std::pair<WideString, WideString>> pairs;
    while (!text.empty()) {
        WideString name = TakeToken(text, u"=");
        WideString value = TakeToken(text, u"&");
        pairs.emplace_back(name, value);
    }
    const std::vector<std::pair<WideString, WideString>> expected = {{u"a", u"1"}, {u"b", u"two"}, {u"c", u""}};
    EXPECT_EQ(pairs, expected);

    WideString call = u" f ( \"x\" , 2 ) ";
    EXPECT_EQ(TakeToken(call, u"("), u"f");
    EXPECT_EQ(TakeToken(call, u",)"), u"\"x\"");
    EXPECT_EQ(TakeToken(call, u",)"), u"2");
    EXPECT_EQ(call, u"");

    WideString none = u"  whole  ";
    EXPECT_EQ(TakeToken(none, u"?"), u"whole");
    EXPECT_TRUE(none.empty());
}

TEST(CaseRules, FoldingCoversTheCommonAlphabetsAndLeavesTheRest) {
    EXPECT_TRUE(SameWideText(u"INTRO.SWF", u"intro.swf"));
    EXPECT_TRUE(SameWideText(u"ÄRGER.swf", u"ärger.swf"));
    EXPECT_TRUE(SameWideText(u"ŁÓDŹ", u"łódź"));
    EXPECT_TRUE(SameWideText(u"ΚΙΝΗΣΗ", u"κινηση"));
    EXPECT_TRUE(SameWideText(u"ФИЛЬМ", u"фильм"));
    EXPECT_TRUE(SameWideText(u"ЁЖ", u"ёж"));
    EXPECT_FALSE(SameWideText(u"映画1", u"映画2"));
    EXPECT_FALSE(SameWideText(u"a", u"ab"));
    EXPECT_FALSE(SameWideText(u"×", u"÷"));  // not a case pair
    EXPECT_EQ(WideLowerCase(u"ABC映画Ä"), u"abc映画ä");
}

TEST(VideoTests, ByNameIsCaseSensitiveAnywhere) {
    EXPECT_TRUE(IsVideoName(u"Clip.flv"));
    EXPECT_TRUE(IsVideoName(u"a.flv.swf"));
    EXPECT_FALSE(IsVideoName(u"CLIP.FLV"));
    EXPECT_FALSE(IsVideoName(u"clip.fl"));
}

TEST(VideoTests, ByStreamReadsTheSignatureAndRewinds) {
    TMemoryStream flv;
    flv.WriteBuffer("FLV\x01\x05", 5);
    EXPECT_TRUE(IsVideoStream(flv));
    EXPECT_EQ(flv.GetPosition(), 0);

    TMemoryStream swf;
    swf.WriteBuffer("CWS\x08", 4);
    EXPECT_FALSE(IsVideoStream(swf));
    EXPECT_EQ(swf.GetPosition(), 0);

    TMemoryStream shorter;
    shorter.WriteBuffer("FL", 2);
    EXPECT_FALSE(IsVideoStream(shorter));
    TMemoryStream empty;
    EXPECT_FALSE(IsVideoStream(empty));
}

TEST(StreamTokens, EightUpperCaseHexDigits) {
    EXPECT_EQ(TokenText(0x12AB34), u"0012AB34");
    EXPECT_EQ(TokenText(0xFFFFFFFFu), u"FFFFFFFF");
    TMemoryStream s;
    const WideString token = PublishStream(s);
    ASSERT_EQ(token.size(), 8u);
    for (char16_t c : token) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << U8(token);
    EXPECT_EQ(PublishStream(s), token) << "publishing twice keeps the token";
}

TEST(StreamTokens, ResolveOnlyLiveStreamsAndNeverAFreedOne) {
    auto a = std::make_unique<TMemoryStream>();
    auto b = std::make_unique<TMemoryStream>();
    const WideString ta = PublishStream(*a), tb = PublishStream(*b);
    EXPECT_NE(ta, tb);
    EXPECT_EQ(ResolveStreamToken(ta), a.get());
    EXPECT_EQ(ResolveStreamToken(ta + u".swf"), a.get()) << "what follows the 8 digits is ignored";
    WideString lower = ta;
    for (char16_t& c : lower) c = FoldCase(c);
    EXPECT_EQ(ResolveStreamToken(lower), a.get()) << "read as a hexadecimal number";

    const size_t before = PublishedStreamCount();
    a.reset();  // the framework's stream destructor withdraws the token
    EXPECT_EQ(PublishedStreamCount(), before - 1);
    EXPECT_EQ(ResolveStreamToken(ta), nullptr);
    // A stream created afterwards (possibly at the same address) gets a token of its own.
    auto c = std::make_unique<TMemoryStream>();
    const WideString tc = PublishStream(*c);
    EXPECT_NE(tc, ta);
    EXPECT_EQ(ResolveStreamToken(ta), nullptr);
    EXPECT_EQ(ResolveStreamToken(tc), c.get());
    EXPECT_EQ(ResolveStreamToken(tb), b.get());

    // Withdrawing by hand works too and is harmless for unpublished streams.
    WithdrawStream(b.get());
    EXPECT_EQ(ResolveStreamToken(tb), nullptr);
    TMemoryStream never;
    WithdrawStream(&never);
}

TEST(StreamTokens, MalformedTokensResolveToNothing) {
    TMemoryStream s;
    const WideString t = PublishStream(s);
    for (const WideString& bad : {WideString(u""), t.substr(0, 7), WideString(u"0000000G"), WideString(u" 0000001"),
                                  WideString(u"+0000001"), WideString(u"-0000001"), WideString(u"00000000")})
        EXPECT_EQ(ResolveStreamToken(bad), nullptr) << U8(bad);
}

TEST(StreamTokens, PseudoNamesWithAndWithoutTheLeadingSlash) {
    TMemoryStream s;
    const WideString t = PublishStream(s);
    EXPECT_EQ(StreamFromPseudoName(u"<stream>" + t + u".swf"), &s);
    EXPECT_EQ(StreamFromPseudoName(u"/<stream>" + t + u".flv"), &s);
    EXPECT_EQ(StreamFromPseudoName(u"<stream>" + t), &s);
    EXPECT_EQ(StreamFromPseudoName(u"//<stream>" + t), nullptr);
    EXPECT_EQ(StreamFromPseudoName(u"<res>" + t), nullptr);
    EXPECT_EQ(StreamFromPseudoName(u"<stream>" + t.substr(1)), nullptr);
    // The whole path the Netscape driver sees once the dummy origin is gone.
    const WideString url = StreamMovieUrl(t, false);
    EXPECT_EQ(StreamFromPseudoName(StripDummyOrigin(url)), &s);
}

TEST(Resources, LookupNameIsTheNameWithoutItsExtension) {
    EXPECT_EQ(MovieResourceName(u"flvplayback.swf"), u"flvplayback");
    EXPECT_EQ(MovieResourceName(u"ClearOverAll.swf"), u"ClearOverAll");
    EXPECT_EQ(MovieResourceName(u"media/flvplayback.swf"), u"media/flvplayback");
    // Names the resource functions would take as numeric identifiers are refused.
    EXPECT_EQ(MovieResourceName(u"#10.swf"), u"");
    EXPECT_EQ(MovieResourceName(u".swf"), u"");
    EXPECT_EQ(MovieResourceName(WideString(u"a\0b.swf", 7)), u"");
    for (const TBuiltInMovie& m : kBuiltInMovies)
        EXPECT_TRUE(SameWideText(MovieResourceName(m.RequestedAs), m.ResourceName)) << U8(WideString(m.RequestedAs));
}

}  // namespace
