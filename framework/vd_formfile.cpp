#include "vd_formfile.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vd {

namespace {

// Deeper nesting than this is never written by a real designer; refusing it keeps a hostile
// form from exhausting the stack.
constexpr int kMaxDepth = 200;
constexpr size_t kTextLineLength = 64;  // string code units per text line
constexpr size_t kHexBytesPerLine = 32;  // 64 hex digits

// ---------------------------------------------------------------------------------------
// 80-bit extended <-> double. Every double is exactly representable as an extended; an
// extended outside double's range becomes infinity, and its extra mantissa bits are rounded.

void DoubleToExtended(double d, uint8_t out[10]) {
    const uint64_t bits = std::bit_cast<uint64_t>(d);
    const uint16_t sign = static_cast<uint16_t>((bits >> 63) << 15);
    const int exp = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t frac = bits & 0xFFFFFFFFFFFFFull;
    uint64_t mant = 0;
    uint16_t e = 0;
    if (exp == 0 && frac == 0) {
        e = 0;
        mant = 0;
    } else if (exp == 0x7FF) {
        e = 0x7FFF;
        mant = 0x8000000000000000ull | (frac << 11);
    } else if (exp == 0) {  // subnormal double: normalise
        int shift = std::countl_zero(frac) - 11;
        frac <<= shift;
        mant = frac << 11;
        e = static_cast<uint16_t>(1 - 1023 - shift + 16383);
    } else {
        e = static_cast<uint16_t>(exp - 1023 + 16383);
        mant = 0x8000000000000000ull | (frac << 11);
    }
    e |= sign;
    std::memcpy(out, &mant, 8);  // little-endian host (x86-64 both ways)
    std::memcpy(out + 8, &e, 2);
}

double ExtendedToDouble(const uint8_t in[10]) {
    uint64_t mant;
    uint16_t se;
    std::memcpy(&mant, in, 8);
    std::memcpy(&se, in + 8, 2);
    const bool neg = (se & 0x8000) != 0;
    const int e = se & 0x7FFF;
    double v;
    if (e == 0x7FFF) {
        v = (mant << 1) != 0 ? std::numeric_limits<double>::quiet_NaN()
                             : std::numeric_limits<double>::infinity();
    } else {
        v = std::ldexp(static_cast<double>(mant), e - 16383 - 63);
    }
    return neg ? -v : v;
}

// ---------------------------------------------------------------------------------------
// Binary reading

class BinaryReader {
public:
    explicit BinaryReader(std::string_view d) : data_(d) {}

