// The two stored form formats and the class-agnostic conversion between them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "form_samples.h"
#include "text_support.h"
#include "vd_formfile.h"

using namespace vd;
using vdtest::Crlf;

namespace {

const std::string& kCanonical = vdtest::CanonicalForm();

const TFormProperty& Prop(const TFormObject& o, const std::string& name) {
    for (const auto& p : o.Properties)
        if (p.Name == name) return p;
    throw std::runtime_error("no property " + name);
}

}  // namespace

TEST(FormText, ParsesEveryValueType) {
    TFormObject root = ParseTextForm(kCanonical);
    EXPECT_EQ(root.ClassName, "TForm1");
    EXPECT_EQ(root.Name, "Form1");
    EXPECT_EQ(Prop(root, "Left").Value.Type, TValueType::vaInt16);
    EXPECT_EQ(Prop(root, "Left").Value.Int, 192);
    EXPECT_EQ(Prop(root, "Top").Value.Type, TValueType::vaInt8);
    EXPECT_EQ(Prop(root, "Big").Value.Type, TValueType::vaInt32);
    EXPECT_EQ(Prop(root, "Huge").Value.Type, TValueType::vaInt64);
    EXPECT_EQ(Prop(root, "Huge").Value.Int, 5000000000LL);
    EXPECT_EQ(Prop(root, "Ratio").Value.Type, TValueType::vaExtended);
    EXPECT_DOUBLE_EQ(Prop(root, "Ratio").Value.Float, 1.5);
    EXPECT_EQ(Prop(root, "Tiny").Value.Type, TValueType::vaSingle);
    EXPECT_EQ(Prop(root, "Price").Value.Type, TValueType::vaCurrency);
    EXPECT_EQ(Prop(root, "Price").Value.Int, 123456);
    EXPECT_EQ(Prop(root, "When").Value.Type, TValueType::vaDate);
    EXPECT_EQ(Prop(root, "Caption").Value.Bytes, "It's here");
    EXPECT_EQ(Prop(root, "Accents").Value.Type, TValueType::vaString);
    EXPECT_EQ(Prop(root, "Accents").Value.Bytes, "caf\xE9");
    EXPECT_EQ(Prop(root, "Cyrillic").Value.Type, TValueType::vaWString);
    EXPECT_EQ(Prop(root, "Cyrillic").Value.Wide, u"\u041F\u0440\u0438!");
    EXPECT_EQ(Prop(root, "Color").Value.Type, TValueType::vaIdent);
    EXPECT_EQ(Prop(root, "Visible").Value.Type, TValueType::vaFalse);
    EXPECT_EQ(Prop(root, "PopupMenu").Value.Type, TValueType::vaNil);
    EXPECT_EQ(Prop(root, "Nothing").Value.Type, TValueType::vaNull);
    EXPECT_EQ(Prop(root, "Anchors").Value.Set, (std::vector<std::string>{"akLeft", "akTop"}));
    EXPECT_TRUE(Prop(root, "NoAnchors").Value.Set.empty());
    EXPECT_EQ(Prop(root, "Font.Name").Value.Bytes, "Tahoma");
    ASSERT_EQ(Prop(root, "Lines.Strings").Value.List.size(), 2u);
    EXPECT_EQ(Prop(root, "Data").Value.Bytes.size(), 33u);
    EXPECT_EQ(static_cast<unsigned char>(Prop(root, "Data").Value.Bytes[32]), 0xFF);
    const auto& items = Prop(root, "Items").Value.Items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_FALSE(items[0].Index.has_value());
    EXPECT_EQ(items[1].Index.value_or(-1), 3);
    EXPECT_EQ(Prop(root, "OnClick").Value.Bytes, "Form1Click");
    ASSERT_EQ(root.Children.size(), 2u);
    EXPECT_EQ(root.Children[0].Children[0].Name, "Button1");
    EXPECT_EQ(root.Children[1].Flags, ffInherited | ffChildPos);
    EXPECT_EQ(root.Children[1].Position, 2);
}

TEST(FormText, CanonicalTextSurvivesBinaryRoundTripExactly) {
    const std::string binary = ObjectTextToBinary(kCanonical);
    EXPECT_TRUE(IsBinaryForm(binary));
    EXPECT_EQ(ObjectBinaryToText(binary), kCanonical);
    // And the binary is stable too.
    EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(binary)), binary);
}

