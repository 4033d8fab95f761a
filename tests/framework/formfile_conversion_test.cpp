// The text <-> binary conversions go straight from one format's reader to the other's writer.
// Whatever the input, they must give what writing the parsed tree gives: the same bytes, or
// the same error with the same message.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "form_samples.h"
#include "text_support.h"
#include "vd_formfile.h"

using namespace vd;
using vdtest::Crlf;

namespace {

// "ok:" and the output, or the error's kind and message.
template <class F> std::string Outcome(const F& convert) {
    try {
        return "ok:" + convert();
    } catch (const EReadError& e) {
        return std::string("read error: ") + e.what();
    } catch (const EWriteError& e) {
        return std::string("write error: ") + e.what();
    }
}

std::string StreamedToText(const std::string& binary) {
    return Outcome([&] { return ObjectBinaryToText(binary); });
}
std::string TreeToText(const std::string& binary) {
    return Outcome([&] { return WriteTextForm(ParseBinaryForm(binary)); });
}
std::string StreamedToBinary(const std::string& text) {
    return Outcome([&] { return ObjectTextToBinary(text); });
}
std::string TreeToBinary(const std::string& text) {
    return Outcome([&] { return WriteBinaryForm(ParseTextForm(text)); });
}

struct Tally {
    int ok = 0, readErrors = 0, writeErrors = 0;
    void Count(const std::string& outcome) {
        if (outcome.starts_with("ok:")) ++ok;
        else if (outcome.starts_with("read error")) ++readErrors;
        else ++writeErrors;
    }
};

void ExpectBinaryToTextAsTree(const std::string& binary, Tally* tally = nullptr) {
    const std::string streamed = StreamedToText(binary);
    EXPECT_EQ(streamed, TreeToText(binary));
    if (tally) tally->Count(streamed);
}

void ExpectTextToBinaryAsTree(const std::string& text, Tally* tally = nullptr) {
    const std::string streamed = StreamedToBinary(text);
    EXPECT_EQ(streamed, TreeToBinary(text)) << text;
    if (tally) tally->Count(streamed);
}

// Random trees over every value type, with names, strings and numbers the text format can and
// cannot carry.
class FormGenerator {
public:
    explicit FormGenerator(uint32_t seed) : rng_(seed) {}

    TFormObject Object(int depth) {
        TFormObject o;
        o.ClassName = Chance(40) ? std::string(240 + Pick(16), 'C') : "T" + Ident();
        if (Chance(3)) o.Name = Ident();
        if (Chance(6)) o.Flags |= ffInherited;
        else if (Chance(8)) o.Flags |= ffInline;
        if (Chance(6)) {
            o.Flags |= ffChildPos;
            o.Position = Int();
        }
        if (Chance(30)) o.ClassName = "T\x94x";  // no identifier
        for (int i = Pick(5); i > 0; --i) o.Properties.push_back(Property(depth));
        if (depth < 3)
            for (int i = Pick(3); i > 0; --i) o.Children.push_back(Object(depth + 1));
        return o;
    }

private:
    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    bool Chance(int oneIn) { return Pick(oneIn) == 0; }

    std::string Ident() {
        static const char kFirst[] = "ABCXYZabcxyz_";
        static const char kRest[] = "ABCabc_0189";
        std::string s(1, kFirst[Pick(sizeof kFirst - 1)]);
        for (int i = Pick(12); i > 0; --i) s += kRest[Pick(sizeof kRest - 1)];
        return s;
    }

    std::string PropertyName() {
        if (Chance(60)) return Chance(2) ? "End" : "object.X";  // words the reader would take otherwise
        if (Chance(80)) return "Bad name";
        std::string s = Ident();
        if (Chance(4)) s += "." + Ident();
        return s;
    }

    int64_t Int() {
        switch (Pick(5)) {
            case 0:
                return Pick(256) - 128;
            case 1:
                return Pick(65536) - 32768;
            case 2:
                return static_cast<int32_t>(rng_());
            case 3:
                return static_cast<int64_t>((uint64_t{rng_()} << 32) | rng_());
            default:
                return Chance(2) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
        }
    }

    WideString Chars(bool wide) {
        static const char16_t kChars[] = u"aZ0 '#+\t\r\n\x01\x7F\xA0\xE9\xFF";
        WideString s;
        const int n = Chance(5) ? 60 + Pick(250) : Pick(12);
        for (int i = 0; i < n; ++i) {
            s += kChars[Pick(sizeof kChars / sizeof kChars[0] - 1)];
            if (wide && Chance(4)) s += static_cast<char16_t>(0x100 + Pick(0xFE00));
        }
        return s;
    }

