// The form reader (framework/vd_formfile.h) on arbitrary input, in whichever format the input
// claims (binary when it starts with "TPF0", text otherwise). Bad input must raise EReadError
// and nothing else; whatever parses must survive the writers:
//  (a) its canonical text (unless the text cannot hold a value: EWriteError) parses back to a
//      tree that writes the same text;
//  (b) that text converted to binary and back to text is the same text;
//  (c) its binary form parses back to an equal tree;
//  (d) the streaming conversion (ObjectBinaryToText / ObjectTextToBinary) of the input, of its
//      binary form and of its canonical text gives what writing the parsed tree gives: the same
//      bytes, or the same error with the same message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vd_formfile.h"

namespace {

// Shows what broke (with the texts involved, shortened) and stops the run.
[[noreturn]] void Fail(const char* what, const std::string& detail = {}, const std::string& a = {},
                       const std::string& b = {}) {
    std::fprintf(stderr, "form_reader_fuzz: %s\n", what);
    if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
    const auto show = [](const char* label, const std::string& s) {
        if (s.empty()) return;
        std::fprintf(stderr, "--- %s (%zu bytes) ---\n%.*s\n", label, s.size(),
                     static_cast<int>(s.size() < 2000 ? s.size() : 2000), s.data());
    };
    show("first", a);
    show("second", b);
    std::abort();
}

// "ok:" and the output, or the error's kind and message.
template <class F> std::string Outcome(const F& convert) {
    try {
        return "ok:" + convert();
    } catch (const vd::EReadError& e) {
        return std::string("read error: ") + e.what();
    } catch (const vd::EWriteError& e) {
        return std::string("write error: ") + e.what();
    }
}

// The conversion into the other format against the tree route it replaces.
void CheckConversion(std::string_view input) {
    const bool binary = vd::IsBinaryForm(input);
    const std::string streamed =
        Outcome([&] { return binary ? vd::ObjectBinaryToText(input) : vd::ObjectTextToBinary(input); });
    const std::string viaTree = Outcome([&] {
        return binary ? vd::WriteTextForm(vd::ParseBinaryForm(input)) : vd::WriteBinaryForm(vd::ParseTextForm(input));
    });
    if (streamed != viaTree)
        Fail("the streaming conversion differs from writing the parsed tree", {}, streamed, viaTree);
}

// Binary round trip of a tree the reader accepted.
void CheckBinary(const vd::TFormObject& tree) {
    std::string binary;
    try {
        binary = vd::WriteBinaryForm(tree);
    } catch (const vd::Exception& e) {
        Fail("a tree the reader accepted cannot be written as binary", e.what());
    }
    vd::TFormObject back;
    try {
        back = vd::ParseBinaryForm(binary);
    } catch (const vd::Exception& e) {
        Fail("the binary writer's output does not parse", e.what());
    }
    if (!(back == tree)) Fail("binary round trip changed the tree");
    CheckConversion(binary);
}

// Text stability and the text -> binary -> text conversion.
void CheckText(const vd::TFormObject& tree) {
    std::string text;
    try {
        text = vd::WriteTextForm(tree);
    } catch (const vd::EWriteError&) {
        return;  // a value form text cannot hold (NaN, infinity)
    }
    std::string again;
    try {
        again = vd::WriteTextForm(vd::ParseTextForm(text));
    } catch (const vd::Exception& e) {
        Fail("canonical text does not read back", e.what(), text);
    }
    if (again != text) Fail("text -> tree -> text is not stable", {}, text, again);
    CheckConversion(text);

    std::string converted;
    try {
        converted = vd::ObjectBinaryToText(vd::ObjectTextToBinary(text));
    } catch (const vd::Exception& e) {
        Fail("canonical text does not convert to binary and back", e.what(), text);
    }
    if (converted != text) Fail("text -> binary -> text changed the text", {}, text, converted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckConversion(input);
    vd::TFormObject tree;
    try {
        tree = vd::ParseForm(input);
    } catch (const vd::EReadError&) {
        return 0;  // refused cleanly; any other exception escapes and is reported as a crash
    }
    CheckBinary(tree);
    CheckText(tree);
    return 0;
}
