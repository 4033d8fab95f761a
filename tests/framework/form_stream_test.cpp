// Forms read from a stream, and the memory-stream operations that let a large binary value move
// from the form into the object that keeps it without being copied.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "vd_filer.h"
#include "vd_formfile.h"
#include "vd_streams.h"

using namespace vd;

namespace {

std::string Content(TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

// A memory stream holding bytes, at position 0.
std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
    auto s = std::make_unique<TMemoryStream>();
    if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s->SetPosition(0);
    return s;
}

std::string Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

// A binary form with values on both sides of a large binary one, and the value itself.
std::string FormWithBlob(size_t blobSize, std::string& blob) {
    blob = Noise(blobSize, static_cast<unsigned>(blobSize));
    TFormObject root;
    root.ClassName = "TThing";
    root.Name = "Thing1";
    root.Properties.push_back({"Before", TFormValue::String("ahead")});
    root.Properties.push_back({"Blob", TFormValue::Binary(blob)});
    root.Properties.push_back({"After", TFormValue::Integer(-77)});
    TFormObject child;
    child.ClassName = "TChild";
    child.Name = "C";
    child.Properties.push_back({"Small", TFormValue::Binary("xyz")});
    root.Children.push_back(child);
    return WriteBinaryForm(root);
}

TEST(MemoryStreamBlocks, AdoptTakesTheBytesAtPositionZero) {
    TMemoryStream s;
    s.WriteBuffer("old", 3);
    s.Adopt(std::string("new content"));
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(Content(s), "new content");
    s.Seek(0, TSeekOrigin::soEnd);
    s.WriteBuffer("!", 1);
    EXPECT_EQ(Content(s), "new content!");
}

TEST(MemoryStreamBlocks, TakeRestMovesWhatFollowsThePositionAndBehavesAsAFreshStream) {
    auto sourceOwned = StreamOf("headerPAYLOAD");
    TMemoryStream& source = *sourceOwned;
    source.SetPosition(6);
    TMemoryStream taken;
    taken.TakeRest(source);
    EXPECT_EQ(Content(taken), "PAYLOAD");
    EXPECT_EQ(taken.GetPosition(), 0);
    EXPECT_EQ(source.GetSize(), 0) << "the source gives its block away";
    EXPECT_EQ(source.GetPosition(), 0);

    // Everything a memory stream does still works on the taken block.
    char buf[3] = {};
    taken.ReadBuffer(buf, 3);
    EXPECT_EQ(std::string(buf, 3), "PAY");
    taken.Seek(0, TSeekOrigin::soEnd);
    taken.WriteBuffer(" and more", 9);
    EXPECT_EQ(Content(taken), "PAYLOAD and more");
    taken.SetSize(4);
    EXPECT_EQ(Content(taken), "PAYL");
    taken.SetSize(6);
    EXPECT_EQ(Content(taken), std::string("PAYL\0\0", 6)) << "grown bytes are zero";
    TMemoryStream copy;
    copy.LoadFromStream(taken);
    EXPECT_EQ(Content(copy), Content(taken));
    TMemoryStream saved;
    taken.SaveToStream(saved);
    EXPECT_EQ(Content(saved), Content(taken));
    taken.Clear();
    EXPECT_EQ(taken.GetSize(), 0);

    // Taking from itself drops what lies before the position.
    auto selfOwned = StreamOf("abcdef");
    TMemoryStream& self = *selfOwned;
    self.SetPosition(2);
    self.TakeRest(self);
    EXPECT_EQ(Content(self), "cdef");
    // A position past the end takes nothing.
    auto pastOwned = StreamOf("abc");
    TMemoryStream& past = *pastOwned;
    past.SetPosition(10);
    TMemoryStream none;
    none.TakeRest(past);
    EXPECT_EQ(none.GetSize(), 0);
}

TEST(MemoryStreamBlocks, SwapCarriesATakenBlockAlong) {
    auto sourceOwned = StreamOf("..xyz");
    TMemoryStream& source = *sourceOwned;
    source.SetPosition(2);
    TMemoryStream taken;
    auto otherOwned = StreamOf("other");
    TMemoryStream& other = *otherOwned;
    taken.TakeRest(source);
    taken.Swap(other);
    EXPECT_EQ(Content(other), "xyz");
    EXPECT_EQ(Content(taken), "other");
}

// A stream read goes a window at a time: values shorter and longer than a window, and values
// across window boundaries, must come out exactly as from the whole form in memory.
TEST(FormFromStream, BinaryFormsReadThroughTheStreamEqualTheInMemoryParse) {
    for (size_t blobSize : {size_t{0}, size_t{10}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{200001}}) {
        std::string blob;
        const std::string form = FormWithBlob(blobSize, blob);
        const TFormObject expected = ParseForm(form);
        auto sOwned = StreamOf("lead" + form);
        TMemoryStream& s = *sOwned;  // read from the position, not the start
        s.SetPosition(4);
        const TFormObject got = ParseForm(s);
        EXPECT_EQ(got, expected) << blobSize;
        ASSERT_EQ(got.Properties.size(), 3u);
        EXPECT_EQ(got.Properties[1].Value.Bytes, blob);
    }
    // A text form from a stream is read whole.
    const std::string text = "object A: TA\r\n  X = {\r\n    0102 03\r\n    0 4}\r\nend\r\n";
    auto sOwned = StreamOf(text);
    TMemoryStream& s = *sOwned;
    const TFormObject got = ParseForm(s);
    EXPECT_EQ(got, ParseForm(text));
    EXPECT_EQ(got.Properties.at(0).Value.Bytes, std::string("\x01\x02\x03\x04", 4));
}

TEST(FormFromStream, DamagedBinaryFormsFailAsFromMemoryWithTheSameOffsets) {
    std::string blob;
    const std::string form = FormWithBlob(70000, blob);
    std::mt19937 rng(11);
    std::vector<size_t> cuts{0, 3, 4, 5, 20, form.size() - 1};
    for (int i = 0; i < 40; ++i) cuts.push_back(rng() % form.size());
    for (size_t cut : cuts) {
        const std::string damaged = form.substr(0, cut);
        std::string expected;
        try {
            ParseForm(damaged);
            ADD_FAILURE() << "a form cut at " << cut << " was accepted";
            continue;
        } catch (const EReadError& e) {
            expected = e.what();
        }
        auto sOwned = StreamOf(damaged);
        TMemoryStream& s = *sOwned;
        try {
            ParseForm(s);
            ADD_FAILURE() << "a form cut at " << cut << " was accepted from a stream";
        } catch (const EReadError& e) {
            EXPECT_EQ(std::string(e.what()), expected) << "cut at " << cut;
        }
    }
    // Trailing bytes and a length claiming more than there is.
    auto trailingOwned = StreamOf(form + "x");
    TMemoryStream& trailing = *trailingOwned;
    EXPECT_THROW(ParseForm(trailing), EReadError);
    std::string overlong = form;
    const size_t at = overlong.find(blob.substr(0, 16)) - 4;  // the blob's length field
    overlong[at + 3] = 0x40;
    auto sOwned = StreamOf(overlong);
    TMemoryStream& s = *sOwned;
    try {
        ParseForm(s);
        ADD_FAILURE() << "overlong length accepted";
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("past the end"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("offset " + std::to_string(at + 4)), std::string::npos) << e.what();
    }
}

TEST(FormText, BinaryDigitsMayBeSplitAnywhereAndBadDigitsNameTheirLine) {
    const std::string text = "object A: TA\n  X = {\n  A\n  B c d\n\tEf 0\r\n1}\n  Y = 1\nend\n";
    const TFormObject got = ParseTextForm(text);
    EXPECT_EQ(got.Properties.at(0).Value.Bytes, std::string("\xAB\xCD\xEF\x01", 4));
    EXPECT_EQ(got.Properties.at(1).Value.Int, 1);
    try {
        ParseTextForm("object A: TA\n  X = {\n    0011\n    22g3}\nend\n");
        ADD_FAILURE() << "a bad digit was accepted";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Invalid binary value at line 4");
    }
    EXPECT_THROW(ParseTextForm("object A: TA\n  X = {00 1}\nend\n"), EReadError);
    try {
        ParseTextForm("object A: TA\n  X = {0011\n");
        ADD_FAILURE() << "a value without its brace was accepted";
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("'}' expected but end of file found"), std::string::npos) << e.what();
    }
}

}  // namespace