    TFormObject ReadRoot() {
        if (!IsBinaryForm(data_)) Fail("Invalid form signature (expected TPF0)", 0);
        pos_ = 4;
        TFormObject root = ReadObject(0);
        if (pos_ != data_.size()) Fail("Unexpected data after the root object", pos_);
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& what, size_t at) const {
        throw EReadError(what + " at offset " + std::to_string(at));
    }
    void Need(size_t n, const char* what) const {
        if (n > data_.size() - pos_)
            Fail(std::string(what) + " of " + std::to_string(n) + " bytes runs past the end of the data", pos_);
    }
    uint8_t Byte() {
        Need(1, "Value");
        return static_cast<uint8_t>(data_[pos_++]);
    }
    template <class T>
    T Scalar() {
        Need(sizeof(T), "Value");
        T v;
        std::memcpy(&v, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }
    std::string Bytes(size_t n, const char* what) {
        Need(n, what);
        std::string s(data_.substr(pos_, n));
        pos_ += n;
        return s;
    }
    std::string ShortString() {
        const uint8_t n = Byte();
        return Bytes(n, "String");
    }
    size_t Length32(const char* what) {
        const size_t at = pos_;
        const int32_t n = Scalar<int32_t>();
        if (n < 0) Fail(std::string("Negative length in ") + what, at);
        return static_cast<size_t>(n);
    }
    bool AtEndMarker() {
        Need(1, "List end");
        if (data_[pos_] == 0) {
            ++pos_;
            return true;
        }
        return false;
    }

    TFormObject ReadObject(int depth) {
        if (depth > kMaxDepth) Fail("Objects nested too deeply", pos_);
        TFormObject obj;
        Need(1, "Object header");
        if ((static_cast<uint8_t>(data_[pos_]) & 0xF0) == 0xF0) {
            obj.Flags = static_cast<uint8_t>(data_[pos_++]) & 0x0F;
            if (obj.Flags & ffChildPos) {
                const size_t at = pos_;
                TFormValue v = ReadValue(depth);
                if (!v.IsInteger()) Fail("Invalid child position", at);
                obj.Position = v.Int;
            }
        }
        obj.ClassName = ShortString();
        if (obj.ClassName.empty()) Fail("Missing class name", pos_ - 1);
        obj.Name = ShortString();
        while (!AtEndMarker()) obj.Properties.push_back(ReadProperty(depth));
        while (!AtEndMarker()) obj.Children.push_back(ReadObject(depth + 1));
        return obj;
    }

    TFormProperty ReadProperty(int depth) {
        TFormProperty p;
        p.Name = ShortString();
        p.Value = ReadValue(depth);
        return p;
    }

    TFormValue ReadValue(int depth) {
        if (depth > kMaxDepth) Fail("Values nested too deeply", pos_);
        const size_t at = pos_;
        const uint8_t code = Byte();
        TFormValue v;
        v.Type = static_cast<TValueType>(code);
        switch (v.Type) {
            case TValueType::vaNull:
            case TValueType::vaFalse:
            case TValueType::vaTrue:
            case TValueType::vaNil:
                break;
            case TValueType::vaList:
                while (!AtEndMarker()) v.List.push_back(ReadValue(depth + 1));
                break;
            case TValueType::vaInt8: v.Int = Scalar<int8_t>(); break;
            case TValueType::vaInt16: v.Int = Scalar<int16_t>(); break;
            case TValueType::vaInt32: v.Int = Scalar<int32_t>(); break;
            case TValueType::vaInt64: v.Int = Scalar<int64_t>(); break;
            case TValueType::vaExtended: {
                Need(10, "Value");
                v.Float = ExtendedToDouble(reinterpret_cast<const uint8_t*>(data_.data() + pos_));
                pos_ += 10;
                break;
            }
            case TValueType::vaSingle: v.Float = Scalar<float>(); break;
            case TValueType::vaDate: v.Float = Scalar<double>(); break;
            case TValueType::vaCurrency: v.Int = Scalar<int64_t>(); break;
            case TValueType::vaString:
            case TValueType::vaIdent: v.Bytes = ShortString(); break;
            case TValueType::vaLString:
            case TValueType::vaUTF8String:
            case TValueType::vaBinary: {
                const size_t n = Length32("string");
                v.Bytes = Bytes(n, "String");
                break;
            }
            case TValueType::vaWString: {
                const size_t n = Length32("wide string");
                if (n > (data_.size() - pos_) / 2) Fail("Wide string runs past the end of the data", pos_);
                v.Wide.resize(n);
                for (size_t i = 0; i < n; ++i) v.Wide[i] = static_cast<char16_t>(Scalar<uint16_t>());
                break;
            }
            case TValueType::vaSet:
                for (std::string m = ShortString(); !m.empty(); m = ShortString()) v.Set.push_back(std::move(m));
                break;
            case TValueType::vaCollection:
                while (!AtEndMarker()) {
                    TFormCollectionItem item;
                    const size_t itemAt = pos_;
                    const auto marker = static_cast<TValueType>(Byte());
                    if (marker == TValueType::vaInt8 || marker == TValueType::vaInt16 || marker == TValueType::vaInt32 ||
                        marker == TValueType::vaInt64) {  // the writer picks the smallest type that holds it
                        --pos_;
                        item.Index = ReadValue(depth + 1).Int;
                        if (static_cast<TValueType>(Byte()) != TValueType::vaList)
                            Fail("Collection item without a list marker", pos_ - 1);
                    } else if (marker != TValueType::vaList) {
                        Fail("Collection item without a list marker", itemAt);
                    }
                    while (!AtEndMarker()) item.Properties.push_back(ReadProperty(depth + 1));
                    v.Items.push_back(std::move(item));
                }
                break;
            default:
                Fail("Unknown value type " + std::to_string(code), at);
        }
        return v;
    }

    std::string_view data_;
    size_t pos_ = 0;
};

// ---------------------------------------------------------------------------------------
// Binary writing

class BinaryWriter {
public:
    std::string Take() { return std::move(out_); }

