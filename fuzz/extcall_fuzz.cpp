// The Netscape driver's external calls and its token scanner on arbitrary text. The input is
// read as a whole script and, behind the call wrapper, as a call text. They must not crash or
// hang, and for every input:
//   - a parsed call's request is the fixed markup around escaped text: outside the markup no
//     raw <, >, " or ', every & starts one of the five entities, one <string> element per
//     argument, and the escaped texts read back as the name and the arguments
//   - a parsed call written again with every argument as a quoted string parses to the same
//     name and arguments
//   - TakeToken's token, a delimiter and the rest reassemble the text up to blanks; SplitQuery
//     leaves http: URLs and URLs without "?" alone and its pieces hold no separator of theirs
//   - IsScriptUrl ignores leading blanks; LastPathPart is a suffix without separators
//   - InternIdentifier gives one pointer per text
//   - a plugin's answer read as an integer or a Boolean (the input as a String variant, and its
//     first bytes as a Double) agrees with itself: a String that reads as 0 is false unless it
//     says "true", and an integer identifier keeps its integer
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "vd_npscript.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "extcall_fuzz: %s\n", what);
    std::abort();
}

constexpr std::string_view kWrapperStart = "try { __flash__toXML(";
constexpr std::string_view kWrapperEnd = ") ; } catch (e) { \"<undefined/>\"; }";

// Reads one escaped text of the request back; false where it holds raw markup characters or an
// & that starts no entity.
bool Unescape(std::string_view text, std::string& out) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '<' || c == '>' || c == '"' || c == '\'') return false;
        if (c != '&') {
            out += c;
            ++i;
            continue;
        }
        bool known = false;
        for (const auto& [entity, ch] : kEntities) {
            if (text.substr(i).starts_with(entity)) {
                out += ch;
                i += entity.size();
                known = true;
                break;
            }
        }
        if (!known) return false;
    }
    return true;
}

bool Expect(std::string_view text, size_t& pos, std::string_view piece) {
    if (!text.substr(pos).starts_with(piece)) return false;
    pos += piece.size();
    return true;
}

void CheckRequest(const vd::np::TExternalCall& call) {
    const std::string request = vd::np::ExternalCallRequest(call);
    const std::string_view r(request);
    std::string text;
    size_t pos = 0;
    if (!Expect(r, pos, "<invoke name=\"")) Fail("request start");
    const size_t nameEnd = r.find('"', pos);
    if (nameEnd == r.npos || !Unescape(r.substr(pos, nameEnd - pos), text)) Fail("name not escaped");
    if (text != call.Name) Fail("name does not read back");
    pos = nameEnd;
    if (!Expect(r, pos, "\" returntype=\"XML\"><arguments>")) Fail("request head");
    size_t count = 0;
    while (!Expect(r, pos, "</arguments></invoke>")) {
        if (!Expect(r, pos, "<string>")) Fail("argument element expected");
        const size_t end = r.find('<', pos);
        if (end == r.npos || !Unescape(r.substr(pos, end - pos), text)) Fail("argument not escaped");
        if (count >= call.Arguments.size() || text != call.Arguments[count]) Fail("argument does not read back");
        pos = end;
        if (!Expect(r, pos, "</string>")) Fail("argument element end");
        ++count;
    }
    if (pos != r.size()) Fail("text after the request");
    if (count != call.Arguments.size()) Fail("one <string> per argument");
}

void CheckRewritten(const vd::np::TExternalCall& call) {
    std::string script = std::string(kWrapperStart) + call.Name + "(";
    for (size_t i = 0; i < call.Arguments.size(); ++i) {
        if (i) script += ", ";
        script += '"';
        for (const char c : call.Arguments[i]) {
            if (c == '"' || c == '\\') script += '\\';
            script += c;
        }
        script += '"';
    }
    script += ")";
    script += kWrapperEnd;
    const std::optional<vd::np::TExternalCall> again = vd::np::ParseExternalCall(script);
    if (!again) Fail("a call written again does not parse");
    if (again->Name != call.Name || again->Arguments != call.Arguments) Fail("a call written again changed");
}

void CheckCall(std::string_view script) {
    const std::optional<vd::np::TExternalCall> call = vd::np::ParseExternalCall(script);
    if (!call) return;
    if (call->Name.empty()) Fail("empty name");
    CheckRequest(*call);
    CheckRewritten(*call);
}

template <class Char> bool IsBlank(Char c) { return static_cast<std::make_unsigned_t<Char>>(c) <= 32; }

