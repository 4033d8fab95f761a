// The Netscape driver's platform-free text work: a movie's external calls and the request text
// the application receives, the token scanner, the query pairs of local URLs, the refused
// script URLs, file-name parts and identifiers. Runs natively and under Wine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "vd_npscript.h"

using namespace vd;
using namespace vd::np;

namespace {

std::string Wrapped(const std::string& call) {
    return "try { __flash__toXML(" + call + ") ; } catch (e) { \"<undefined/>\"; }";
}

std::vector<std::string> ArgsOf(const std::string& call) {
    const std::optional<TExternalCall> parsed = ParseExternalCall(Wrapped(call));
    EXPECT_TRUE(parsed.has_value()) << call;
    return parsed ? parsed->Arguments : std::vector<std::string>{"<not parsed>"};
}

using Args = std::vector<std::string>;

TEST(ExternalCalls, AMoviesCallBecomesTheRequestTheApplicationReceives) {
    const std::optional<TExternalCall> call = ParseExternalCall(Wrapped("sendData(\"abc\",12)"));
    ASSERT_TRUE(call.has_value());
    EXPECT_EQ(call->Name, "sendData");
    EXPECT_EQ(call->Arguments, (Args{"abc", "12"}));
    EXPECT_EQ(ExternalCallRequest(*call),
              "<invoke name=\"sendData\" returntype=\"XML\"><arguments>"
              "<string>abc</string><string>12</string></arguments></invoke>");

    const std::optional<TExternalCall> none = ParseExternalCall(Wrapped(" ping ( ) "));
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->Name, "ping");
    EXPECT_TRUE(none->Arguments.empty());
    EXPECT_EQ(ExternalCallRequest(*none), "<invoke name=\"ping\" returntype=\"XML\"><arguments></arguments></invoke>");
    // The wrapper cut short after the call still names a call.
    EXPECT_TRUE(ParseExternalCall("try { __flash__toXML(ping()").has_value());
}

TEST(ExternalCalls, StringsKeepTheirCommasBracketsAndQuotes) {
    EXPECT_EQ(ArgsOf("f(\"a,b\")"), (Args{"a,b"}));
    EXPECT_EQ(ArgsOf("f( \"g(x), y)\" , 'a\"b' , \"it's\" )"), (Args{"g(x), y)", "a\"b", "it's"}));
    EXPECT_EQ(ArgsOf("f('one,two', \"\")"), (Args{"one,two", ""}));
    // The wrapper's end inside a string is the string's text, not the end of the call.
    EXPECT_EQ(ArgsOf("f(\") ; } catch (e)\", 1)"), (Args{") ; } catch (e)", "1"}));
}

