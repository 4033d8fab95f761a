#include "vd_formfile_internal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace vd {

namespace {

// ---------------------------------------------------------------------------------------
// Text reading

// Currency is a 64-bit count of ten-thousandths; its text is read digit by digit, because a
// double holds only 53 bits and would change large values. Rounds half away from zero below
// 1/10000; false when the value does not fit.
bool CurrencyFromText(std::string_view t, int64_t& scaled) {
    const bool neg = !t.empty() && t[0] == '-';
    if (neg) t.remove_prefix(1);
    std::string digits;
    long long shift = 4;  // scaled = digits * 10^shift
    size_t i = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) digits += t[i];
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, --shift) digits += t[i];
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        const bool negExp = i < t.size() && t[i] == '-';
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
        long long e = 0;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) e = std::min(e * 10 + (t[i] - '0'), 1000000LL);
        shift += negExp ? -e : e;
    }
    const long long units = static_cast<long long>(digits.size()) + shift;  // digits before the point
    const uint64_t limit = neg ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    uint64_t mag = 0;
    const auto push = [&](int d) {
        if (mag > (limit - static_cast<uint64_t>(d)) / 10) return false;
        mag = mag * 10 + static_cast<uint64_t>(d);
        return true;
    };
    for (long long k = 0; k < units; ++k) {
        const bool past = k >= static_cast<long long>(digits.size());
        if (past && mag == 0) break;  // zeros times any power of ten
        const int d = past ? 0 : digits[static_cast<size_t>(k)] - '0';
        if (mag == 0 && d == 0) continue;
        if (!push(d)) return false;
    }
    if (units >= 0 && units < static_cast<long long>(digits.size()) && digits[static_cast<size_t>(units)] >= '5') {
        if (mag == limit) return false;
        ++mag;
    }
    scaled = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
    return true;
}

enum class Tok { End, Symbol, Ident, Integer, Float, String };

