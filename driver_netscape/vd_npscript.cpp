#include "vd_npscript.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

namespace vd::np {

namespace {

template <class Char> bool IsBlank(Char c) {
    // Codes up to 32; a narrow byte above 127 is text, not blank, whatever the sign of char.
    return static_cast<std::make_unsigned_t<Char>>(c) <= 32;
}

template <class Char> std::basic_string_view<Char> Trim(std::basic_string_view<Char> s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// ---------------------------------------------------------------------------------------------
// The movie's call, read as the script literals the plugin writes for it.

constexpr std::string_view kCallPrefix = "try { __flash__toXML(";
constexpr std::string_view kCallEnd = ") ; } catch (e)";

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class TCallScanner {
public:
    explicit TCallScanner(std::string_view text) : s_(text) {}

    std::optional<TExternalCall> Call() {
        // The name is everything before the argument list; an end of the wrapper before it
        // means there is no argument list at all.
        const size_t open = s_.find('(');
        if (open == s_.npos) return std::nullopt;
        const size_t end = s_.find(kCallEnd);
        if (end != s_.npos && end < open) return std::nullopt;
        TExternalCall call;
        call.Name = std::string(Trim(s_.substr(0, open)));
        if (call.Name.empty()) return std::nullopt;
        pos_ = open + 1;

        SkipBlanks();
        if (Peek() == ')') {
            ++pos_;
        } else {
            for (;;) {
                std::optional<std::string> arg = Argument();
                if (!arg) return std::nullopt;
                call.Arguments.push_back(std::move(*arg));
                SkipBlanks();
                if (AtEnd()) return std::nullopt;
                const char c = s_[pos_++];
                if (c == ')') break;
                if (c != ',') return std::nullopt;
            }
        }
        // After the call only the wrapper's end may follow (or nothing, when the wrapper was
        // cut short); text after the end is not looked at.
        SkipBlanks();
        if (AtEnd() || s_.substr(pos_).starts_with(kCallEnd)) return call;
        return std::nullopt;
    }

private:
    bool AtEnd() const { return pos_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(s_[pos_])) ++pos_;
    }

    std::optional<std::string> Argument() {
        SkipBlanks();
        if (Peek() == '"' || Peek() == '\'') return StringLiteral();
        return RawLiteral();
    }

    // A quoted string: its value with the escapes undone.
    std::optional<std::string> StringLiteral() {
        const char quote = s_[pos_++];
        std::string value;
        while (!AtEnd()) {
            const char c = s_[pos_++];
            if (c == quote) return value;
            if (c != '\\') {
                value += c;
                continue;
            }
            if (AtEnd()) break;
            const char e = s_[pos_++];
            switch (e) {
                case 'n':
                    value += '\n';
                    break;
                case 'r':
                    value += '\r';
                    break;
                case 't':
                    value += '\t';
                    break;
                case 'b':
                    value += '\b';
                    break;
                case 'f':
                    value += '\f';
                    break;
                case 'v':
                    value += '\v';
                    break;
                case '0':
                    value += '\0';
                    break;
                case 'x': {
                    const std::optional<char32_t> code = Hex(2);
                    if (!code) return std::nullopt;
                    AppendUtf8(value, *code);
                    break;
                }
                case 'u': {
                    const std::optional<char32_t> code = UnicodeEscape();
                    if (!code) return std::nullopt;
                    AppendUtf8(value, *code);
                    break;
                }
                default:
                    value += e;
                    break;  // \" \' \\ and every other character
            }
        }
        return std::nullopt;  // unterminated
    }

    std::optional<char32_t> Hex(size_t digits) {
        if (s_.size() - pos_ < digits) return std::nullopt;
        char32_t code = 0;
        for (size_t i = 0; i < digits; ++i) {
            const int v = HexValue(s_[pos_ + i]);
            if (v < 0) return std::nullopt;
            code = code * 16 + static_cast<char32_t>(v);
        }
        pos_ += digits;
        return code;
    }

    // \uXXXX after the "\u": a high surrogate takes the low one of a following \uXXXX with it;
    // a surrogate without its partner is a replacement character, as elsewhere in the package.
    std::optional<char32_t> UnicodeEscape() {
        const std::optional<char32_t> unit = Hex(4);
        if (!unit) return std::nullopt;
        if (*unit >= 0xDC00 && *unit <= 0xDFFF) return 0xFFFD;
        if (*unit < 0xD800 || *unit > 0xDBFF) return unit;
        if (s_.substr(pos_).starts_with("\\u")) {
            const size_t at = pos_;
            pos_ += 2;
            const std::optional<char32_t> low = Hex(4);
            if (low && *low >= 0xDC00 && *low <= 0xDFFF) return 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
            pos_ = at;  // not a partner: read again as an escape of its own
        }
        return 0xFFFD;
    }

    // Numbers, true, false, null, undefined, and nested array, object or bracketed forms: the
    // raw text up to the ',' or ')' that ends the argument, brackets balanced and the contents
    // of strings inside skipped. Nesting is tracked on a list, not by recursion, so depth costs
    // no stack.
    std::optional<std::string> RawLiteral() {
        const size_t start = pos_;
        std::string closers;
        while (!AtEnd()) {
            const char c = s_[pos_];
            if (closers.empty() && (c == ',' || c == ')')) break;
            ++pos_;
            switch (c) {
                case '(':
                    closers += ')';
                    break;
                case '[':
                    closers += ']';
                    break;
                case '{':
                    closers += '}';
                    break;
                case ')':
                case ']':
                case '}':
                    if (closers.empty() || closers.back() != c) return std::nullopt;
                    closers.pop_back();
                    break;
                case '"':
                case '\'':
                    if (!SkipString(c)) return std::nullopt;
                    break;
                default:
                    break;
            }
        }
        if (!closers.empty()) return std::nullopt;
        std::string raw(Trim(s_.substr(start, pos_ - start)));
        if (raw.empty()) return std::nullopt;  // "f(,1)", "f(1,)"
        return raw;
    }

    bool SkipString(char quote) {
        while (!AtEnd()) {
            const char c = s_[pos_++];
            if (c == quote) return true;
            if (c == '\\' && !AtEnd()) ++pos_;
        }
        return false;
    }

    std::string_view s_;
    size_t pos_ = 0;
};

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
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
                break;
        }
    }
}