    void Object(const TFormObject& o) {
        // A class name of 240 bytes or more starts with a length byte the reader would take
        // for the flags prefix (0xF0 | flags); an explicit prefix, even without flags, keeps it a name.
        if (o.Flags != 0 || o.ClassName.size() >= 0xF0) {
            out_.push_back(static_cast<char>(0xF0 | (o.Flags & 0x0F)));
            if (o.Flags & ffChildPos) Value(TFormValue::Integer(o.Position));
        }
        ShortString(o.ClassName, "class name");
        ShortString(o.Name, "object name");
        for (const auto& p : o.Properties) Property(p);
        out_.push_back(0);
        for (const auto& c : o.Children) Object(c);
        out_.push_back(0);
    }

private:
    template <class T>
    void Scalar(T v) {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        out_.append(b, sizeof(T));
    }
    void ShortString(const std::string& s, const char* what) {
        if (s.size() > 255) throw EWriteError(std::string("The ") + what + " '" + s.substr(0, 32) + "...' is longer than 255 bytes");
        out_.push_back(static_cast<char>(s.size()));
        out_ += s;
    }
    void Length32(size_t n) {
        if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
            throw EWriteError("A value is too large for a form file");
        Scalar<int32_t>(static_cast<int32_t>(n));
    }
    void Property(const TFormProperty& p) {
        if (p.Name.empty()) throw EWriteError("A property without a name cannot be written");
        ShortString(p.Name, "property name");
        Value(p.Value);
    }
    void Value(const TFormValue& v) {
        out_.push_back(static_cast<char>(v.Type));
        switch (v.Type) {
            case TValueType::vaNull:
            case TValueType::vaFalse:
            case TValueType::vaTrue:
            case TValueType::vaNil:
                break;
            case TValueType::vaList:
                for (const auto& e : v.List) Value(e);
                out_.push_back(0);
                break;
            case TValueType::vaInt8: Scalar(static_cast<int8_t>(v.Int)); break;
            case TValueType::vaInt16: Scalar(static_cast<int16_t>(v.Int)); break;
            case TValueType::vaInt32: Scalar(static_cast<int32_t>(v.Int)); break;
            case TValueType::vaInt64: Scalar(v.Int); break;
            case TValueType::vaCurrency: Scalar(v.Int); break;
            case TValueType::vaExtended: {
                uint8_t b[10];
                DoubleToExtended(v.Float, b);
                out_.append(reinterpret_cast<const char*>(b), 10);
                break;
            }
            case TValueType::vaSingle: Scalar(static_cast<float>(v.Float)); break;
            case TValueType::vaDate: Scalar(v.Float); break;
            case TValueType::vaString:
            case TValueType::vaIdent:
                ShortString(v.Bytes, v.Type == TValueType::vaIdent ? "identifier" : "short string");
                break;
            case TValueType::vaLString:
            case TValueType::vaUTF8String:
            case TValueType::vaBinary:
                Length32(v.Bytes.size());
                out_ += v.Bytes;
                break;
            case TValueType::vaWString:
                Length32(v.Wide.size());
                for (char16_t c : v.Wide) Scalar(static_cast<uint16_t>(c));
                break;
            case TValueType::vaSet:
                for (const auto& m : v.Set) {
                    if (m.empty()) throw EWriteError("An empty set member cannot be written");
                    ShortString(m, "set member");
                }
                out_.push_back(0);
                break;
            case TValueType::vaCollection:
                for (const auto& item : v.Items) {
                    if (item.Index) Value(TFormValue::Integer(*item.Index));
                    out_.push_back(static_cast<char>(TValueType::vaList));
                    for (const auto& p : item.Properties) Property(p);
                    out_.push_back(0);
                }
                out_.push_back(0);
                break;
            default:
                throw EWriteError("Unknown value type " + std::to_string(static_cast<int>(v.Type)));
        }
    }

