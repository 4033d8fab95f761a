// vdform run in-process on real files: conversion both ways, the dump, and how it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "text_support.h"
#include "vd_formfile.h"
#include "vd_formtool.h"

using namespace vd;
using vdtest::Crlf;
namespace fs = std::filesystem;

namespace {

// Hand-written layout: LF line ends, odd indentation, lower-case keywords, hex numbers.
const std::string kLooseText =
    "object Form1: TForm1\n"
    "Left = $10\n"
    "      Caption = 'It''s' + ' here'\n"
    "  Anchors = [akLeft,akTop]\n"
    "  object Panel1: TPanel\n"
    "     Width = 100\n"
    "  END\n"
    "end\n";

const std::string kCanonicalText = Crlf(
    "object Form1: TForm1\n"
    "  Left = 16\n"
    "  Caption = 'It''s here'\n"
    "  Anchors = [akLeft, akTop]\n"
    "  object Panel1: TPanel\n"
    "    Width = 100\n"
    "  end\n"
    "end\n");

struct Result {
    int Code;
    std::string Out;
    std::string Err;
};

Result RunTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunVdform(args, out, err);
    return {code, out.str(), err.str()};
}

std::string U8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

class Vdform : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("vdform_test_" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path PathOf(const std::string& name) const { return dir_ / fs::path(std::u8string(name.begin(), name.end())); }
    // Path (UTF-8, as vdform takes it) of a file in the test's own folder.
    std::string File(const std::string& name) const { return U8(PathOf(name)); }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream f(PathOf(name), std::ios::binary);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(f.good()) << name;
    }
    std::string Read(const std::string& name) const {
        std::ifstream f(PathOf(name), std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }
    bool Exists(const std::string& name) const { return fs::exists(PathOf(name)); }
    size_t FileCount() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++n;
        return n;
    }

    // An error report: exactly one line, naming the file.
    void ExpectOneLineAbout(const Result& r, const std::string& file, const std::string& part) const {
        EXPECT_EQ(r.Code, 2);
        EXPECT_TRUE(r.Out.empty()) << r.Out;
        ASSERT_FALSE(r.Err.empty());
        EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
        EXPECT_EQ(r.Err.rfind("vdform: " + file + ": ", 0), 0u) << r.Err;
        EXPECT_NE(r.Err.find(part), std::string::npos) << r.Err;
    }

    fs::path dir_;
};

// Bytes of a literal, embedded zeros included.
template <size_t N> std::string Bytes(const char (&s)[N]) { return std::string(s, N - 1); }

// A binary form whose only property is an extended NaN: readable, but form text cannot hold it.
std::string BinaryWithNaN() {
    return Bytes(
        "TPF0\x02TA\x00\x01"
        "F\x05"
        "\x00\x00\x00\x00\x00\x00\x00\xC0\xFF\x7F"  // extended: quiet NaN
        "\x00\x00");
}

}  // namespace

