#include "vd_formfile_writers.h"

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

constexpr auto kHexValue = [] {
    std::array<uint8_t, 256> t{};
    t.fill(0xFF);
    for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<uint8_t>(c);
    for (int c = 0; c < 6; ++c) t['a' + c] = t['A' + c] = static_cast<uint8_t>(10 + c);
    return t;
}();

class TextReader {
public:
    explicit TextReader(std::string_view t) : src_(t), end_(t.size()) {
        if (src_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        Next();
    }

    template <class Sink> void ReadRoot(Sink& sink) {
        ReadObject(sink, 0);
        if (tok_ != Tok::End) Fail("Text after the final 'end'");
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EReadError(what + " at line " + std::to_string(tokLine_));
    }
    bool IsSym(char c) const { return tok_ == Tok::Symbol && sym_ == c; }
    bool IsWord(std::string_view w) const { return tok_ == Tok::Ident && IdentIs(text_, w); }
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
                return "'" + std::string(text_) + "'";
            case Tok::Integer:
            case Tok::Float:
                return "number";
            case Tok::String:
                return "string";
        }
        return "token";
    }
    // A view of the source text.
    std::string_view ExpectIdent(const char* what) {
        if (tok_ != Tok::Ident) Fail(std::string(what) + " expected but " + Describe() + " found");
        const std::string_view s = text_;
        Next();
        return s;
    }
    // ident { '.' ident }: a view of the source text, or of dotted_ when the parts are apart.
    std::string_view DottedIdent(const char* what) {
        const std::string_view first = ExpectIdent(what);
        if (!IsSym('.')) return first;
        dotted_.assign(first);
        while (IsSym('.')) {
            Next();
            dotted_ += '.';
            dotted_ += ExpectIdent("Identifier");
        }
        return dotted_;
    }

    // --- tokenizer ---
    int Peek(size_t off = 0) const { return pos_ + off < end_ ? static_cast<unsigned char>(src_[pos_ + off]) : -1; }
    static bool Is(int c, uint8_t cls) { return c >= 0 && (kFormCharClass[static_cast<size_t>(c)] & cls) != 0; }
    static bool IsDigit(int c) { return c >= '0' && c <= '9'; }
    static bool IsHex(int c) { return Is(c, kFormHex); }

    // One character inside quotes: UTF-8 when the bytes form a sequence, else the byte itself.
    char16_t QuotedChar(WideString& into) {
        const int b0 = Peek();
        if (b0 < 0x80) {
            ++pos_;
            return static_cast<char16_t>(b0);
        }
        const size_t need = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 ? 2 : 0;
        if (need && pos_ + need <= end_) {
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
        const char* const base = src_.data();
        const char* const e = base + end_;
        const char* p = base + pos_;
        // Blanks, counting lines.
        int line = line_;
        for (; p != e; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == ' ') continue;
            if (c == '\n') ++line;
            else if (!(kFormCharClass[c] & kFormBlank)) break;
        }
        line_ = tokLine_ = line;
        if (p == e) {
            pos_ = end_;
            tok_ = Tok::End;
            return;
        }
        const uint8_t k = kFormCharClass[static_cast<unsigned char>(*p)];
        if (k & kFormIdentStart) {
            const char* const start = p;
            for (++p; p != e && (kFormCharClass[static_cast<unsigned char>(*p)] & (kFormIdentStart | kFormDigit));
                 ++p) {}
            text_ = std::string_view(start, static_cast<size_t>(p - start));
            pos_ = static_cast<size_t>(p - base);
            tok_ = Tok::Ident;
            return;
        }
        pos_ = static_cast<size_t>(p - base);
        const int c = static_cast<unsigned char>(*p);
        if (k & kFormDigit) {
            // A plain decimal integer in one pass; anything else by the general rules.
            const char* const start = p;
            uint64_t v = 0;
            for (; p != e && static_cast<unsigned>(*p - '0') < 10; ++p) v = v * 10 + static_cast<unsigned>(*p - '0');
            if (p - start <= 18 && (p == e || (*p != '.' && (*p | 0x20) != 'e'))) {
                text_ = std::string_view(start, static_cast<size_t>(p - start));
                pos_ = static_cast<size_t>(p - base);
                int_ = static_cast<int64_t>(v);
                tok_ = Tok::Integer;
                return;
            }
            ReadNumber();
            return;
        }
        if (c == '\'' || c == '#') {
            ReadStringToken();
            return;
        }
        if (c == '$' || (c == '-' && (IsDigit(Peek(1)) || Peek(1) == '$'))) {
            ReadNumber();
            return;
        }
        tok_ = Tok::Symbol;
        sym_ = static_cast<char>(c);
        ++pos_;
    }

    [[gnu::noinline]] void ReadStringToken() {
        tok_ = Tok::String;
        wide_.clear();
        for (;;) {
            const int c = Peek();
            if (c == '\'') {
                ++pos_;
                for (;;) {
                    // A run of plain ASCII in one go.
                    size_t run = pos_;
                    while (run < end_) {
                        const auto q = static_cast<unsigned char>(src_[run]);
                        if (q == '\'' || q == '\n' || q == '\r' || q >= 0x80) break;
                        ++run;
                    }
                    if (run != pos_) {
                        const size_t at = wide_.size();
                        wide_.resize(at + (run - pos_));
                        for (size_t i = pos_; i < run; ++i)
                            wide_[at + i - pos_] = static_cast<char16_t>(static_cast<unsigned char>(src_[i]));
                        pos_ = run;
                    }
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
                        v = v * 16 + kHexValue[static_cast<size_t>(Peek())];
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

    [[gnu::noinline]] void ReadNumber() {
        const size_t start = pos_;
        if (Peek() == '-') ++pos_;
        if (Peek() == '$') {
            ++pos_;
            while (IsHex(Peek())) ++pos_;
            tok_ = Tok::Integer;
            text_ = src_.substr(start, pos_ - start);
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
        text_ = src_.substr(start, pos_ - start);
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
        if (r.ec != std::errc() || r.ptr != e) Fail("Invalid number '" + std::string(text_) + "'");
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
        if (r.ec == std::errc::result_out_of_range) Fail("Integer '" + std::string(text_) + "' out of range");
        if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
            Fail("Invalid integer '" + std::string(text_) + "'");
        // Hex literals may spell the full 64-bit pattern of a negative value.
        if (base == 10 && mag > (neg ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max())))
            Fail("Integer '" + std::string(text_) + "' out of range");
        int_ = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
    }

    // --- grammar ---
    bool AtObjectWord() const { return IsWord("object") || IsWord("inherited") || IsWord("inline"); }

    template <class Sink> void ReadObject(Sink& sink, int depth) {
        if (depth > kMaxDepth) Fail("Objects nested too deeply");
        uint8_t flags = 0;
        int64_t position = 0;
        if (IsWord("inherited")) flags |= ffInherited;
        else if (IsWord("inline")) flags |= ffInline;
        else if (!IsWord("object")) Fail("'object' expected but " + Describe() + " found");
        Next();
        const int nameLine = tokLine_;
        std::string_view name, className = ExpectIdent("Class or object name");
        if (IsSym(':')) {
            Next();
            name = className;
            className = ExpectIdent("Class name");
        }
        // The binary format keeps both names in short strings.
        if (name.size() > 255 || className.size() > 255) {
            tokLine_ = nameLine;
            Fail("Class or object name longer than 255 characters");
        }
        if (IsSym('[')) {
            Next();
            if (tok_ != Tok::Integer) Fail("Child position expected");
            flags |= ffChildPos;
            position = int_;
            Next();
            Expect(']');
        }
        sink.BeginObject(flags, position, className, name);
        bool inChildren = false;
        for (;;) {
            if (IsWord("end")) {
                Next();
                if (!inChildren) sink.EndProperties();
                sink.EndObject();
                return;
            }
            if (AtObjectWord()) {
                if (!inChildren) sink.EndProperties();
                inChildren = true;
                ReadObject(sink, depth + 1);
                continue;
            }
            if (tok_ == Tok::End) Fail("'end' expected but end of file found");
            ReadProperty(sink, depth);
        }
    }

    template <class Sink> void ReadProperty(Sink& sink, int depth) {
        const std::string_view name = DottedIdent("Property name");
        if (name.size() > 255) Fail("Property name longer than 255 characters");
        Expect('=');
        sink.Property(name);
        ReadValue(sink, depth);
    }

    template <class Sink> void ReadValue(Sink& sink, int depth) {
        if (depth > kMaxDepth) Fail("Values nested too deeply");
        switch (tok_) {
            case Tok::Integer:
                sink.Int(SmallestIntType(int_), int_);
                Next();
                return;
            case Tok::Float:
                if (floatSuffix_ == 'c') {
                    int64_t scaled = 0;
                    if (!CurrencyFromText(text_, scaled)) Fail("Currency value out of range");
                    sink.Int(TValueType::vaCurrency, scaled);
                } else {
                    const TValueType type = floatSuffix_ == 's'   ? TValueType::vaSingle
                                            : floatSuffix_ == 'd' ? TValueType::vaDate
                                                                  : TValueType::vaExtended;
                    const double f = type == TValueType::vaSingle ? SingleFromText() : float_;
                    if (!std::isfinite(f)) Fail("Number out of range");
                    sink.Float(type, f);
                }
                Next();
                return;
            case Tok::String:
                ReadString(sink);
                return;
            case Tok::Ident: {
                const std::string_view id = DottedIdent("Value");
                if (id.size() > 255) Fail("Identifier longer than 255 characters");
                if (IdentIs(id, "false")) sink.Simple(TValueType::vaFalse);
                else if (IdentIs(id, "true")) sink.Simple(TValueType::vaTrue);
                else if (IdentIs(id, "nil")) sink.Simple(TValueType::vaNil);
                else if (IdentIs(id, "null")) sink.Simple(TValueType::vaNull);
                else sink.Bytes(TValueType::vaIdent, id);
                return;
            }
            case Tok::Symbol:
                break;
            case Tok::End:
                Fail("Value expected but end of file found");
        }
        if (IsSym('(')) {
            Next();
            sink.BeginList();
            while (!IsSym(')')) {
                if (tok_ == Tok::End) Fail("')' expected but end of file found");
                ReadValue(sink, depth + 1);
            }
            Next();
            sink.EndList();
            return;
        }
        if (IsSym('[')) {
            Next();
            sink.BeginSet();
            if (!IsSym(']')) {
                for (;;) {
                    const std::string_view m = ExpectIdent("Set member");
                    if (m.size() > 255) Fail("Set member longer than 255 characters");
                    sink.SetMember(m);
                    if (IsSym(']')) break;
                    Expect(',');
                }
            }
            Next();
            sink.EndSet();
            return;
        }
        if (IsSym('<')) {
            Next();
            sink.BeginCollection();
            while (!IsSym('>')) {
                if (!IsWord("item")) Fail("'item' expected but " + Describe() + " found");
                Next();
                std::optional<int64_t> index;
                if (IsSym('[')) {
                    Next();
                    if (tok_ != Tok::Integer) Fail("Item index expected");
                    index = int_;
                    Next();
                    Expect(']');
                }
                sink.BeginItem(index);
                while (!IsWord("end")) {
                    if (tok_ == Tok::End) Fail("'end' expected but end of file found");
                    ReadProperty(sink, depth + 1);
                }
                Next();
                sink.EndItem();
            }
            Next();
            sink.EndCollection();
            return;
        }
        if (IsSym('{')) {
            ReadBinary(sink);
            return;
        }
        Fail("Invalid property value: " + Describe());
    }

    // 'a' + 'b' ... joined; narrow when every character fits a byte.
    template <class Sink> void ReadString(Sink& sink) {
        joined_.swap(wide_);  // the first part, without a copy
        for (;;) {
            Next();
            if (!IsSym('+')) break;
            Next();
            if (tok_ != Tok::String) Fail("String expected after '+'");
            joined_ += wide_;
        }
        bool narrow = true;
        for (char16_t c : joined_) narrow = narrow && c <= 0xFF;
        if (!narrow) {
            sink.Wide(joined_);
            return;
        }
        narrow_.resize(joined_.size());
        for (size_t i = 0; i < joined_.size(); ++i) narrow_[i] = static_cast<char>(joined_[i]);
        sink.Bytes(StringTypeFor(narrow_.size()), narrow_);
    }

    // Hex digits with any white space between them, up to the closing brace.
    template <class Sink> void ReadBinary(Sink& sink) {
        std::string bytes;
        if (!ReadHexBlock(bytes)) {
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
                const int n = kHexValue[static_cast<size_t>(c)];
                if (hi < 0) {
                    hi = n;
                } else {
                    bytes.push_back(static_cast<char>(hi * 16 + n));
                    hi = -1;
                }
            }
            if (hi >= 0) Fail("Odd number of hex digits in binary value");
        }
        Next();
        sink.OwnedBytes(TValueType::vaBinary, std::move(bytes));
    }

    // The digits of a binary value up to its closing brace, decoded into out sized once (a stored
    // movie makes this most of a form). Same rules and messages as the digit-by-digit loop, which
    // is left to report a value without a closing brace; false then, with nothing consumed.
    bool ReadHexBlock(std::string& out) {
        const size_t close = src_.find('}', pos_);
        if (close == std::string_view::npos) return false;
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
    size_t end_ = 0;
    int line_ = 1;
    int tokLine_ = 1;
    Tok tok_ = Tok::End;
    char sym_ = 0;
    std::string_view text_;  // an identifier's or number's text, in src_
    WideString wide_;        // a string token's characters
    int64_t int_ = 0;
    double float_ = 0;
    char floatSuffix_ = 0;
    std::string dotted_;  // a dotted name whose parts are apart in the source
    WideString joined_;   // a string value's parts joined
    std::string narrow_;  // ... and narrowed
};

}  // namespace

TFormObject ReadTextForm(std::string_view text) {
    TFormTreeBuilder tree;
    TextReader(text).ReadRoot(tree);
    return tree.Take();
}

std::string ConvertTextToBinary(std::string_view text) {
    // Binary takes about two thirds of the text's bytes for many small values, less for stored
    // movies; a larger guess would only hold memory (and page faults) that is never written.
    return ConvertForm<TFormBinaryWriter>(
        text.size() / 4 * 3, [&](auto& sink) { TextReader(text).ReadRoot(sink); },
        [&] { return WriteBinaryFormImpl(ReadTextForm(text)); });
}

}  // namespace vd
