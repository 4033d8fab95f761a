// Interim implementation of vd_npscript.h, enough for the driver to link and be tested; the
// full one (with its native tests and fuzzer) replaces this file.
#include "vd_npscript.h"

#include <memory>
#include <unordered_set>

namespace vd::np {

namespace {

template <class S, class V> S Take(S& text, V delimiters) {
    S token;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        if (delimiters.find(text[i]) != V::npos) break;
        token += text[i];
    }
    text.erase(0, i < text.size() ? i + 1 : i);
    auto trim = [](S& s) {
        size_t b = 0, e = s.size();
        while (b < e && static_cast<uint32_t>(s[b]) <= 32) ++b;
        while (e > b && static_cast<uint32_t>(s[e - 1]) <= 32) --e;
        s = s.substr(b, e - b);
    };
    trim(token);
    trim(text);
    return token;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    return out;
}

}  // namespace

std::string TakeToken(std::string& text, std::string_view delimiters) { return Take(text, delimiters); }
WideString TakeToken(WideString& text, std::u16string_view delimiters) { return Take(text, delimiters); }

std::vector<std::pair<WideString, WideString>> SplitQuery(WideString& url) {
    std::vector<std::pair<WideString, WideString>> pairs;
    if (url.find(u"http:") != WideString::npos || url.find(u'?') == WideString::npos) return pairs;
    WideString rest = url;
    url = TakeToken(rest, u"?");
    while (!rest.empty()) {
        WideString name = TakeToken(rest, u"=");
        WideString value = TakeToken(rest, u"&");
        pairs.emplace_back(std::move(name), std::move(value));
    }
    return pairs;
}

bool IsScriptUrl(std::u16string_view url) {
    size_t i = 0;
    while (i < url.size() && url[i] <= 32) ++i;
    const std::u16string_view scheme = u"javascript:";
    if (url.size() - i < scheme.size()) return false;
    for (size_t k = 0; k < scheme.size(); ++k) {
        char16_t c = url[i + k];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != scheme[k]) return false;
    }
    return true;
}

WideString LastPathPart(std::u16string_view url) {
    auto after = [](std::u16string_view s, std::u16string_view seps) {
        const size_t p = s.find_last_of(seps);
        return p == std::u16string_view::npos ? s : s.substr(p + 1);
    };
    return WideString(after(after(after(url, u":\\"), u"/"), u"\\"));
}

std::optional<TExternalCall> ParseExternalCall(std::string_view script) {
    const std::string_view prefix = "try { __flash__toXML(";
    if (script.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::string_view rest = script.substr(prefix.size());
    const size_t open = rest.find('(');
    if (open == std::string_view::npos) return std::nullopt;
    TExternalCall call;
    call.Name = std::string(rest.substr(0, open));
    while (!call.Name.empty() && static_cast<unsigned char>(call.Name.back()) <= 32) call.Name.pop_back();
    size_t i = open + 1;
    auto skip = [&] {
        while (i < rest.size() && static_cast<unsigned char>(rest[i]) <= 32) ++i;
    };
    skip();
    if (i < rest.size() && rest[i] == ')') return call;
    while (i < rest.size()) {
        skip();
        std::string value;
        if (i < rest.size() && rest[i] == '"') {
            for (++i; i < rest.size() && rest[i] != '"'; ++i) {
                if (rest[i] == '\\' && i + 1 < rest.size()) {
                    const char e = rest[++i];
                    value += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
                } else {
                    value += rest[i];
                }
            }
            ++i;
            skip();
        } else {
            while (i < rest.size() && rest[i] != ',' && rest[i] != ')') value += rest[i++];
            while (!value.empty() && static_cast<unsigned char>(value.back()) <= 32) value.pop_back();
        }
        call.Arguments.push_back(std::move(value));
        if (i >= rest.size()) return std::nullopt;
        if (rest[i++] == ')') return call;
    }
    return std::nullopt;
}

std::string ExternalCallRequest(const TExternalCall& call) {
    std::string text = "<invoke name=\"" + Escape(call.Name) + "\" returntype=\"XML\"><arguments>";
    for (const auto& a : call.Arguments) text += "<string>" + Escape(a) + "</string>";
    return text + "</arguments></invoke>";
}

const char* InternIdentifier(std::string_view name) {
    // Never freed: identifiers stay valid until the process ends, after every plugin call.
    static auto* table = new std::unordered_set<std::string>();
    return table->emplace(name).first->c_str();
}

}  // namespace vd::np