    double Float() {
        switch (Pick(8)) {
            case 0:
                return std::numeric_limits<double>::quiet_NaN();  // text cannot hold it
            case 1:
                return -0.0;
            case 2:
                return 1e300 * (Pick(2) ? 1 : -1);
            default:
                return static_cast<double>(static_cast<int32_t>(rng_())) / (1 + Pick(1000));
        }
    }

    TFormProperty Property(int depth) { return {PropertyName(), Value(depth)}; }

    TFormValue Value(int depth) {
        TFormValue v;
        switch (Pick(depth < 4 ? 16 : 13)) {
            case 0:
                return TFormValue::Integer(Int());
            case 1:
                return TFormValue::Boolean(Chance(2));
            case 2:
                return Chance(2) ? TFormValue::Nil() : TFormValue{};
            case 3:
                return TFormValue::Ident(Chance(15) ? "a b" : Chance(2) ? Ident() : Ident() + "." + Ident());
            case 4:
                return TFormValue::String(WideToLatin1(Chars(false)));
            case 5:
                return TFormValue::WString(Chars(true));
            case 6:
                v.Type = TValueType::vaUTF8String;
                v.Bytes = WideToUtf8(Chars(Chance(2)));
                return v;
            case 7: {
                std::string bytes(static_cast<size_t>(Chance(4) ? Pick(100) : Pick(4)), '\0');
                for (char& c : bytes) c = static_cast<char>(rng_());
                return TFormValue::Binary(bytes);
            }
            case 8:
            case 9:
                v.Type = Pick(3) == 0 ? TValueType::vaSingle : Chance(2) ? TValueType::vaDate : TValueType::vaExtended;
                v.Float = Float();
                if (v.Type == TValueType::vaSingle) v.Float = static_cast<float>(v.Float);
                return v;
            case 10:
                v.Type = TValueType::vaCurrency;
                v.Int = Int();
                return v;
            case 11: {
                std::vector<std::string> members;
                for (int i = Pick(4); i > 0; --i) members.push_back(Chance(20) ? "x.y" : Ident());
                return TFormValue::SetOf(members);
            }
            case 12:
                return TFormValue::Integer(Pick(3) - 1);
            case 13:
            case 14:
                v.Type = TValueType::vaList;
                for (int i = Pick(4); i > 0; --i) v.List.push_back(Value(depth + 1));
                return v;
            default:
                v.Type = TValueType::vaCollection;
                for (int i = Pick(4); i > 0; --i) {
                    TFormCollectionItem item;
                    if (Chance(2)) item.Index = Int();
                    for (int k = Pick(3); k > 0; --k) item.Properties.push_back(Property(depth + 1));
                    v.Items.push_back(item);
                }
                return v;
        }
    }

    std::mt19937 rng_;
};

// Small damage to a valid form: cut short, a byte changed, a byte put in.
std::string Damage(const std::string& s, std::mt19937& rng, const std::string& alphabet) {
    if (s.empty()) return s;
    std::string d = s;
    const size_t at = rng() % d.size();
    const char c = alphabet.empty() ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
    switch (rng() % 3) {
        case 0:
            d.resize(at);
            break;
        case 1:
            d[at] = c;
            break;
        default:
            d.insert(d.begin() + static_cast<std::ptrdiff_t>(at), c);
            break;
    }
    return d;
}

// What the canonical form does not show: negative 64-bit and currency values, lists nesting
// lists, sets and collections, a property named like a keyword inside an item, an inline child.
const std::string kMore = Crlf(
    "object Form1: TForm1\n"
    "  Huge = -5000000000\n"
    "  Price = -12.3456c\n"
    "  Lines.Strings = (\n"
    "    'one'\n"
    "    (\n"
    "      1\n"
    "      [a])\n"
    "    <\n"
    "      item\n"
    "        X = 1\n"
    "      end>)\n"
    "  Items = <\n"
    "    item\n"
    "      object = 2\n"
    "    end>\n"
    "  inline Frame1: TFrame [-70000]\n"
    "  end\n"
    "end\n");

}  // namespace