TEST(ExternalCalls, EscapesInStringsAreUndone) {
    EXPECT_EQ(ArgsOf(R"(f("say \"hi\"", 'don\'t', "back\\slash"))"), (Args{"say \"hi\"", "don't", "back\\slash"}));
    EXPECT_EQ(ArgsOf(R"(f("a\nb\rc\td\be\ff\vg"))"), (Args{"a\nb\rc\td\be\ff\vg"}));
    EXPECT_EQ(ArgsOf(R"(f("nul\0!"))"), (Args{std::string("nul\0!", 5)}));
    EXPECT_EQ(ArgsOf(R"(f("\x41\x7e\xe9"))"), (Args{"A~\xC3\xA9"}));
    EXPECT_EQ(ArgsOf(R"(f("\u00e9\u20AC\uD83D\uDE00"))"), (Args{"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}));
    // A surrogate without its partner is a replacement character; the next escape stays its own.
    EXPECT_EQ(ArgsOf(R"(f("\uD83Dx\uDE00\uD83D\u0041"))"), (Args{"\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD"
                                                                 "A"}));
    // Other escaped characters stand for themselves.
    EXPECT_EQ(ArgsOf(R"(f("\q\/\1"))"), (Args{"q/1"}));
}

TEST(ExternalCalls, OtherLiteralsArriveAsTheirText) {
    EXPECT_EQ(ArgsOf("f(12, -1.5e3 ,true,false, null,undefined)"),
              (Args{"12", "-1.5e3", "true", "false", "null", "undefined"}));
    EXPECT_EQ(ArgsOf("f([1, \"a,]b\", [2]], ({\"k\": \"v)\", n: {m: 'x}'}}), 3)"),
              (Args{"[1, \"a,]b\", [2]]", "({\"k\": \"v)\", n: {m: 'x}'}})", "3"}));
}

TEST(ExternalCalls, ScriptsOfOtherFormsAndMalformedCallsAreNoCalls) {
    for (const std::string script :
         {"", "window.location", "__flash__toXML(f())", " try { __flash__toXML(f()) ; } catch (e)",
          "try { __flash__toxml(f()) ; } catch (e)", "try {  __flash__toXML(f()) ; } catch (e)"})
        EXPECT_FALSE(ParseExternalCall(script).has_value()) << script;
    for (const std::string call :
         {"noArguments", "(\"no name\")", "f(\"unterminated)", "f('x\\')", "f(\"\\u12\")", "f(\"\\xZ1\")", "f([1, 2)",
          "f({a: 1]})", "f(1,)", "f(,1)", "f(\"a\" \"b\")", "f(1)(2)", "f(1"})
        EXPECT_FALSE(ParseExternalCall(Wrapped(call)).has_value()) << call;
}

TEST(ExternalCallRequest, MarkupCharactersInNamesAndArgumentsAreEscaped) {
    const TExternalCall call{"a<b>\"c'&", {"x<y&z", "'\">", "&amp;"}};
    EXPECT_EQ(ExternalCallRequest(call),
              "<invoke name=\"a&lt;b&gt;&quot;c&apos;&amp;\" returntype=\"XML\"><arguments>"
              "<string>x&lt;y&amp;z</string><string>&apos;&quot;&gt;</string><string>&amp;amp;</string>"
              "</arguments></invoke>");
}

TEST(SplitQuery, LocalUrlsGiveTheirPairsInOrder) {
    WideString url = u"movie.swf?a=1&b=two";
    const std::vector<std::pair<WideString, WideString>> expected = {{u"a", u"1"}, {u"b", u"two"}};
    EXPECT_EQ(SplitQuery(url), expected);
    EXPECT_EQ(url, u"movie.swf");

    WideString odd = u"C:\\m\\a b.swf ? x = 1 & flag & =v";
    // A name runs to the next "=", whatever "&" it passes.
    const std::vector<std::pair<WideString, WideString>> oddPairs = {{u"x", u"1"}, {u"flag &", u"v"}};
    EXPECT_EQ(SplitQuery(odd), oddPairs);
    EXPECT_EQ(odd, u"C:\\m\\a b.swf");
}

TEST(SplitQuery, HttpUrlsAndUrlsWithoutQueryAreLeftAlone) {
    for (const WideString original :
         {u"http://host/movie.swf?a=1", u"movie.swf?back=http://host/", u"movie.swf", u"dir/movie.swf "}) {
        WideString url = original;
        EXPECT_TRUE(SplitQuery(url).empty());
        EXPECT_EQ(url, original);
    }
}

TEST(IsScriptUrl, OnlyTheSchemeCounts) {
    for (const WideString url : {u"javascript:alert(1)", u"JavaScript:void(0)", u"JAVASCRIPT:", u" \t\r\njavascript:x"})
        EXPECT_TRUE(IsScriptUrl(url)) << WideToUtf8(url);
    for (const WideString url : {u"myjavamovie.swf", u"/java/movie.swf", u"C:\\javascript\\a.swf", u"javascript",
                                 u"java script:x", u"xjavascript:y", u"", u"http://h/?u=javascript:x"})
        EXPECT_FALSE(IsScriptUrl(url)) << WideToUtf8(url);
}

TEST(InternIdentifier, SameTextSamePointerForTheWholeRun) {
    const std::string source = "LoadMovie and more";
    const char* load = InternIdentifier(std::string_view(source).substr(0, 9));
    EXPECT_STREQ(load, "LoadMovie");  // zero-terminated although the view was not
    EXPECT_EQ(InternIdentifier("LoadMovie"), load);
    const char* other = InternIdentifier("loadmovie");
    EXPECT_NE(other, load);
    EXPECT_STREQ(other, "loadmovie");
    EXPECT_NE(InternIdentifier(""), load);

    std::vector<const char*> many;
    for (int i = 0; i < 5000; ++i) many.push_back(InternIdentifier("name" + std::to_string(i)));
    EXPECT_EQ(InternIdentifier("LoadMovie"), load);
    EXPECT_STREQ(load, "LoadMovie");
    for (int i = 0; i < 5000; i += 499) {
        EXPECT_EQ(InternIdentifier("name" + std::to_string(i)), many[i]);
        EXPECT_STREQ(many[i], ("name" + std::to_string(i)).c_str());
    }
}

TEST(InternIntIdentifier, IntegersAreInternedApartFromNames) {
    const void* seven = InternIntIdentifier(7);
    EXPECT_EQ(InternIntIdentifier(7), seven);
    EXPECT_NE(InternIntIdentifier(8), seven);
    EXPECT_NE(InternIntIdentifier(-7), seven);
    EXPECT_NE(static_cast<const void*>(InternIdentifier("7")), seven);
    for (int32_t v : {7, 0, -1, INT32_MIN, INT32_MAX}) {
        int32_t back = 12345;
        EXPECT_TRUE(IntIdentifierValue(InternIntIdentifier(v), back)) << v;
        EXPECT_EQ(back, v);
    }
    int32_t untouched = 99;
    EXPECT_FALSE(IntIdentifierValue(InternIdentifier("7"), untouched));
    EXPECT_FALSE(IntIdentifierValue(nullptr, untouched));
    EXPECT_EQ(untouched, 99);
}

NPVariant Number(double d) {
    NPVariant v{};
    v.type = NPVariantType_Double;
    v.value.doubleValue = d;
    return v;
}
NPVariant Text(const char* s) {
    NPVariant v{};
    v.type = NPVariantType_String;
    v.value.stringValue = NPString{s, static_cast<uint32_t>(std::strlen(s))};
    return v;
}

TEST(VariantConversion, AnswersOfAnotherTypeAreConvertedNotReadAsZero) {
    NPVariant i{}, b{}, none{}, nullText{};
    i.type = NPVariantType_Int32;
    i.value.intValue = -42;
    b.type = NPVariantType_Bool;
    b.value.boolValue = true;
    none.type = NPVariantType_Void;
    nullText.type = NPVariantType_String;
    struct Case {
        const char* what;
        NPVariant v;
        int32_t asInt;
        bool asBool;
    };
    const Case cases[] = {
        {"int32", i, -42, true},
        {"bool", b, 1, true},
        {"whole double", Number(10.0), 10, true},
        {"double just under", Number(9.9999999), 10, true},
        {"negative double", Number(-3.4), -3, true},
        {"zero double", Number(0.0), 0, false},
        {"NaN", Number(std::nan("")), 0, false},
        {"huge double", Number(1e12), INT32_MAX, true},
        {"huge negative", Number(-1e12), INT32_MIN, true},
        {"numeric text", Text(" 12 "), 12, true},
        {"zero text", Text("0"), 0, false},
        {"true text", Text("TRUE"), 0, true},
        {"false text", Text("false"), 0, false},
        {"other text", Text("12abc"), 0, false},
        {"void", none, 0, false},
        {"string without text", nullText, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VariantToInt(c.v), c.asInt) << c.what;
        EXPECT_EQ(VariantToBool(c.v), c.asBool) << c.what;
    }
}

}  // namespace