    std::string out_;
};

// ---------------------------------------------------------------------------------------
// Text writing

bool IsPlainChar(char16_t c) { return c >= 32 && c < 127; }

// Renders code units [from, to) as quoted runs and #nnn characters.
void AppendQuoted(std::string& out, std::u16string_view s) {
    bool inQuote = false;
    for (char16_t c : s) {
        if (IsPlainChar(c)) {
            if (!inQuote) out.push_back('\'');
            inQuote = true;
            out.push_back(static_cast<char>(c));
            if (c == '\'') out.push_back('\'');
        } else {
            if (inQuote) out.push_back('\'');
            inQuote = false;
            out += '#' + std::to_string(static_cast<unsigned>(c));
        }
    }
    if (inQuote) out.push_back('\'');
    if (s.empty()) out += "''";
}

template <class F>
std::string FloatText(F d) {
    if (!std::isfinite(d)) throw EWriteError("A NaN or infinite number cannot be written as form text");
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    std::string s(buf, r.ptr);
    // The reader tells floats from integers by the decimal point.
    const auto e = s.find('e');
    if (s.find('.') == std::string::npos) s.insert(e == std::string::npos ? s.size() : e, ".0");
    return s;
}

std::string CurrencyText(int64_t scaled) {
    const bool neg = scaled < 0;
    const uint64_t mag = neg ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string frac = std::to_string(mag % 10000);
    frac.insert(0, 4 - frac.size(), '0');
    while (frac.size() > 1 && frac.back() == '0') frac.pop_back();
    return (neg ? "-" : "") + std::to_string(mag / 10000) + "." + frac + "c";
}

// Names in a binary form are arbitrary bytes; text can only carry what its reader takes as an
// identifier, so anything else is refused rather than written as text that cannot be read back.
bool IsTextIdent(std::string_view s) {
    const auto start = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (s.empty() || !start(s[0])) return false;
    for (char c : s)
        if (!start(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

bool IsTextDottedIdent(std::string_view s) {
    for (size_t dot; (dot = s.find('.')) != std::string_view::npos; s.remove_prefix(dot + 1))
        if (!IsTextIdent(s.substr(0, dot))) return false;
    return IsTextIdent(s);
}


void CheckTextName(const std::string& s, bool dotted, const char* what) {
    if (!(dotted ? IsTextDottedIdent(s) : IsTextIdent(s)))
        throw EWriteError(std::string("The ") + what + " '" + s.substr(0, 32) + "' cannot be written as form text");
}

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

class TextWriter {
public:
    std::string Take() { return std::move(out_); }

    void Object(const TFormObject& o, int level) {
        CheckTextName(o.ClassName, false, "class name");
        if (!o.Name.empty()) CheckTextName(o.Name, false, "object name");
        Indent(level);
        out_ += (o.Flags & ffInherited) ? "inherited " : (o.Flags & ffInline) ? "inline " : "object ";
        if (!o.Name.empty()) out_ += o.Name + ": ";
        out_ += o.ClassName;
        if (o.Flags & ffChildPos) out_ += " [" + std::to_string(o.Position) + "]";
        NewLine();
        for (const auto& p : o.Properties) Property(p, level + 1);
        for (const auto& c : o.Children) Object(c, level + 1);
        Indent(level);
        out_ += "end";
        NewLine();
    }

private:
    void NewLine() { out_ += "\r\n"; }
    void Indent(int level) { out_.append(static_cast<size_t>(level) * 2, ' '); }

    void Property(const TFormProperty& p, int level, bool inItem = false) {
        CheckTextName(p.Name, true, "property name");
        // The reader takes these words, where a property name could start, as the end of the
        // object or item, or as a child object.
        const std::string_view first = std::string_view(p.Name).substr(0, p.Name.find('.'));
        if (SameText(first, "end") ||
            (!inItem && (SameText(first, "object") || SameText(first, "inherited") || SameText(first, "inline"))))
            throw EWriteError("The property name '" + p.Name.substr(0, 32) + "' cannot be written as form text");
        Indent(level);
        out_ += p.Name + " = ";
        Value(p.Value, level);
        NewLine();
    }

    void StringValue(const WideString& s, int level) {
        if (s.size() <= kTextLineLength) {
            AppendQuoted(out_, s);
            return;
        }
        for (size_t i = 0; i < s.size(); i += kTextLineLength) {
            NewLine();
            Indent(level + 1);
            AppendQuoted(out_, std::u16string_view(s).substr(i, kTextLineLength));
            if (i + kTextLineLength < s.size()) out_ += " +";
        }
    }

    void Value(const TFormValue& v, int level) {
        switch (v.Type) {
            case TValueType::vaNull: out_ += "Null"; break;
            case TValueType::vaNil: out_ += "nil"; break;
            case TValueType::vaFalse: out_ += "False"; break;
            case TValueType::vaTrue: out_ += "True"; break;
            case TValueType::vaInt8:
            case TValueType::vaInt16:
            case TValueType::vaInt32:
            case TValueType::vaInt64: out_ += std::to_string(v.Int); break;
            case TValueType::vaExtended: out_ += FloatText(v.Float); break;
            case TValueType::vaSingle: out_ += FloatText(static_cast<float>(v.Float)) + "s"; break;
            case TValueType::vaDate: out_ += FloatText(v.Float) + "d"; break;
            case TValueType::vaCurrency: out_ += CurrencyText(v.Int); break;
            case TValueType::vaIdent:
                if (!v.Bytes.empty()) CheckTextName(v.Bytes, true, "identifier");
                out_ += v.Bytes.empty() ? "''" : v.Bytes;
                break;
            case TValueType::vaString:
            case TValueType::vaLString:
            case TValueType::vaWString:
            case TValueType::vaUTF8String: StringValue(v.AsWide(), level); break;
            case TValueType::vaBinary: {
                static const char* hex = "0123456789ABCDEF";
                out_ += '{';
                for (size_t i = 0; i < v.Bytes.size(); ++i) {
                    if (i % kHexBytesPerLine == 0) {
                        NewLine();
                        Indent(level + 1);
                    }
                    const auto b = static_cast<unsigned char>(v.Bytes[i]);
                    out_ += hex[b >> 4];
                    out_ += hex[b & 15];
                }
                out_ += '}';
                break;
            }
            case TValueType::vaSet: {
                out_ += '[';
                for (size_t i = 0; i < v.Set.size(); ++i) {
                    CheckTextName(v.Set[i], false, "set member");
                    out_ += (i ? ", " : "") + v.Set[i];
                }
                out_ += ']';
                break;
            }
            case TValueType::vaList:
                out_ += '(';
                for (const auto& e : v.List) {
                    NewLine();
                    Indent(level + 1);
                    Value(e, level + 1);
                }
                out_ += ')';
                break;
            case TValueType::vaCollection:
                out_ += '<';
                for (const auto& item : v.Items) {
                    NewLine();
                    Indent(level + 1);
                    out_ += "item";
                    if (item.Index) out_ += " [" + std::to_string(*item.Index) + "]";
                    NewLine();
                    for (const auto& p : item.Properties) Property(p, level + 2, true);
                    Indent(level + 1);
                    out_ += "end";
                }
                out_ += '>';
                break;
            default:
                throw EWriteError("Unknown value type " + std::to_string(static_cast<int>(v.Type)));
        }
    }

    std::string out_;
};

// ---------------------------------------------------------------------------------------
// Text reading

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
    bool IsWord(const char* w) const {
        return tok_ == Tok::Ident && SameText(text_, w);
    }
    void Expect(char c) {
        if (!IsSym(c)) Fail(std::string("'") + c + "' expected but " + Describe() + " found");
        Next();
    }
    std::string Describe() const {
        switch (tok_) {
            case Tok::End: return "end of file";
            case Tok::Symbol: return std::string("'") + sym_ + "'";
            case Tok::Ident: return "'" + text_ + "'";
            case Tok::Integer:
            case Tok::Float: return "number";
            case Tok::String: return "string";
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
                    v.Type = floatSuffix_ == 's' ? TValueType::vaSingle
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

// ---------------------------------------------------------------------------------------

bool TFormValue::IsInteger() const {
    return Type == TValueType::vaInt8 || Type == TValueType::vaInt16 || Type == TValueType::vaInt32 ||
           Type == TValueType::vaInt64;
}

bool TFormValue::IsString() const {
    return Type == TValueType::vaString || Type == TValueType::vaLString || Type == TValueType::vaWString ||
           Type == TValueType::vaUTF8String;
}

WideString TFormValue::AsWide() const {
    switch (Type) {
        case TValueType::vaWString: return Wide;
        case TValueType::vaUTF8String: return Utf8ToWide(Bytes);
        default: return Latin1ToWide(Bytes);
    }
}

TFormValue TFormValue::Integer(int64_t v) {
    TFormValue r;
    r.Int = v;
    r.Type = v >= INT8_MIN && v <= INT8_MAX     ? TValueType::vaInt8
             : v >= INT16_MIN && v <= INT16_MAX ? TValueType::vaInt16
             : v >= INT32_MIN && v <= INT32_MAX ? TValueType::vaInt32
                                                : TValueType::vaInt64;
    return r;
}

TFormValue TFormValue::Boolean(bool v) {
    TFormValue r;
    r.Type = v ? TValueType::vaTrue : TValueType::vaFalse;
    return r;
}

TFormValue TFormValue::Ident(std::string name) {
    TFormValue r;
    r.Type = TValueType::vaIdent;
    r.Bytes = std::move(name);
    return r;
}

TFormValue TFormValue::String(std::string bytes) {
    TFormValue r;
    r.Type = bytes.size() <= 255 ? TValueType::vaString : TValueType::vaLString;
    r.Bytes = std::move(bytes);
    return r;
}

TFormValue TFormValue::WString(WideString text) {
    TFormValue r;
    r.Type = TValueType::vaWString;
    r.Wide = std::move(text);
    return r;
}

TFormValue TFormValue::Binary(std::string bytes) {
    TFormValue r;
    r.Type = TValueType::vaBinary;
    r.Bytes = std::move(bytes);
    return r;
}

TFormValue TFormValue::SetOf(std::vector<std::string> members) {
    TFormValue r;
    r.Type = TValueType::vaSet;
    r.Set = std::move(members);
    return r;
}

TFormValue TFormValue::Nil() {
    TFormValue r;
    r.Type = TValueType::vaNil;
    return r;
}

bool operator==(const TFormValue& a, const TFormValue& b) {
    if (a.Type != b.Type) return false;
    // Compare floats by bit pattern so that NaNs read from a binary form compare equal.
    return a.Int == b.Int && std::bit_cast<uint64_t>(a.Float) == std::bit_cast<uint64_t>(b.Float) &&
           a.Bytes == b.Bytes && a.Wide == b.Wide && a.Set == b.Set && a.List == b.List && a.Items == b.Items;
}

bool operator==(const TFormProperty& a, const TFormProperty& b) { return a.Name == b.Name && a.Value == b.Value; }

bool operator==(const TFormCollectionItem& a, const TFormCollectionItem& b) {
    return a.Index == b.Index && a.Properties == b.Properties;
}

bool operator==(const TFormObject& a, const TFormObject& b) {
    return a.Flags == b.Flags && (!(a.Flags & ffChildPos) || a.Position == b.Position) &&
           a.ClassName == b.ClassName && a.Name == b.Name && a.Properties == b.Properties &&
           a.Children == b.Children;
}

bool IsBinaryForm(std::string_view data) { return data.substr(0, 4) == "TPF0"; }

TFormObject ParseBinaryForm(std::string_view data) { return BinaryReader(data).ReadRoot(); }

TFormObject ParseTextForm(std::string_view text) { return TextReader(text).ReadRoot(); }

TFormObject ParseForm(std::string_view data) {
    return IsBinaryForm(data) ? ParseBinaryForm(data) : ParseTextForm(data);
}

std::string WriteBinaryForm(const TFormObject& root) {
    BinaryWriter w;
    w.Object(root);
    return "TPF0" + w.Take();
}

std::string WriteTextForm(const TFormObject& root) {
    TextWriter w;
    w.Object(root, 0);
    return w.Take();
}

std::string ObjectBinaryToText(std::string_view binary) { return WriteTextForm(ParseBinaryForm(binary)); }

std::string ObjectTextToBinary(std::string_view text) { return WriteBinaryForm(ParseTextForm(text)); }

std::string FormValueSummary(const TFormValue& v) {
    switch (v.Type) {
        case TValueType::vaBinary: {
            static const char* hex = "0123456789ABCDEF";
            std::string s = "binary, " + std::to_string(v.Bytes.size()) + " bytes";
            if (!v.Bytes.empty()) s += ":";
            for (size_t i = 0; i < v.Bytes.size() && i < 16; ++i) {
                const auto b = static_cast<unsigned char>(v.Bytes[i]);
                s += ' ';
                s += hex[b >> 4];
                s += hex[b & 15];
            }
            if (v.Bytes.size() > 16) s += " ...";
            return s;
        }
        case TValueType::vaList: return "list of " + std::to_string(v.List.size()) + " values";
        case TValueType::vaCollection: return "collection of " + std::to_string(v.Items.size()) + " items";
        case TValueType::vaString:
        case TValueType::vaLString:
        case TValueType::vaWString:
        case TValueType::vaUTF8String: {
            WideString w = v.AsWide();
            std::string s;
            AppendQuoted(s, std::u16string_view(w).substr(0, 80));
            if (w.size() > 80) s += " ... (" + std::to_string(w.size()) + " characters)";
            return s;
        }
        default: {
            TFormProperty p{"x", v};
            TFormObject o;
            o.ClassName = "T";
            o.Properties.push_back(p);
            std::string text = WriteTextForm(o);
            const auto b = text.find("x = ") + 4;
            return text.substr(b, text.find("\r\n", b) - b);
        }
    }
}

}  // namespace vd