TEST(FormConversion, HandWrittenFormsConvertAsTheTreeWrites) {
    const std::string long300(300, 'y');
    const std::string texts[] = {
        vdtest::CanonicalForm(),
        kMore,
        // Foreign layout: LF, odd spacing, hex, BOM, keywords in other cases, joins, UTF-8.
        "\xEF\xBB\xBF"
        "OBJECT Form1 : TForm1\n"
        "Width=$10\n"
        "        Caption = 'a'#$42'c' + 'd'\n"
        "  Title = 'Gr\xC3\xBC\xC3\x9F' + #$263A\n"
        "  Font . Style = [ fsBold , fsItalic ]\n"
        "  Flag = true Other = NIL\n"
        "  Hint = '" +
            long300 +
            "'\n"
            "  Neg = -$FF\n"
            "  Big = $FFFFFFFFFFFFFFFF\n"
            "  object TLabel\n"
            "  END\n"
            "End",
        // A property after a child: text allows it, binary keeps properties first.
        "object A: TA\n  object B: TB\n  end\n  X = 1\n  object C: TC\n    Y = 2\n  end\n  Z = 'z'\nend\n",
        "object A: TA\nend",
    };
    for (const std::string& text : texts) {
        const std::string binary = StreamedToBinary(text);
        ASSERT_TRUE(binary.starts_with("ok:")) << binary;
        EXPECT_EQ(binary, TreeToBinary(text));
        ExpectBinaryToTextAsTree(binary.substr(3));
    }

    const TFormObject reordered = ParseBinaryForm(ObjectTextToBinary(texts[3]));
    ASSERT_EQ(reordered.Properties.size(), 2u);
    EXPECT_EQ(reordered.Properties[1].Name, "Z");
    EXPECT_EQ(reordered.Children.size(), 2u);
}

TEST(FormConversion, RandomFormsAndDamagedCopiesConvertAsTheTreeWrites) {
    FormGenerator gen(20260101);
    std::mt19937 rng(7);
    Tally toText, toBinary;
    for (int i = 0; i < 300; ++i) {
        const TFormObject tree = gen.Object(0);
        const std::string binary = WriteBinaryForm(tree);
        ExpectBinaryToTextAsTree(binary, &toText);
        for (int k = 0; k < 4; ++k) ExpectBinaryToTextAsTree(Damage(binary, rng, {}), &toText);

        std::string text;
        try {
            text = WriteTextForm(tree);
        } catch (const EWriteError&) {
            continue;  // NaN, or a name text cannot carry
        }
        ExpectTextToBinaryAsTree(text, &toBinary);
        for (int k = 0; k < 4; ++k) ExpectTextToBinaryAsTree(Damage(text, rng, "'#$(){}<>[]=+.-e9 \r\nxZ"), &toBinary);
    }
    // The inputs reach every outcome, so the comparisons above cover errors as well as output.
    EXPECT_GT(toText.ok, 100);
    EXPECT_GT(toText.readErrors, 100);
    EXPECT_GT(toText.writeErrors, 50);
    EXPECT_GT(toBinary.ok, 50);
    EXPECT_GT(toBinary.readErrors, 50);
}

TEST(FormConversion, AReadErrorAnywhereWinsOverAnEarlierWriteError) {
    // A property name text cannot carry, then a value of an unknown type.
    const std::string unwritable = std::string(
        "TPF0\x02TA\x00\x05"
        "Em\x94ty\x09",
        15);
    const std::string fine = unwritable + std::string("\x00\x00", 2);
    const std::string corrupt = unwritable + std::string("\x01N\x63\x00\x00", 5);
    EXPECT_EQ(StreamedToText(fine), "write error: The property name 'Em\x94ty' cannot be written as form text");
    EXPECT_EQ(StreamedToText(corrupt), "read error: Unknown value type 99 at offset 17");
    EXPECT_EQ(StreamedToText(corrupt), TreeToText(corrupt));
    // Cut short after the bad name: still the read error.
    EXPECT_TRUE(StreamedToText(unwritable).starts_with("read error: ")) << StreamedToText(unwritable);
}

TEST(FormConversion, TheManyComponentsFormConvertsAsTheTreeWrites) {
    // The layout the benchmark converts, smaller.
    std::string text = "object Form1: TForm\n  Caption = 'Many components'\n";
    for (int i = 0; i < 200; ++i)
        text += "  object Label" + std::to_string(i) + ": TLabel\n    Left = " + std::to_string(i * 37) +
                "\n    Caption = 'Label number " + std::to_string(i) +
                "'\n    Font.Style = [fsBold, fsItalic]\n    Visible = True\n  end\n";
    text += "end\n";
    ExpectTextToBinaryAsTree(text);
    ExpectBinaryToTextAsTree(ObjectTextToBinary(text));
    EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(ObjectTextToBinary(text))), ObjectTextToBinary(text));
}
