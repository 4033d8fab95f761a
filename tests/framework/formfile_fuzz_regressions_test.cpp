// Inputs on which fuzz/form_reader_fuzz.cpp once found the form reader and writers disagreeing,
// checked against the same round-trip rules the fuzzer enforces.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "vd_formfile.h"

using namespace vd;

namespace {

template <size_t N> std::string Bytes(const char (&s)[N]) { return std::string(s, N - 1); }

// The fuzzer's rules: the binary form gives back an equal tree; the canonical text (when the
// text can hold the values) is stable through the text reader and through binary.
void ExpectRoundTrips(const std::string& input) {
    const TFormObject tree = ParseForm(input);
    EXPECT_EQ(ParseBinaryForm(WriteBinaryForm(tree)), tree);
    const std::string text = WriteTextForm(tree);
    EXPECT_EQ(WriteTextForm(ParseTextForm(text)), text);
    EXPECT_EQ(ObjectBinaryToText(ObjectTextToBinary(text)), text);
}

TFormValue OnlyValue(const TFormObject& o) {
    EXPECT_EQ(o.Properties.size(), 1u);
    return o.Properties.at(0).Value;
}

}  // namespace

TEST(FormFuzzRegressions, NamesTextCannotCarryAreRefusedWhenWritingText) {
    // A binary form holds any bytes in its names; text written from them used to be unreadable.
    const std::string cases[] = {
        Bytes("TPF0\x02TA\x00\x05"
              "Em\x94ty\x0A\x00\x00\x00\x00\x00\x00"),  // property name
        Bytes("TPF0\x02TA\x00\x01X\x07\x03"
              "a b\x00\x00"),  // identifier value
        Bytes("TPF0\x02TA\x00\x01X\x07\x02"
              "1x\x00\x00"),  // identifier value
        Bytes("TPF0\x02TA\x00\x01X\x0B\x03"
              "a.b"
              "\x00\x00\x00"),               // set member
        Bytes("TPF0\x03T A\x00\x00\x00"),    // class name
        Bytes("TPF0\x02TA\x03x.y\x00\x00"),  // object name
        Bytes("TPF0\x02TA\x00\x03"
              "end\x09\x00\x00"),  // would end the object
        Bytes("TPF0\x02TA\x00\x08"
              "Object.X\x09\x00\x00"),  // would start a child
    };
    for (const std::string& binary : cases) {
        const TFormObject tree = ParseBinaryForm(binary);  // still a readable form
        EXPECT_EQ(ParseBinaryForm(WriteBinaryForm(tree)), tree);
        EXPECT_THROW(ObjectBinaryToText(binary), EWriteError) << binary;
    }

    // What the text reader produces is still written: dotted values, keywords as values, and
    // "object" as a property name inside a collection item, where it starts no child.
    ExpectRoundTrips(
        "object A: TA\n"
        "  OnClick = Form2.Button1Click\n"
        "  Mode = end\n"
        "  Items = <\n"
        "    item\n"
        "      object = 1\n"
        "    end>\n"
        "end\n");
}

TEST(FormFuzzRegressions, CurrencyKeepsEveryDigit) {
    // Currency used to be read through a double, which changed values above 2^53 units.
    ExpectRoundTrips("object A: TA\n  Price = -641312587367043.0144c\nend\n");
    EXPECT_EQ(OnlyValue(ParseTextForm("object A: TA\n  P = -641312587367043.0144c\nend\n")).Int,
              -6413125873670430144LL);

    const struct {
        const char* text;
        int64_t scaled;
    } exact[] = {
        {"922337203685477.5807c", INT64_MAX},
        {"-922337203685477.5808c", INT64_MIN},
        {"1.5e3c", 15000000},
        {"12.34e-2c", 1234},
        {"0.00005c", 1},  // halves round away from zero
        {"-0.00005c", -1},
        {"0.00004999c", 0},
        {"0.0e999999999c", 0},
    };
    for (const auto& c : exact) {
        const std::string text = std::string("object A: TA\n  P = ") + c.text + "\nend\n";
        const TFormValue v = OnlyValue(ParseTextForm(text));
        EXPECT_EQ(v.Type, TValueType::vaCurrency) << c.text;
        EXPECT_EQ(v.Int, c.scaled) << c.text;
    }
    for (const char* tooBig : {"922337203685477.5808c", "-922337203685477.58085c", "1e16c"}) {
        const std::string text = std::string("object A: TA\n  P = ") + tooBig + "\nend\n";
        EXPECT_THROW(ParseTextForm(text), EReadError) << tooBig;
    }

    // Every scaled value survives binary -> text -> binary.
    for (int64_t scaled : {INT64_MIN, INT64_MAX, int64_t{9007199254740993}, int64_t{-1}, int64_t{0}}) {
        std::string binary = Bytes("TPF0\x02TA\x00\x01P\x10");
        char raw[8];
        std::memcpy(raw, &scaled, 8);
        binary.append(raw, 8);
        binary += Bytes("\x00\x00");
        EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(binary)), binary) << scaled;
    }
}

TEST(FormFuzzRegressions, SingleFloatsReadBackBitForBit) {
    // 7.038531e-26 is the shortest text of one float but rounded, through a double, to the
    // float next to it.
    for (uint32_t bits : {0x15AE43FDu, 0x00000001u, 0x7F7FFFFFu, 0x80800000u}) {
        std::string binary = Bytes("TPF0\x02TA\x00\x01S\x0F");
        char raw[4];
        std::memcpy(raw, &bits, 4);
        binary.append(raw, 4);
        binary += Bytes("\x00\x00");
        ExpectRoundTrips(binary);
        EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(binary)), binary) << std::hex << bits;
    }
    const TFormValue v = OnlyValue(ParseTextForm("object A: TA\n  S = 7.038531e-26s\nend\n"));
    EXPECT_EQ(std::bit_cast<uint32_t>(static_cast<float>(v.Float)), 0x15AE43FDu);
}

TEST(FormFuzzRegressions, CollectionItemIndexBeyond32Bits) {
    // The binary writer stores such an index as a 64-bit integer, which its reader refused.
    const std::string text = "object A: TA\n  Items = <\n    item [5000000000]\n    end>\nend\n";
    ExpectRoundTrips(text);
    const TFormObject back = ParseBinaryForm(ObjectTextToBinary(text));
    EXPECT_EQ(OnlyValue(back).Items.at(0).Index.value_or(0), 5000000000LL);
}

TEST(FormFuzzRegressions, ClassAndObjectNamesFitAShortStringOrAreRefused) {
    // Text took longer names, then conversion to binary failed: the binary format has no room.
    const std::string longName(256, 'x');
    for (const std::string& header : {"object A: T" + longName, "object " + longName + ": TA", "object T" + longName}) {
        try {
            ParseTextForm("\n" + header + "\nend\n");
            ADD_FAILURE() << "accepted " << header.substr(0, 20);
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find("at line 2"), std::string::npos) << e.what();
        }
    }
    // A class name of 240 bytes or more used to be read back from binary as the flags prefix.
    for (size_t n : {239u, 240u, 255u}) {
        ExpectRoundTrips("object A: " + std::string(n, 'T') + "\nend\n");
        ExpectRoundTrips("object A: TA\n  object " + std::string(n, 'C') + " [1]\n  end\nend\n");
    }
}
