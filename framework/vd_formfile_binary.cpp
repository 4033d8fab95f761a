#include "vd_formfile_internal.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace vd {

namespace {

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
        v = (mant << 1) != 0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
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
    // Reads from the stream's position to its end, a window at a time; long values go
    // straight from the stream into their own memory.
    explicit BinaryReader(TStream& stream) : stream_(&stream), streamLeft_(stream.GetSize() - stream.GetPosition()) {
        if (streamLeft_ < 0) streamLeft_ = 0;
    }

    TFormObject ReadRoot() {
        if (Remaining() < 4) Fail("Invalid form signature (expected TPF0)", 0);
        Need(4, "Signature");
        if (!IsBinaryForm(data_.substr(pos_))) Fail("Invalid form signature (expected TPF0)", 0);
        pos_ += 4;
        TFormObject root = ReadObject(0);
        if (Remaining() != 0) Fail("Unexpected data after the root object", Offset());
        return root;
    }

private:
    static constexpr size_t kWindow = 64 * 1024;

    [[noreturn]] void Fail(const std::string& what, size_t at) const {
        throw EReadError(what + " at offset " + std::to_string(at));
    }
    // Offset of the next byte from the start of the form.
    size_t Offset() const { return windowBase_ + pos_; }
    // Bytes left in the form, in the window and still in the stream.
    size_t Remaining() const { return (data_.size() - pos_) + static_cast<size_t>(streamLeft_); }
    void Need(size_t n, const char* what) {
        if (n <= data_.size() - pos_) return;
        if (n > Remaining())
            Fail(std::string(what) + " of " + std::to_string(n) + " bytes runs past the end of the data", Offset());
        Refill(n);
    }
    // Makes at least n bytes from the position on available in the window (n <= Remaining()).
    void Refill(size_t n) {
        std::string next(data_.substr(pos_));
        const size_t more = std::min(std::max(n - next.size(), kWindow), static_cast<size_t>(streamLeft_));
        const size_t have = next.size();
        next.resize(have + more);
        stream_->ReadBuffer(next.data() + have, static_cast<int64_t>(more));
        streamLeft_ -= static_cast<int64_t>(more);
        windowBase_ += pos_;
        pos_ = 0;
        window_ = std::move(next);
        data_ = window_;
    }
    uint8_t Byte() {
        Need(1, "Value");
        return static_cast<uint8_t>(data_[pos_++]);
    }
    template <class T> T Scalar() {
        Need(sizeof(T), "Value");
        T v;
        std::memcpy(&v, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }
    std::string Bytes(size_t n, const char* what) {
        if (n <= data_.size() - pos_ || !stream_ || n < kWindow) {
            Need(n, what);
            std::string s(data_.substr(pos_, n));
            pos_ += n;
            return s;
        }
        if (n > Remaining())
            Fail(std::string(what) + " of " + std::to_string(n) + " bytes runs past the end of the data", Offset());
        // A long value: what the window holds, then the rest read into place.
        std::string s;
        s.resize(n);
        const size_t inWindow = data_.size() - pos_;
        std::memcpy(s.data(), data_.data() + pos_, inWindow);
        stream_->ReadBuffer(s.data() + inWindow, static_cast<int64_t>(n - inWindow));
        streamLeft_ -= static_cast<int64_t>(n - inWindow);
        windowBase_ += data_.size() + (n - inWindow);
        window_.clear();
        data_ = window_;
        pos_ = 0;
        return s;
    }
    std::string ShortString() {
        const uint8_t n = Byte();
        return Bytes(n, "String");
    }
    size_t Length32(const char* what) {
        const size_t at = Offset();
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
        if (depth > kMaxDepth) Fail("Objects nested too deeply", Offset());
        TFormObject obj;
        Need(1, "Object header");
        if ((static_cast<uint8_t>(data_[pos_]) & 0xF0) == 0xF0) {
            obj.Flags = static_cast<uint8_t>(data_[pos_++]) & 0x0F;
            if (obj.Flags & ffChildPos) {
                const size_t at = Offset();
                TFormValue v = ReadValue(depth);
                if (!v.IsInteger()) Fail("Invalid child position", at);
                obj.Position = v.Int;
            }
        }
        obj.ClassName = ShortString();
        if (obj.ClassName.empty()) Fail("Missing class name", Offset() - 1);
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
        if (depth > kMaxDepth) Fail("Values nested too deeply", Offset());
        const size_t at = Offset();
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
            case TValueType::vaInt8:
                v.Int = Scalar<int8_t>();
                break;
            case TValueType::vaInt16:
                v.Int = Scalar<int16_t>();
                break;
            case TValueType::vaInt32:
                v.Int = Scalar<int32_t>();
                break;
            case TValueType::vaInt64:
                v.Int = Scalar<int64_t>();
                break;
            case TValueType::vaExtended: {
                Need(10, "Value");
                v.Float = ExtendedToDouble(reinterpret_cast<const uint8_t*>(data_.data() + pos_));
                pos_ += 10;
                break;
            }
            case TValueType::vaSingle:
                v.Float = Scalar<float>();
                break;
            case TValueType::vaDate:
                v.Float = Scalar<double>();
                break;
            case TValueType::vaCurrency:
                v.Int = Scalar<int64_t>();
                break;
            case TValueType::vaString:
            case TValueType::vaIdent:
                v.Bytes = ShortString();
                break;
            case TValueType::vaLString:
            case TValueType::vaUTF8String:
            case TValueType::vaBinary: {
                const size_t n = Length32("string");
                v.Bytes = Bytes(n, "String");
                break;
            }
            case TValueType::vaWString: {
                const size_t n = Length32("wide string");
                if (n > Remaining() / 2) Fail("Wide string runs past the end of the data", Offset());
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
                    const size_t itemAt = Offset();
                    const auto marker = static_cast<TValueType>(Byte());
                    if (marker == TValueType::vaInt8 || marker == TValueType::vaInt16 ||
                        marker == TValueType::vaInt32 ||
                        marker == TValueType::vaInt64) {  // the writer picks the smallest type that holds it
                        --pos_;
                        item.Index = ReadValue(depth + 1).Int;
                        if (static_cast<TValueType>(Byte()) != TValueType::vaList)
                            Fail("Collection item without a list marker", Offset() - 1);
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
    TStream* stream_ = nullptr;
    std::string window_;     // the stream's bytes data_ shows
    size_t windowBase_ = 0;  // offset in the form of data_[0]
    int64_t streamLeft_ = 0;
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
    template <class T> void Scalar(T v) {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        out_.append(b, sizeof(T));
    }
    void ShortString(const std::string& s, const char* what) {
        if (s.size() > 255)
            throw EWriteError(std::string("The ") + what + " '" + s.substr(0, 32) + "...' is longer than 255 bytes");
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
            case TValueType::vaInt8:
                Scalar(static_cast<int8_t>(v.Int));
                break;
            case TValueType::vaInt16:
                Scalar(static_cast<int16_t>(v.Int));
                break;
            case TValueType::vaInt32:
                Scalar(static_cast<int32_t>(v.Int));
                break;
            case TValueType::vaInt64:
                Scalar(v.Int);
                break;
            case TValueType::vaCurrency:
                Scalar(v.Int);
                break;
            case TValueType::vaExtended: {
                uint8_t b[10];
                DoubleToExtended(v.Float, b);
                out_.append(reinterpret_cast<const char*>(b), 10);
                break;
            }
            case TValueType::vaSingle:
                Scalar(static_cast<float>(v.Float));
                break;
            case TValueType::vaDate:
                Scalar(v.Float);
                break;
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

}  // namespace

TFormObject ReadBinaryForm(std::string_view data) { return BinaryReader(data).ReadRoot(); }

TFormObject ReadBinaryForm(TStream& stream) { return BinaryReader(stream).ReadRoot(); }

std::string WriteBinaryFormImpl(const TFormObject& root) {
    BinaryWriter w;
    w.Object(root);
    return "TPF0" + w.Take();
}

}  // namespace vd