class TextReader {
public:
    explicit TextReader(std::string_view t) : src_(t) {
        if (src_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        Next();
    }

    TFormObject ReadRoot() {
        TFormObject root = ReadObject(0);
        if (tok_ != Tok::End) Fail("Text after the final 'end'");
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EReadError(what + " at line " + std::to_string(tokLine_));
    }
    bool IsSym(char c) const { return tok_ == Tok::Symbol && sym_ == c; }
    bool IsWord(const char* w) const { return tok_ == Tok::Ident && SameText(text_, w); }
    void Expect(char c) {
        if (!IsSym(c)) Fail(std::string("'") + c + "' expected but " + Describe() + " found");
        Next();
    }
    std::string Describe() const {
        switch (tok_) {
            case Tok::End:
                return "end of file";
            case Tok::Symbol:
                return std::string("'") + sym_ + "'";
            case Tok::Ident:
                return "'" + text_ + "'";
            case Tok::Integer:
            case Tok::Float:
                return "number";
            case Tok::String:
                return "string";
        }
        return "token";
    }
    std::string ExpectIdent(const char* what) {
        if (tok_ != Tok::Ident) Fail(std::string(what) + " expected but " + Describe() + " found");
        std::string s = text_;
        Next();
        return s;
    }
    // ident { '.' ident }
    std::string DottedIdent(const char* what) {
        std::string s = ExpectIdent(what);
        while (IsSym('.')) {
            Next();
            s += "." + ExpectIdent("Identifier");
        }
        return s;
    }

    // --- tokenizer ---
    int Peek(size_t off = 0) const {
        return pos_ + off < src_.size() ? static_cast<unsigned char>(src_[pos_ + off]) : -1;
    }
    static bool IsIdentStart(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsDigit(int c) { return c >= '0' && c <= '9'; }
    static bool IsHex(int c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

    void SkipBlanks() {
        for (;;) {
            const int c = Peek();
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else {
                return;
            }
        }
    }

    // One character inside quotes: UTF-8 when the bytes form a sequence, else the byte itself.
    char16_t QuotedChar(WideString& into) {
        const int b0 = Peek();
        if (b0 < 0x80) {
            ++pos_;
            return static_cast<char16_t>(b0);
        }
        const size_t need = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 ? 2 : 0;
        if (need && pos_ + need <= src_.size()) {
            WideString w = Utf8ToWide(src_.substr(pos_, need));
            if (!w.empty() && w.find(u'\xFFFD') == WideString::npos) {
                pos_ += need;
                into += w.substr(0, w.size() - 1);
                return w.back();
            }
        }
        ++pos_;
        return static_cast<char16_t>(b0);
    }

    void Next() {
        SkipBlanks();
        tokLine_ = line_;
        text_.clear();
        wide_.clear();
        const int c = Peek();
        if (c < 0) {
            tok_ = Tok::End;
            return;
        }
        if (IsIdentStart(c)) {
            while (IsIdentStart(Peek()) || IsDigit(Peek())) text_.push_back(src_[pos_++]);
            tok_ = Tok::Ident;
            return;
        }
        if (c == '\'' || c == '#') {
            ReadStringToken();
            return;
        }
        if (c == '$' || IsDigit(c) || (c == '-' && (IsDigit(Peek(1)) || Peek(1) == '$'))) {
            ReadNumber();
            return;
        }
        tok_ = Tok::Symbol;
        sym_ = static_cast<char>(c);
        ++pos_;
    }

    void ReadStringToken() {
        tok_ = Tok::String;
        for (;;) {
            const int c = Peek();
            if (c == '\'') {
                ++pos_;
                for (;;) {
                    const int q = Peek();
                    if (q < 0 || q == '\n' || q == '\r') Fail("Unterminated string");
                    if (q == '\'') {
                        if (Peek(1) == '\'') {
                            wide_.push_back(u'\'');
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    const char16_t ch = QuotedChar(wide_);
                    wide_.push_back(ch);
                }
            } else if (c == '#') {
                ++pos_;
                uint64_t v = 0;
                size_t digits = 0;
                if (Peek() == '$') {
                    ++pos_;
                    while (IsHex(Peek())) {
                        const int h = Peek();
                        v = v * 16 + static_cast<uint64_t>(IsDigit(h) ? h - '0' : (h | 0x20) - 'a' + 10);
                        ++pos_;
                        if (++digits > 6) break;
                    }
                } else {
                    while (IsDigit(Peek())) {
                        v = v * 10 + static_cast<uint64_t>(Peek() - '0');
                        ++pos_;
                        if (++digits > 7) break;
                    }
                }
                if (digits == 0) Fail("Character code expected after '#'");
                if (v > 0xFFFF) Fail("Character code " + std::to_string(v) + " out of range");
                wide_.push_back(static_cast<char16_t>(v));
            } else {
                return;
            }
        }
    }

    void ReadNumber() {
        const size_t start = pos_;
        if (Peek() == '-') ++pos_;
        if (Peek() == '$') {
            ++pos_;
            while (IsHex(Peek())) ++pos_;
            tok_ = Tok::Integer;
            text_.assign(src_.substr(start, pos_ - start));
            ParseInteger();
            return;
        }
        while (IsDigit(Peek())) ++pos_;
        bool isFloat = false;
        if (Peek() == '.' && IsDigit(Peek(1))) {
            isFloat = true;
            ++pos_;
            while (IsDigit(Peek())) ++pos_;
        }
        if ((Peek() == 'e' || Peek() == 'E') &&
            (IsDigit(Peek(1)) || ((Peek(1) == '+' || Peek(1) == '-') && IsDigit(Peek(2))))) {
            isFloat = true;
            pos_ += 2;
            while (IsDigit(Peek())) ++pos_;
        }
        text_.assign(src_.substr(start, pos_ - start));
        if (!isFloat) {
            tok_ = Tok::Integer;
            ParseInteger();
            return;
        }
        tok_ = Tok::Float;
        floatSuffix_ = 0;
        const int s = Peek();
        if (s == 's' || s == 'S' || s == 'c' || s == 'C' || s == 'd' || s == 'D') {
            floatSuffix_ = static_cast<char>(s | 0x20);
            ++pos_;
        }
        const char* b = text_.data();
        const char* e = b + text_.size();
        auto r = std::from_chars(b, e, float_);
        if (r.ec != std::errc() || r.ptr != e) Fail("Invalid number '" + text_ + "'");
    }

    // Rounding the text to a double and then to a float can miss the float the text names
    // (7.038531e-26 does); read it as a float directly.
    double SingleFromText() const {
        float f = 0;
        const auto r = std::from_chars(text_.data(), text_.data() + text_.size(), f);
        if (r.ec == std::errc() && r.ptr == text_.data() + text_.size()) return f;
        return static_cast<float>(float_);  // under- or overflow: zero or infinity as before
    }

    void ParseInteger() {
        const bool neg = !text_.empty() && text_[0] == '-';
        std::string_view digits(text_);
        if (neg) digits.remove_prefix(1);
        int base = 10;
        if (!digits.empty() && digits[0] == '$') {
            digits.remove_prefix(1);
            base = 16;
        }
        uint64_t mag = 0;
        auto r = std::from_chars(digits.data(), digits.data() + digits.size(), mag, base);
        if (r.ec == std::errc::result_out_of_range) Fail("Integer '" + text_ + "' out of range");
        if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
            Fail("Invalid integer '" + text_ + "'");
        // Hex literals may spell the full 64-bit pattern of a negative value.
        if (base == 10 && mag > (neg ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max())))
            Fail("Integer '" + text_ + "' out of range");
        int_ = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
    }

    // --- grammar ---
    TFormObject ReadObject(int depth) {
        if (depth > kMaxDepth) Fail("Objects nested too deeply");
        TFormObject obj;
        if (IsWord("inherited")) obj.Flags |= ffInherited;
        else if (IsWord("inline")) obj.Flags |= ffInline;
        else if (!IsWord("object")) Fail("'object' expected but " + Describe() + " found");
        Next();
        const int nameLine = tokLine_;
        std::string first = ExpectIdent("Class or object name");
        if (IsSym(':')) {
            Next();
            obj.Name = std::move(first);
            obj.ClassName = ExpectIdent("Class name");
        } else {
            obj.ClassName = std::move(first);
        }
        // The binary format keeps both names in short strings.
        if (obj.Name.size() > 255 || obj.ClassName.size() > 255) {
            tokLine_ = nameLine;
            Fail("Class or object name longer than 255 characters");
        }
        if (IsSym('[')) {
            Next();
            if (tok_ != Tok::Integer) Fail("Child position expected");
            obj.Flags |= ffChildPos;
            obj.Position = int_;
            Next();
            Expect(']');
        }
        for (;;) {
            if (IsWord("end")) {
                Next();
                return obj;
            }
            if (IsWord("object") || IsWord("inherited") || IsWord("inline")) {
                obj.Children.push_back(ReadObject(depth + 1));
                continue;
            }
            if (tok_ == Tok::End) Fail("'end' expected but end of file found");
            obj.Properties.push_back(ReadProperty(depth));
        }
    }

    TFormProperty ReadProperty(int depth) {
        TFormProperty p;
        p.Name = DottedIdent("Property name");
        if (p.Name.size() > 255) Fail("Property name longer than 255 characters");
        Expect('=');
        p.Value = ReadValue(depth);
        return p;
    }

    TFormValue ReadValue(int depth) {
        if (depth > kMaxDepth) Fail("Values nested too deeply");
        TFormValue v;
        switch (tok_) {
            case Tok::Integer:
                v = TFormValue::Integer(int_);
                Next();
                return v;
            case Tok::Float:
                if (floatSuffix_ == 'c') {
                    v.Type = TValueType::vaCurrency;
                    if (!CurrencyFromText(text_, v.Int)) Fail("Currency value out of range");
                } else {
                    v.Type = floatSuffix_ == 's'   ? TValueType::vaSingle
                             : floatSuffix_ == 'd' ? TValueType::vaDate
                                                   : TValueType::vaExtended;
                    v.Float = v.Type == TValueType::vaSingle ? SingleFromText() : float_;
                    if (!std::isfinite(v.Float)) Fail("Number out of range");
                }
                Next();
                return v;
            case Tok::String: {
                WideString s;
                for (;;) {
                    s += wide_;
                    Next();
                    if (!IsSym('+')) break;
                    Next();
                    if (tok_ != Tok::String) Fail("String expected after '+'");
                }
                bool narrow = true;
                for (char16_t c : s) narrow = narrow && c <= 0xFF;
                return narrow ? TFormValue::String(WideToLatin1(s)) : TFormValue::WString(std::move(s));
            }
            case Tok::Ident: {
                std::string id = DottedIdent("Value");
                if (id.size() > 255) Fail("Identifier longer than 255 characters");
                auto same = [&](const char* w) { return SameText(id, w); };
                if (same("false")) return TFormValue::Boolean(false);
                if (same("true")) return TFormValue::Boolean(true);
                if (same("nil")) return TFormValue::Nil();
                if (same("null")) return TFormValue{};
                return TFormValue::Ident(std::move(id));
            }
            case Tok::Symbol:
                break;
            case Tok::End:
                Fail("Value expected but end of file found");
        }
        if (IsSym('(')) {
            Next();
            v.Type = TValueType::vaList;
            while (!IsSym(')')) {
                if (tok_ == Tok::End) Fail("')' expected but end of file found");
                v.List.push_back(ReadValue(depth + 1));
            }
            Next();
            return v;
        }
        if (IsSym('[')) {
            Next();
            v.Type = TValueType::vaSet;
            if (!IsSym(']')) {
                for (;;) {
                    std::string m = ExpectIdent("Set member");
                    if (m.size() > 255) Fail("Set member longer than 255 characters");
                    v.Set.push_back(std::move(m));
                    if (IsSym(']')) break;
                    Expect(',');
                }
            }
            Next();
            return v;
        }
        if (IsSym('<')) {
            Next();
            v.Type = TValueType::vaCollection;
            while (!IsSym('>')) {
                if (!IsWord("item")) Fail("'item' expected but " + Describe() + " found");
                Next();
                TFormCollectionItem item;
                if (IsSym('[')) {
                    Next();
                    if (tok_ != Tok::Integer) Fail("Item index expected");
                    item.Index = int_;
                    Next();
                    Expect(']');
                }
                while (!IsWord("end")) {
                    if (tok_ == Tok::End) Fail("'end' expected but end of file found");
                    item.Properties.push_back(ReadProperty(depth + 1));
                }
                Next();
                v.Items.push_back(std::move(item));
            }
            Next();
            return v;
        }
        if (IsSym('{')) {
            // Hex digits with any white space between them, up to the closing brace.
            v.Type = TValueType::vaBinary;
            if (ReadHexBlock(v.Bytes)) {
                Next();
                return v;
            }
            int hi = -1;
            for (;;) {
                const int c = Peek();
                if (c < 0) Fail("'}' expected but end of file found");
                ++pos_;
                if (c == '}') break;
                if (c == '\n') {
                    ++line_;
                    continue;
                }
                if (c == ' ' || c == '\t' || c == '\r') continue;
                if (!IsHex(c)) {
                    tokLine_ = line_;
                    Fail("Invalid binary value");
                }
                const int n = IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
                if (hi < 0) {
                    hi = n;
                } else {
                    v.Bytes.push_back(static_cast<char>(hi * 16 + n));
                    hi = -1;
                }
            }
            if (hi >= 0) Fail("Odd number of hex digits in binary value");
            Next();
            return v;
        }
        Fail("Invalid property value: " + Describe());
    }

    // The digits of a binary value up to its closing brace, decoded into out sized once (a stored
    // movie makes this most of a form). Same rules and messages as the digit-by-digit loop, which
    // is left to report a value without a closing brace; false then, with nothing consumed.
    bool ReadHexBlock(std::string& out) {
        const size_t close = src_.find('}', pos_);
        if (close == std::string_view::npos) return false;
        static constexpr auto kHexValue = [] {
            std::array<uint8_t, 256> t{};
            t.fill(0xFF);
            for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<uint8_t>(c);
            for (int c = 0; c < 6; ++c) t['a' + c] = t['A' + c] = static_cast<uint8_t>(10 + c);
            return t;
        }();
        const auto* p = reinterpret_cast<const unsigned char*>(src_.data()) + pos_;
        const auto* const end = reinterpret_cast<const unsigned char*>(src_.data()) + close;
        out.resize(static_cast<size_t>(end - p) / 2);
        char* o = out.data();
        int hi = -1;
        while (p < end) {
            if (hi < 0 && end - p >= 2) {
                const unsigned a = kHexValue[p[0]], b = kHexValue[p[1]];
                if ((a | b) < 16) {
                    *o++ = static_cast<char>(a << 4 | b);
                    p += 2;
                    continue;
                }
            }
            const unsigned c = *p++;
            if (c == '\n') {
                ++line_;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r') continue;
            const unsigned n = kHexValue[c];
            if (n >= 16) {
                tokLine_ = line_;
                Fail("Invalid binary value");
            }
            if (hi < 0) {
                hi = static_cast<int>(n);
            } else {
                *o++ = static_cast<char>(hi * 16 + static_cast<int>(n));
                hi = -1;
            }
        }
        if (hi >= 0) Fail("Odd number of hex digits in binary value");
        out.resize(static_cast<size_t>(o - out.data()));
        pos_ = close + 1;
        return true;
    }

    std::string_view src_;
    size_t pos_ = 0;
    int line_ = 1;
    int tokLine_ = 1;
    Tok tok_ = Tok::End;
    char sym_ = 0;
    std::string text_;
    WideString wide_;
    int64_t int_ = 0;
    double float_ = 0;
    char floatSuffix_ = 0;
};

}  // namespace

TFormObject ReadTextForm(std::string_view text) { return TextReader(text).ReadRoot(); }

}  // namespace vd