// Lookup by string_view without building a std::string first.
struct TNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

}  // namespace

std::vector<std::pair<WideString, WideString>> SplitQuery(WideString& url) {
    std::vector<std::pair<WideString, WideString>> pairs;
    if (url.find(u"http:") != url.npos || url.find(u'?') == url.npos) return pairs;
    WideString query = url;
    url = TakeToken(query, u"?");
    while (!query.empty()) {
        WideString name = TakeToken(query, u"=");
        WideString value = TakeToken(query, u"&");
        pairs.emplace_back(std::move(name), std::move(value));
    }
    return pairs;
}

bool IsScriptUrl(std::u16string_view url) {
    constexpr std::u16string_view kScheme = u"javascript:";
    size_t i = 0;
    while (i < url.size() && IsBlank(url[i])) ++i;
    if (url.size() - i < kScheme.size()) return false;
    for (size_t k = 0; k < kScheme.size(); ++k) {
        char16_t c = url[i + k];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kScheme[k]) return false;
    }
    return true;
}

std::optional<TExternalCall> ParseExternalCall(std::string_view script) {
    if (!script.starts_with(kCallPrefix)) return std::nullopt;
    return TCallScanner(script.substr(kCallPrefix.size())).Call();
}

std::string ExternalCallRequest(const TExternalCall& call) {
    std::string out = "<invoke name=\"";
    AppendEscaped(out, call.Name);
    out += "\" returntype=\"XML\"><arguments>";
    for (const std::string& arg : call.Arguments) {
        out += "<string>";
        AppendEscaped(out, arg);
        out += "</string>";
    }
    out += "</arguments></invoke>";
    return out;
}

const char* InternIdentifier(std::string_view name) {
    // Made on first use and never destroyed, so identifiers stay valid through the static
    // destructors of other units too. A set's nodes do not move when it grows.
    static auto* const table = new std::unordered_set<std::string, TNameHash, std::equal_to<>>();
    auto found = table->find(name);
    if (found == table->end()) found = table->emplace(name).first;
    return found->c_str();
}

namespace {

struct TIntIdentifiers {
    std::unordered_map<int32_t, std::unique_ptr<int32_t>> byValue;
    std::unordered_map<const void*, int32_t> byAddress;
};

TIntIdentifiers& IntIdentifiers() {
    // Never destroyed, like the name table.
    static auto* const table = new TIntIdentifiers();
    return *table;
}

int32_t DoubleToInt(double d) {
    if (std::isnan(d)) return 0;
    const double r = std::nearbyint(d);
    if (r <= -2147483648.0) return INT32_MIN;
    if (r >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(r);
}

// The number a String variant holds, when it holds nothing else.
std::optional<double> StringNumber(const NPVariant& v) {
    if (!v.value.stringValue.UTF8Characters) return std::nullopt;
    const std::string text(Trim(std::string_view(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length)));
    if (text.empty() || text.find_first_not_of("+-0123456789.eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return d;
}

}  // namespace

const void* InternIntIdentifier(int32_t value) {
    TIntIdentifiers& t = IntIdentifiers();
    auto found = t.byValue.find(value);
    if (found == t.byValue.end()) {
        found = t.byValue.emplace(value, std::make_unique<int32_t>(value)).first;
        t.byAddress.emplace(found->second.get(), value);
    }
    return found->second.get();
}

bool IntIdentifierValue(const void* identifier, int32_t& value) {
    const TIntIdentifiers& t = IntIdentifiers();
    const auto found = t.byAddress.find(identifier);
    if (found == t.byAddress.end()) return false;
    value = found->second;
    return true;
}

int32_t VariantToInt(const NPVariant& v) {
    switch (v.type) {
        case NPVariantType_Int32:
            return v.value.intValue;
        case NPVariantType_Double:
            return DoubleToInt(v.value.doubleValue);
        case NPVariantType_Bool:
            return v.value.boolValue ? 1 : 0;
        case NPVariantType_String:
            if (const auto d = StringNumber(v)) return DoubleToInt(*d);
            return 0;
        default:
            return 0;
    }
}

bool VariantToBool(const NPVariant& v) {
    switch (v.type) {
        case NPVariantType_Bool:
            return v.value.boolValue;
        case NPVariantType_Int32:
            return v.value.intValue != 0;
        case NPVariantType_Double:
            return !std::isnan(v.value.doubleValue) && v.value.doubleValue != 0;
        case NPVariantType_String: {
            if (const auto d = StringNumber(v)) return !std::isnan(*d) && *d != 0;
            if (!v.value.stringValue.UTF8Characters) return false;
            const std::string_view text =
                Trim(std::string_view(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length));
            return text.size() == 4 && (text[0] | 0x20) == 't' && (text[1] | 0x20) == 'r' && (text[2] | 0x20) == 'u' &&
                   (text[3] | 0x20) == 'e';
        }
        default:
            return false;
    }
}

}  // namespace vd::np
