// Private to the form file sources: the two writers, as sinks of the readers' events (see
// vd_formfile_internal.h). They are defined here, whole, so that a reader driving one in a
// conversion can inline the calls it makes for every name and value.
#pragma once

#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "vd_formfile_internal.h"

namespace vd {

// The writers' output. Each piece is written through a pointer after one check for room, and
// the string is grown (and so zero-filled) a slice at a time, just ahead of the writing.
class TFormOutput {
public:
    explicit TFormOutput(size_t reserve) { buf_.reserve(reserve); }
    std::string Take() {
        buf_.resize(used_);
        return std::move(buf_);
    }
    // Room for n more bytes: write them from the pointer returned, then Commit the end.
    char* Room(size_t n) {
        if (buf_.size() - used_ < n) [[unlikely]]
            Grow(n);
        return buf_.data() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<size_t>(end - buf_.data()); }
    void Put(char c) {
        *Room(1) = c;
        ++used_;
    }
    void Append(const char* s, size_t n) {
        if (n == 0) return;  // s may be null then
        std::memcpy(Room(n), s, n);
        used_ += n;
    }
    void Append(std::string_view s) { Append(s.data(), s.size()); }
    template <size_t N> void Append(const char (&s)[N]) { Append(s, N - 1); }
    TFormOutput& operator+=(char c) {
        Put(c);
        return *this;
    }
    TFormOutput& operator+=(std::string_view s) {
        Append(s);
        return *this;
    }

private:
    [[gnu::noinline]] void Grow(size_t n) { buf_.resize(std::max(used_ + n, buf_.size() + kSlice)); }
    static constexpr size_t kSlice = 64 * 1024;

    std::string buf_;
    size_t used_ = 0;
};

// ---------------------------------------------------------------------------------------
// Binary

class TFormBinaryWriter {
public:
    // reserve: the expected size of the form, so the output grows once at most.
    explicit TFormBinaryWriter(size_t reserve = 0) : out_(reserve + 4) { out_.Append("TPF0"); }
    std::string Take() { return out_.Take(); }

    void BeginObject(uint8_t flags, int64_t position, std::string_view className, std::string_view name) {
        propertiesClosed_ = false;
        // A class name of 240 bytes or more starts with a length byte the reader would take
        // for the flags prefix (0xF0 | flags); an explicit prefix, even without flags, keeps it a name.
        if (flags != 0 || className.size() >= 0xF0) {
            Put(0xF0 | (flags & 0x0F));
            if (flags & ffChildPos) Integer(position);
        }
        ShortString(className, "class name");
        ShortString(name, "object name");
    }
    void EndProperties() {
        Put(0);
        propertiesClosed_ = true;
    }
    void EndObject() {
        Put(0);
        propertiesClosed_ = true;  // back among the parent's children
    }
    void Property(std::string_view name) {
        // The binary format keeps every property before the first child.
        if (propertiesClosed_) throw TFormTreeRouteNeeded{};
        if (name.empty()) throw EWriteError("A property without a name cannot be written");
        ShortString(name, "property name");
    }
    void Simple(TValueType t) { Put(t); }
    void Int(TValueType t, int64_t v) {
        Put(t);
        switch (t) {
            case TValueType::vaInt8:
                Scalar(static_cast<int8_t>(v));
                break;
            case TValueType::vaInt16:
                Scalar(static_cast<int16_t>(v));
                break;
            case TValueType::vaInt32:
                Scalar(static_cast<int32_t>(v));
                break;
            default:  // int64, currency
                Scalar(v);
                break;
        }
    }
    void Float(TValueType t, double v) {
        Put(t);
        if (t == TValueType::vaExtended) {
            uint8_t b[10];
            DoubleToExtended(v, b);
            out_.Append(reinterpret_cast<const char*>(b), 10);
        } else if (t == TValueType::vaSingle) {
            Scalar(static_cast<float>(v));
        } else {
            Scalar(v);
        }
    }
    void Bytes(TValueType t, std::string_view s) {
        Put(t);
        if (t == TValueType::vaString || t == TValueType::vaIdent) {
            ShortString(s, t == TValueType::vaIdent ? "identifier" : "short string");
        } else {
            Length32(s.size());
            out_.Append(s);
        }
    }
    void OwnedBytes(TValueType t, std::string&& s) { Bytes(t, s); }
    void Wide(std::u16string_view s) {
        Put(TValueType::vaWString);
        Length32(s.size());
        out_.Append(reinterpret_cast<const char*>(s.data()), s.size() * 2);  // little-endian host, as the format
    }
    void BeginList() { Put(TValueType::vaList); }
    void EndList() { Put(0); }
    void BeginSet() { Put(TValueType::vaSet); }
    void SetMember(std::string_view m) {
        if (m.empty()) throw EWriteError("An empty set member cannot be written");
        ShortString(m, "set member");
    }
    void EndSet() { Put(0); }
    void BeginCollection() { Put(TValueType::vaCollection); }
    void BeginItem(const std::optional<int64_t>& index) {
        if (index) Integer(*index);
        Put(TValueType::vaList);
    }
    void EndItem() { Put(0); }
    void EndCollection() { Put(0); }

private:
    void Put(int b) { out_.Put(static_cast<char>(b)); }
    void Put(TValueType t) { Put(static_cast<int>(t)); }
    template <class T> void Scalar(T v) { out_.Append(reinterpret_cast<const char*>(&v), sizeof(T)); }
    void Integer(int64_t v) { Int(SmallestIntType(v), v); }
    void ShortString(std::string_view s, const char* what) {
        if (s.size() > 255) [[unlikely]]
            TooLong(s, what);
        char* o = out_.Room(s.size() + 1);
        *o = static_cast<char>(s.size());
        if (!s.empty()) std::memcpy(o + 1, s.data(), s.size());
        out_.Commit(o + 1 + s.size());
    }
    [[noreturn, gnu::noinline]] static void TooLong(std::string_view s, const char* what) {
        throw EWriteError(std::string("The ") + what + " '" + std::string(s.substr(0, 32)) +
                          "...' is longer than 255 bytes");
    }
    void Length32(size_t n) {
        if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
            throw EWriteError("A value is too large for a form file");
        Scalar<int32_t>(static_cast<int32_t>(n));
    }

