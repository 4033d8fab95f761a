// UTF-8 <-> UTF-16 and Latin-1 conversions of framework/vd_system.h.
#include "vd_system.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vd::Latin1ToWide;
using vd::Utf8ToWide;
using vd::WideToLatin1;
using vd::WideToUtf8;

TEST(Utf, AsciiRoundTrips) {
    EXPECT_EQ(Utf8ToWide(""), u"");
    EXPECT_EQ(WideToUtf8(u""), "");
    EXPECT_EQ(Utf8ToWide("Hello, vd!"), u"Hello, vd!");
    EXPECT_EQ(WideToUtf8(u"Hello, vd!"), "Hello, vd!");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(Utf8ToWide(withNul), std::u16string(u"a\0b", 3));
    EXPECT_EQ(WideToUtf8(std::u16string(u"a\0b", 3)), withNul);
}

TEST(Utf, TwoAndThreeByteSequences) {
    // U+00E9 é (2 bytes), U+07FF (largest 2-byte), U+0800 (smallest 3-byte), U+20AC €, U+FFFF.
    EXPECT_EQ(Utf8ToWide("\xC3\xA9"), u"\u00E9");
    EXPECT_EQ(Utf8ToWide("\xDF\xBF"), u"\u07FF");
    EXPECT_EQ(Utf8ToWide("\xE0\xA0\x80"), u"\u0800");
    EXPECT_EQ(Utf8ToWide("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(Utf8ToWide("\xEF\xBF\xBF"), std::u16string(1, char16_t(0xFFFF)));
    EXPECT_EQ(WideToUtf8(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(WideToUtf8(u"\u07FF"), "\xDF\xBF");
    EXPECT_EQ(WideToUtf8(u"\u0800"), "\xE0\xA0\x80");
    EXPECT_EQ(WideToUtf8(u"caf\u00E9 \u20AC5"),
              "caf\xC3\xA9 \xE2\x82\xAC"
              "5");
}

TEST(Utf, FourByteSequencesAreSurrogatePairs) {
    // U+1F600 😀 = D83D DE00; U+10000 = D800 DC00; U+10FFFF = DBFF DFFF.
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");
    EXPECT_EQ(Utf8ToWide("\xF0\x90\x80\x80"), u"\xD800\xDC00");
    EXPECT_EQ(Utf8ToWide("\xF4\x8F\xBF\xBF"), u"\xDBFF\xDFFF");
    EXPECT_EQ(WideToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(WideToUtf8(u"x\U0001F600y"), "x\xF0\x9F\x98\x80y");
}

TEST(Utf, MalformedUtf8BecomesReplacementCharacter) {
    EXPECT_EQ(Utf8ToWide("\xFF"), u"\uFFFD");  // never a lead byte
    EXPECT_EQ(Utf8ToWide("a\x80"
                         "b"),
              u"a\uFFFDb");                        // lone continuation byte
    EXPECT_EQ(Utf8ToWide("\xC3"), u"\uFFFD");      // truncated at the end
    EXPECT_EQ(Utf8ToWide("\xC3(x"), u"\uFFFD(x");  // lead byte without continuation
    EXPECT_EQ(Utf8ToWide("\xE2\x82"
                         "x"),
              u"\uFFFDx");                               // truncated 3-byte sequence
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/' (C0 never valid)
    EXPECT_EQ(Utf8ToWide("\xF5\x80\x80\x80").find_first_not_of(u'\uFFFD'), std::u16string::npos);
    // Encoded surrogates and overlong 3/4-byte forms never come out as code points.
    for (const char* bad : {"\xED\xA0\x80", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80"}) {
        const std::u16string w = Utf8ToWide(bad);
        ASSERT_FALSE(w.empty()) << bad;
        EXPECT_EQ(w.find_first_not_of(u'\uFFFD'), std::u16string::npos) << bad;
    }
}

TEST(Utf, LoneSurrogatesBecomeReplacementCharacter) {
    EXPECT_EQ(WideToUtf8(u"\xD800"), "\xEF\xBF\xBD");
    EXPECT_EQ(WideToUtf8(u"a\xDC00"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(WideToUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // pair in the wrong order
}

TEST(Latin1, WidensEveryByteToTheSameCodeUnit) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    const std::u16string w = Latin1ToWide(all);
    ASSERT_EQ(w.size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(w[i], char16_t(i));
    EXPECT_EQ(WideToLatin1(w), all);
    EXPECT_EQ(Latin1ToWide("caf\xE9"), u"caf\u00E9");
}

TEST(Latin1, NarrowsCodeUnitsAbove255ToQuestionMark) {
    EXPECT_EQ(WideToLatin1(u"\u20AC1"), "?1");
    EXPECT_EQ(WideToLatin1(u"\u00FF\u0100"), "\xFF?");
    EXPECT_EQ(WideToLatin1(u"\xD83D\xDE00"), "??");
}

}  // namespace