TEST(FormText, LongStringsAreSplitOverLinesAndJoinedBack) {
    TFormObject o;
    o.ClassName = "TMemo";
    o.Name = "Memo1";
    const std::string longText(150, 'x');
    o.Properties.push_back({"Hint", TFormValue::String(longText)});
    const std::string text = WriteTextForm(o);
    EXPECT_NE(text.find("Hint = \r\n    '"), std::string::npos);
    EXPECT_NE(text.find("' +\r\n"), std::string::npos);
    const TFormObject back = ParseTextForm(text);
    EXPECT_EQ(Prop(back, "Hint").Value.Bytes, longText);
    EXPECT_EQ(Prop(back, "Hint").Value.Type, TValueType::vaString);  // 150 bytes still fit a short string
    o.Properties[0].Value = TFormValue::String(std::string(300, 'y'));
    EXPECT_EQ(Prop(ParseTextForm(WriteTextForm(o)), "Hint").Value.Type, TValueType::vaLString);
}

TEST(FormText, AcceptsLayoutsTheCanonicalWriterDoesNotProduce) {
    // Hand-written or foreign layout: LF line ends, odd indentation, hex numbers, a BOM,
    // lower-case keywords, #$ character codes, '+' joins on one line, UTF-8 in quotes.
    const std::string text =
        "\xEF\xBB\xBF"
        "OBJECT Form1 : TForm1\n"
        "Width=$10\n"
        "        Caption = 'a'#$42'c' + 'd'\n"
        "  Title = 'Gr\xC3\xBC\xC3\x9F'\n"
        "  Flag = true\n"
        "  object TLabel\n"
        "  END\n"
        "End";
    TFormObject o = ParseTextForm(text);
    EXPECT_EQ(Prop(o, "Width").Value.Int, 16);
    EXPECT_EQ(Prop(o, "Caption").Value.Bytes, "aBcd");
    EXPECT_EQ(Prop(o, "Title").Value.AsWide(), u"Gr\u00FC\u00DF");
    EXPECT_EQ(Prop(o, "Flag").Value.Type, TValueType::vaTrue);
    ASSERT_EQ(o.Children.size(), 1u);
    EXPECT_EQ(o.Children[0].ClassName, "TLabel");
    EXPECT_EQ(o.Children[0].Name, "");
}

TEST(FormBinary, MatchesTheDocumentedByteLayout) {
    TFormObject o;
    o.ClassName = "TA";
    o.Name = "A1";
    o.Properties.push_back({"N", TFormValue::Integer(-2)});
    o.Properties.push_back({"S", TFormValue::SetOf({"x"})});
    o.Properties.push_back({"W", TFormValue::WString(u"\u0100")});
    TFormObject child;
    child.ClassName = "TB";
    o.Children.push_back(child);
    const std::string expected = std::string("TPF0") +
                                 "\x02TA\x02"
                                 "A1" +
                                 std::string("\x01N\x02\xFE", 4) + std::string("\x01S\x0B\x01x\x00", 6) +
                                 std::string("\x01W\x12\x01\x00\x00\x00\x00\x01", 9) +
                                 std::string("\x00", 1) +                // end of properties
                                 std::string("\x02TB\x00\x00\x00", 6) +  // child: no name, no props, no children
                                 std::string("\x00", 1);                 // end of children
    EXPECT_EQ(WriteBinaryForm(o), expected);
    EXPECT_EQ(ParseBinaryForm(expected), o);
}

TEST(FormBinary, ReadsValueTypesTheTextWriterMustRender) {
    // UTF-8 strings and 64-bit integers come from other writers; they convert to text.
    TFormObject o;
    o.ClassName = "TX";
    TFormValue utf8;
    utf8.Type = TValueType::vaUTF8String;
    utf8.Bytes = "\xE2\x82\xAC";  // euro sign
    o.Properties.push_back({"U", utf8});
    TFormValue wide64;
    wide64.Type = TValueType::vaInt64;
    wide64.Int = 1;
    o.Properties.push_back({"I", wide64});
    const std::string text = ObjectBinaryToText(WriteBinaryForm(o));
    EXPECT_NE(text.find("U = #8364"), std::string::npos);
    EXPECT_NE(text.find("I = 1"), std::string::npos);
}