TEST_F(Vdform, ConvertsTextToBinaryAndBackToCanonicalText) {
    Write("in.txt", kLooseText);
    Result r = RunTool({"convert", File("in.txt"), File("out.dfm")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_TRUE(r.Out.empty());
    EXPECT_TRUE(r.Err.empty());
    const std::string binary = Read("out.dfm");
    EXPECT_EQ(binary.substr(0, 4), "TPF0");

    r = RunTool({"convert", File("out.dfm"), File("back.txt")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Read("back.txt"), kCanonicalText);

    // The binary the canonical text gives is the same bytes again.
    r = RunTool({"convert", File("back.txt"), File("again.dfm")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Read("again.dfm"), binary);
}

TEST_F(Vdform, ForcedFormatKeepsTheInputFormat) {
    Write("in.txt", kLooseText);
    Result r = RunTool({"convert", "--text", File("in.txt"), File("canon.txt")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Read("canon.txt"), kCanonicalText);

    // The option may follow the file names; binary to binary keeps every byte.
    ASSERT_EQ(RunTool({"convert", File("in.txt"), File("a.dfm")}).Code, 0);
    r = RunTool({"convert", File("a.dfm"), File("b.dfm"), "--binary"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Read("b.dfm"), Read("a.dfm"));

    // Converting a file onto itself replaces it with the converted form.
    Write("self.txt", kLooseText);
    ASSERT_EQ(RunTool({"convert", "--text", File("self.txt"), File("self.txt")}).Code, 0);
    EXPECT_EQ(Read("self.txt"), kCanonicalText);
}

TEST_F(Vdform, ConversionReplacesAnExistingOutputFile) {
    Write("in.txt", kLooseText);
    Write("out.txt", std::string(5000, 'z'));  // longer than the result: no stale tail may remain
    ASSERT_EQ(RunTool({"convert", "--text", File("in.txt"), File("out.txt")}).Code, 0);
    EXPECT_EQ(Read("out.txt"), kCanonicalText);
    EXPECT_EQ(FileCount(), 2u);  // no temporary file left beside it
}

TEST_F(Vdform, HandlesFileNamesOutsideAscii) {
    const std::string in = "\xD1\x84\xD0\xBE\xD1\x80\xD0\xBC\xD0\xB0.txt";  // "форма.txt"
    const std::string out = "\xE7\xAA\x97.dfm";                             // "窗.dfm"
    Write(in, kLooseText);
    const Result r = RunTool({"convert", File(in), File(out)});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Read(out), ObjectTextToBinary(kCanonicalText));
}

TEST_F(Vdform, DumpShowsTheTreeWithNestedItemsAndChildren) {
    Write("form.txt",
          "object Form1: TForm1\n"
          "  Caption = 'Main'\n"
          "  Lines.Strings = (\n"
          "    'one'\n"
          "    'two')\n"
          "  Columns = <\n"
          "    item\n"
          "      Width = 10\n"
          "    end\n"
          "    item [3]\n"
          "      Title = 'x'\n"
          "      Visible = False\n"
          "    end>\n"
          "  Data = {0102AB}\n"
          "  object Panel1: TPanel\n"
          "    Align = alTop\n"
          "    object Button1: TButton\n"
          "      Tag = 7\n"
          "    end\n"
          "  end\n"
          "  inherited Label1: TLabel [2]\n"
          "  end\n"
          "end\n");
    const std::string expected =
        "TForm1 Form1\n"
        "  Caption = 'Main'\n"
        "  Lines.Strings = list of 2 values\n"
        "    'one'\n"
        "    'two'\n"
        "  Columns = collection of 2 items\n"
        "    item\n"
        "      Width = 10\n"
        "    item [3]\n"
        "      Title = 'x'\n"
        "      Visible = False\n"
        "  Data = binary, 3 bytes: 01 02 AB\n"
        "  TPanel Panel1\n"
        "    Align = alTop\n"
        "    TButton Button1\n"
        "      Tag = 7\n"
        "  TLabel Label1 (inherited) [2]\n";
    Result r = RunTool({"dump", File("form.txt")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_TRUE(r.Err.empty());
    EXPECT_EQ(r.Out, expected);

    // The binary form of the same tree dumps identically.
    ASSERT_EQ(RunTool({"convert", File("form.txt"), File("form.dfm")}).Code, 0);
    r = RunTool({"dump", File("form.dfm")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(r.Out, expected);
}

TEST_F(Vdform, DumpShowsValuesTheTextFormatCannotHold) {
    // A NaN read from a binary form stops conversion to text but not the dump.
    Write("nan.dfm", BinaryWithNaN());
    Result r = RunTool({"dump", File("nan.dfm")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(r.Out, "TA\n  F = NaN\n");

    // Names and identifiers with bytes form text has no spelling for, one a line break.
    Write("name.dfm", Bytes("TPF0\x02TA\x03"
                            "a\nb\x01P\x07\x03"
                            "x y\x01Q\x0B\x02"
                            "1z\x00\x00\x00"));
    r = RunTool({"dump", File("name.dfm")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(r.Out, "TA a?b\n  P = x y\n  Q = [1z]\n");
}

TEST_F(Vdform, CorruptInputIsOneLineWithThePosition) {
    Write("bad.dfm", Bytes("TPF0\x02TA\x00\x01N\x63"));  // unknown value type 99
    Result r = RunTool({"convert", File("bad.dfm"), File("out.txt")});
    ExpectOneLineAbout(r, File("bad.dfm"), "at offset 10");
    r = RunTool({"dump", File("bad.dfm")});
    ExpectOneLineAbout(r, File("bad.dfm"), "at offset 10");

    Write("bad.txt", "object A: TA\n  X = 1\n  Y 2\nend\n");
    r = RunTool({"convert", File("bad.txt"), File("out.dfm")});
    ExpectOneLineAbout(r, File("bad.txt"), "at line 3");

    Write("cut.dfm", ObjectTextToBinary(kCanonicalText).substr(0, 30));
    r = RunTool({"dump", File("cut.dfm")});
    ExpectOneLineAbout(r, File("cut.dfm"), "at offset");

    Write("empty.txt", "");
    r = RunTool({"convert", File("empty.txt"), File("out.dfm")});
    ExpectOneLineAbout(r, File("empty.txt"), "at line 1");
}

TEST_F(Vdform, UnreadableInputIsReported) {
    Result r = RunTool({"convert", File("missing.txt"), File("out.dfm")});
    ExpectOneLineAbout(r, File("missing.txt"), "no such file");
    r = RunTool({"dump", File("missing.txt")});
    ExpectOneLineAbout(r, File("missing.txt"), "no such file");

    fs::create_directory(dir_ / "sub");
    r = RunTool({"dump", File("sub")});
    ExpectOneLineAbout(r, File("sub"), "directory");
}

TEST_F(Vdform, FailedConversionLeavesTheOutputAlone) {
    Write("bad.txt", "object A: TA\n  X = (1\n");
    Write("out.dfm", "previous contents");
    Result r = RunTool({"convert", File("bad.txt"), File("out.dfm")});
    EXPECT_EQ(r.Code, 2);
    EXPECT_EQ(Read("out.dfm"), "previous contents");
    r = RunTool({"convert", File("bad.txt"), File("new.dfm")});
    EXPECT_EQ(r.Code, 2);
    EXPECT_FALSE(Exists("new.dfm"));

    // Readable input the output format cannot express fails the same way.
    Write("nan.dfm", BinaryWithNaN());
    Write("out.txt", "previous text");
    r = RunTool({"convert", File("nan.dfm"), File("out.txt")});
    ExpectOneLineAbout(r, File("nan.dfm"), "NaN");
    EXPECT_EQ(Read("out.txt"), "previous text");
    EXPECT_EQ(FileCount(), 4u);  // bad.txt, out.dfm, nan.dfm, out.txt: nothing else

    // An output path that cannot be created names OUT.
    Write("in.txt", kLooseText);
    r = RunTool({"convert", File("in.txt"), File("no-such-dir/out.dfm")});
    ExpectOneLineAbout(r, File("no-such-dir/out.dfm"), "cannot");
}

TEST_F(Vdform, CommandLineMistakesPrintUsageAndExit1) {
    Write("in.txt", kLooseText);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate", File("in.txt")},
        {"convert", File("in.txt")},
        {"convert", File("in.txt"), File("a"), File("b")},
        {"convert", "--text", "--binary", File("in.txt"), File("out")},
        {"convert", "--json", File("in.txt"), File("out")},
        {"dump"},
        {"dump", File("in.txt"), File("in.txt")},
    };
    for (const auto& args : bad) {
        const Result r = RunTool(args);
        EXPECT_EQ(r.Code, 1) << (args.empty() ? "(none)" : args[0]);
        EXPECT_TRUE(r.Out.empty());
        EXPECT_NE(r.Err.find("usage: vdform convert"), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(Exists("out"));

    const Result help = RunTool({"--help"});
    EXPECT_EQ(help.Code, 0);
    EXPECT_NE(help.Out.find("exit status"), std::string::npos);
    EXPECT_TRUE(help.Err.empty());
}