    TFormOutput out_;
    bool propertiesClosed_ = false;
};

// ---------------------------------------------------------------------------------------
// Text: canonical layout, two spaces per level, CRLF line ends.

// Names in a binary form are arbitrary bytes; text can only carry what its reader takes as an
// identifier, so anything else is refused (EWriteError) rather than written as text that cannot
// be read back.
[[noreturn]] void RefuseTextName(std::string_view s, const char* what);
inline void CheckTextName(std::string_view s, bool dotted, const char* what) {
    if (!IsTextName(s, dotted)) [[unlikely]]
        RefuseTextName(s, what);
}
// A property name must also not start with a word the reader takes for the end of the object
// or item, or (outside items) for a child object.
void CheckTextKeywordName(std::string_view name, bool inItem);
inline void CheckTextPropertyName(std::string_view name, bool inItem) {
    CheckTextName(name, true, "property name");
    const char first = static_cast<char>(name[0] | 0x20);
    if (first == 'e' || first == 'o' || first == 'i') CheckTextKeywordName(name, inItem);
}
void AppendFloatText(TFormOutput& out, TValueType t, double v);
void AppendCurrencyText(TFormOutput& out, int64_t scaled);
// Quoted runs and #nnn characters, from UTF-16 or from Latin-1 bytes.
void AppendQuotedUnits(TFormOutput& out, const char16_t* s, size_t n);
void AppendQuotedUnits(TFormOutput& out, const char* s, size_t n);

class TFormTextWriter {
public:
    // reserve: the expected size of the text, so the output grows once at most.
    explicit TFormTextWriter(size_t reserve = 0) : out_(reserve) {}
    std::string Take() { return out_.Take(); }