// text == blanks token blanks [delimiter blanks rest] blanks, token without delimiters, and both
// parts without blanks at their ends.
template <class Char> void CheckTakeToken(std::basic_string<Char> text, std::basic_string_view<Char> delimiters) {
    const std::basic_string<Char> original = text;
    const std::basic_string<Char> token = vd::np::TakeToken(text, delimiters);
    const std::basic_string<Char>& rest = text;
    for (const auto* part : {&token, &rest})
        if (!part->empty() && (IsBlank(part->front()) || IsBlank(part->back()))) Fail("TakeToken did not trim");
    if (token.find_first_of(delimiters) != token.npos) Fail("TakeToken: delimiter in the token");

    const std::basic_string_view<Char> o(original);
    size_t pos = 0;
    while (pos < o.size() && IsBlank(o[pos]) && delimiters.find(o[pos]) == delimiters.npos) ++pos;
    if (!o.substr(pos).starts_with(token)) Fail("TakeToken: token is not the front");
    pos += token.size();
    while (pos < o.size() && IsBlank(o[pos]) && delimiters.find(o[pos]) == delimiters.npos) ++pos;
    if (pos < o.size()) {
        if (delimiters.find(o[pos]) == delimiters.npos) Fail("TakeToken: token ended before a delimiter");
        ++pos;
        while (pos < o.size() && IsBlank(o[pos])) ++pos;
        if (!o.substr(pos).starts_with(rest)) Fail("TakeToken: rest is not what follows");
        pos += rest.size();
        while (pos < o.size() && IsBlank(o[pos])) ++pos;
        if (pos != o.size()) Fail("TakeToken: text lost after the rest");
    } else if (!rest.empty()) {
        Fail("TakeToken: rest without a delimiter");
    }
}

void CheckUrl(const vd::WideString& text) {
    vd::WideString url = text;
    const auto pairs = vd::np::SplitQuery(url);
    if (text.find(u"http:") != text.npos || text.find(u'?') == text.npos) {
        if (url != text || !pairs.empty()) Fail("SplitQuery touched a URL it must leave");
    } else {
        if (url.find(u'?') != url.npos) Fail("SplitQuery: ? left in the URL");
        for (const auto& [name, value] : pairs)
            if (name.find(u'=') != name.npos || value.find(u'&') != value.npos) Fail("SplitQuery: separator in a pair");
    }

    const bool script = vd::np::IsScriptUrl(text);
    if (vd::np::IsScriptUrl(u" \t" + text) != script) Fail("IsScriptUrl: leading blanks");
    if (!vd::np::IsScriptUrl(u"JavaScript:" + text)) Fail("IsScriptUrl: scheme missed");

    const vd::WideString last = vd::np::LastPathPart(text);
    if (last.find_first_of(u"/\\:") != last.npos || !text.ends_with(last)) Fail("LastPathPart");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckCall(bytes);
    CheckCall(std::string(kWrapperStart) + std::string(bytes));

    vd::WideString wide(size / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    CheckTakeToken(wide, std::u16string_view(u"?=&,").substr(0, size ? data[0] % 5 : 0));
    CheckUrl(wide);

    // A short key keeps the process-wide table small over a long run.
    const std::string_view key = bytes.substr(0, 2);
    const char* id = vd::np::InternIdentifier(key);
    if (vd::np::InternIdentifier(std::string(key)) != id) Fail("InternIdentifier: two pointers for one text");
    if (std::memcmp(id, key.data(), key.size()) != 0 || id[key.size()] != '\0') Fail("InternIdentifier: text");

    vd::np::NPVariant text{};
    text.type = vd::np::NPVariantType_String;
    text.value.stringValue = vd::np::NPString{bytes.data(), static_cast<uint32_t>(bytes.size())};
    const int32_t asInt = vd::np::VariantToInt(text);
    if (asInt != 0 && !vd::np::VariantToBool(text)) Fail("VariantToBool: a number other than 0 read as false");
    if (size >= sizeof(double)) {
        vd::np::NPVariant number{};
        number.type = vd::np::NPVariantType_Double;
        std::memcpy(&number.value.doubleValue, data, sizeof(double));
        const int32_t n = vd::np::VariantToInt(number);
        if (n != 0 && !vd::np::VariantToBool(number)) Fail("VariantToBool: a Double other than 0 read as false");
        const void* intId = vd::np::InternIntIdentifier(n);
        int32_t back = 0;
        if (!vd::np::IntIdentifierValue(intId, back) || back != n) Fail("InternIntIdentifier: integer lost");
    }
    return 0;
}