TEST(FormBinary, ExtendedFloatsKeepTheirValue) {
    for (double d : {0.0, -0.0, 1.0, -2.5, 1e300, 1e-310, 3.141592653589793}) {
        TFormObject o;
        o.ClassName = "TX";
        TFormValue v;
        v.Type = TValueType::vaExtended;
        v.Float = d;
        o.Properties.push_back({"F", v});
        const TFormObject back = ParseBinaryForm(WriteBinaryForm(o));
        EXPECT_EQ(back.Properties[0].Value.Float, d) << d;
        EXPECT_EQ(std::signbit(back.Properties[0].Value.Float), std::signbit(d));
    }
}

TEST(FormErrors, CorruptBinaryIsRefusedWithTheOffset) {
    const std::string good = ObjectTextToBinary(kCanonical);
    // Every truncation is refused, never crashes.
    for (size_t n = 0; n < good.size(); ++n) EXPECT_THROW(ParseBinaryForm(good.substr(0, n)), EReadError) << n;

    try {
        ParseBinaryForm(std::string("TPF0\x02TA\x00\x01N\x63", 11));
        FAIL() << "unknown value type accepted";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Unknown value type 99 at offset 10");
    }
    try {  // a binary value claiming more bytes than there are
        ParseBinaryForm(
            std::string("TPF0\x02TA\x00\x01"
                        "D\x0A\xFF\xFF\xFF\x7F\x01\x02",
                        17));
        FAIL() << "overlong length accepted";
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("past the end"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("offset 15"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ParseBinaryForm(std::string("TPF0\x02TA\x00\x01W\x12\xFF\xFF\xFF\xFF", 14)), EReadError);
    EXPECT_THROW(ParseBinaryForm(good + "x"), EReadError);  // trailing garbage
    EXPECT_THROW(ParseBinaryForm("TPF1"), EReadError);
}

TEST(FormErrors, CorruptTextIsRefusedWithTheLine) {
    struct Case {
        const char* text;
        const char* expect;  // part of the message
    };
    const Case cases[] = {
        {"object A: TA\n  X = 1\n", "'end' expected but end of file found at line 3"},
        {"object A: TA\n  X = 1\nend\nend\n", "Text after the final 'end' at line 4"},
        {"object A: TA\n  X 1\nend\n", "'=' expected but number found at line 2"},
        {"object A: TA\n  X = 'abc\nend\n", "Unterminated string at line 2"},
        {"object A: TA\n  X = {0G}\nend\n", "Invalid binary value at line 2"},
        {"object A: TA\n  X = {012}\nend\n", "Odd number of hex digits"},
        {"object A: TA\n  X = #70000\nend\n", "out of range at line 2"},
        {"object A: TA\n  X = 99999999999999999999\nend\n", "out of range"},
        {"object A: TA\n  X = [a b]\nend\n", "',' expected"},
        {"object A: TA\n  X = <\n  thing\n  >\nend\n", "'item' expected but 'thing' found at line 3"},
        {"object A: TA\n  X = (1 2\nend\n", "')' expected but end of file found"},
        {"thing A: TA\nend\n", "'object' expected"},
        {"", "'object' expected but end of file found at line 1"},
    };
    for (const auto& c : cases) {
        try {
            ParseTextForm(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos)
                << "text: " << c.text << "\nmessage: " << e.what();
        }
    }
}

TEST(FormErrors, DeepNestingIsRefusedNotRecursedInto) {
    std::string text = "object A: TA\n  X = ";
    for (int i = 0; i < 100000; ++i) text += '(';
    EXPECT_THROW(ParseTextForm(text), EReadError);
    std::string binary = "TPF0\x02TA\x00\x01X";
    for (int i = 0; i < 100000; ++i) binary += '\x01';
    EXPECT_THROW(ParseBinaryForm(binary), EReadError);
}

TEST(FormText, ValuesTheTextCannotExpressAreRefusedOnWrite) {
    TFormObject o;
    o.ClassName = "TX";
    TFormValue v;
    v.Type = TValueType::vaExtended;
    v.Float = std::numeric_limits<double>::quiet_NaN();
    o.Properties.push_back({"F", v});
    EXPECT_THROW(WriteTextForm(o), EWriteError);
}

TEST(FormDump, SummariesShowBinarySizeAndFirstBytes) {
    EXPECT_EQ(FormValueSummary(TFormValue::Binary(std::string("\x01\x02\xAB", 3))), "binary, 3 bytes: 01 02 AB");
    EXPECT_EQ(FormValueSummary(TFormValue::Integer(-7)), "-7");
    EXPECT_EQ(FormValueSummary(TFormValue::SetOf({"a", "b"})), "[a, b]");
    EXPECT_EQ(FormValueSummary(TFormValue::String("it's")), "'it''s'");
}