    void BeginObject(uint8_t flags, int64_t position, std::string_view className, std::string_view name) {
        CheckTextName(className, false, "class name");
        if (!name.empty()) CheckTextName(name, false, "object name");
        Indent(level_);
        out_ += (flags & ffInherited) ? "inherited " : (flags & ffInline) ? "inline " : "object ";
        if (!name.empty()) {
            out_ += name;
            out_ += ": ";
        }
        out_ += className;
        if (flags & ffChildPos) {
            out_ += " [";
            AppendInt(position);
            out_ += ']';
        }
        NewLine();
        ++level_;
    }
    void EndProperties() {}
    void EndObject() {
        --level_;
        Indent(level_);
        out_ += "end";
        NewLine();
    }
    void Property(std::string_view name) {
        CheckTextPropertyName(name, !open_.empty() && open_.back() == kItem);
        Indent(level_);
        out_ += name;
        out_ += " = ";
    }
    void Simple(TValueType t) {
        BeginValue();
        out_ += t == TValueType::vaNull    ? "Null"
                : t == TValueType::vaNil   ? "nil"
                : t == TValueType::vaFalse ? "False"
                                           : "True";
        EndValue();
    }
    void Int(TValueType t, int64_t v) {
        BeginValue();
        if (t == TValueType::vaCurrency) AppendCurrencyText(out_, v);
        else AppendInt(v);
        EndValue();
    }
    void Float(TValueType t, double v) {
        BeginValue();
        AppendFloatText(out_, t, v);
        EndValue();
    }
    void Bytes(TValueType t, std::string_view s) {
        BeginValue();
        switch (t) {
            case TValueType::vaIdent:
                if (s.empty()) {
                    out_ += "''";
                } else {
                    CheckTextName(s, true, "identifier");
                    out_ += s;
                }
                break;
            case TValueType::vaBinary:
                Hex(s);
                break;
            case TValueType::vaUTF8String: {
                const WideString w = Utf8ToWide(s);
                String(w.data(), w.size());
                break;
            }
            default:  // 8-bit strings widen as Latin-1
                String(s.data(), s.size());
                break;
        }
        EndValue();
    }
    void OwnedBytes(TValueType t, std::string&& s) { Bytes(t, s); }
    void Wide(std::u16string_view s) {
        BeginValue();
        String(s.data(), s.size());
        EndValue();
    }
    void BeginList() { Open('(', kList); }
    void EndList() { Close(')'); }
    void BeginSet() {
        BeginValue();
        out_ += '[';
        firstMember_ = true;
    }
    void SetMember(std::string_view m) {
        CheckTextName(m, false, "set member");
        if (!firstMember_) out_ += ", ";
        firstMember_ = false;
        out_ += m;
    }
    void EndSet() {
        out_ += ']';
        EndValue();
    }
    void BeginCollection() { Open('<', kCollection); }
    void BeginItem(const std::optional<int64_t>& index) {
        NewLine();
        Indent(level_);
        out_ += "item";
        if (index) {
            out_ += " [";
            AppendInt(*index);
            out_ += ']';
        }
        NewLine();
        open_.push_back(kItem);
        ++level_;
    }
    void EndItem() {
        --level_;
        open_.pop_back();
        Indent(level_);
        out_ += "end";
    }
    void EndCollection() { Close('>'); }

private:
    static constexpr size_t kLineLength = 64;       // string code units per text line
    static constexpr size_t kHexBytesPerLine = 32;  // 64 hex digits
    enum : uint8_t { kList, kCollection, kItem };

    void NewLine() { out_ += "\r\n"; }
    void Indent(int level) {
        static constexpr std::string_view kSpaces =
            "                                                                                ";
        if (level <= 8) {  // the usual depths: one fixed-size copy, the end set by the level
            char* o = out_.Room(16);
            std::memcpy(o, kSpaces.data(), 16);
            out_.Commit(o + level * 2);
            return;
        }
        for (size_t n = static_cast<size_t>(level) * 2; n != 0;) {
            const size_t k = std::min(n, kSpaces.size());
            out_.Append(kSpaces.data(), k);
            n -= k;
        }
    }
    void AppendInt(int64_t v) {
        char* o = out_.Room(20);
        out_.Commit(std::to_chars(o, o + 20, v).ptr);
    }
    // Each element of a list on a line of its own; a property's value ends its line.
    void BeginValue() {
        if (!open_.empty() && open_.back() == kList) {
            NewLine();
            Indent(level_);
        }
    }
    void EndValue() {
        if (open_.empty() || open_.back() == kItem) NewLine();
    }
    void Open(char c, uint8_t kind) {
        BeginValue();
        out_ += c;
        open_.push_back(kind);
        ++level_;
    }
    void Close(char c) {
        --level_;
        open_.pop_back();
        out_ += c;
        EndValue();
    }
    // Long strings go on lines of their own below the name, joined with '+'.
    template <class Unit> void String(const Unit* s, size_t n) {
        if (n <= kLineLength) {
            AppendQuotedUnits(out_, s, n);
            return;
        }
        for (size_t i = 0; i < n; i += kLineLength) {
            NewLine();
            Indent(level_ + 1);
            AppendQuotedUnits(out_, s + i, std::min(kLineLength, n - i));
            if (i + kLineLength < n) out_ += " +";
        }
    }
    void Hex(std::string_view s) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out_ += '{';
        for (size_t i = 0; i < s.size(); i += kHexBytesPerLine) {
            NewLine();
            Indent(level_ + 1);
            const size_t n = std::min(kHexBytesPerLine, s.size() - i);
            char* o = out_.Room(n * 2);
            for (size_t k = 0; k < n; ++k) {
                const auto b = static_cast<unsigned char>(s[i + k]);
                *o++ = kHex[b >> 4];
                *o++ = kHex[b & 15];
            }
            out_.Commit(o);
        }
        out_ += '}';
    }

    TFormOutput out_;
    int level_ = 0;              // indentation of what is being written
    std::vector<uint8_t> open_;  // open lists, collections and items, innermost last
    bool firstMember_ = false;
};

}  // namespace vd
