#include "vd_formfile_writers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace vd {

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

namespace {

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

    template <class Sink> void ReadRoot(Sink& sink) {
        if (Remaining() < 4) Fail("Invalid form signature (expected TPF0)", 0);
        Need(4, "Signature");
        if (!IsBinaryForm(data_.substr(pos_))) Fail("Invalid form signature (expected TPF0)", 0);
        pos_ += 4;
        ReadObject(sink, 0);
        if (Remaining() != 0) Fail("Unexpected data after the root object", Offset());
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
    [[gnu::always_inline]] void Need(size_t n, const char* what) {
        if (n <= data_.size() - pos_) [[likely]]
            return;
        NeedMore(n, what);
    }
    [[gnu::noinline]] void NeedMore(size_t n, const char* what) {
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
    [[gnu::always_inline]] uint8_t Byte() {
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
    // The next n bytes; valid until the next read.
    [[gnu::always_inline]] std::string_view View(size_t n, const char* what) {
        Need(n, what);
        const std::string_view s = data_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    template <class Sink> void LongBytes(Sink& sink, TValueType t, size_t n) {
        if (n <= data_.size() - pos_ || !stream_ || n < kWindow) {
            sink.Bytes(t, View(n, "String"));
            return;
        }
        if (n > Remaining()) Fail("String of " + std::to_string(n) + " bytes runs past the end of the data", Offset());
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
        sink.OwnedBytes(t, std::move(s));
    }
    [[gnu::always_inline]] std::string_view ShortString() {
        const uint8_t n = Byte();
        return View(n, "String");
    }
    size_t Length32(const char* what) {
        const size_t at = Offset();
        const int32_t n = Scalar<int32_t>();
        if (n < 0) Fail(std::string("Negative length in ") + what, at);
        return static_cast<size_t>(n);
    }
    [[gnu::always_inline]] bool AtEndMarker() {
        Need(1, "List end");
        if (data_[pos_] == 0) {
            ++pos_;
            return true;
        }
        return false;
    }
    [[gnu::always_inline]] int64_t IntPayload(TValueType t) {
        switch (t) {
            case TValueType::vaInt8:
                return Scalar<int8_t>();
            case TValueType::vaInt16:
                return Scalar<int16_t>();
            case TValueType::vaInt32:
                return Scalar<int32_t>();
            default:
                return Scalar<int64_t>();
        }
    }
    void CheckValueDepth(int depth, size_t at) const {
        if (depth > kMaxDepth) Fail("Values nested too deeply", at);
    }

    template <class Sink> void ReadObject(Sink& sink, int depth) {
        if (depth > kMaxDepth) Fail("Objects nested too deeply", Offset());
        uint8_t flags = 0;
        int64_t position = 0;
        Need(1, "Object header");
        if ((static_cast<uint8_t>(data_[pos_]) & 0xF0) == 0xF0) {
            flags = static_cast<uint8_t>(data_[pos_++]) & 0x0F;
            if (flags & ffChildPos) position = ChildPosition(depth);
        }
        std::string_view className = ShortString();
        if (className.empty()) Fail("Missing class name", Offset() - 1);
        if (stream_) className = className_.assign(className);  // reading the name may move the window
        const std::string_view name = ShortString();
        sink.BeginObject(flags, position, className, name);
        while (!AtEndMarker()) ReadProperty(sink, depth);
        sink.EndProperties();
        while (!AtEndMarker()) ReadObject(sink, depth + 1);
        sink.EndObject();
    }

    // Any value may stand there; only an integer is a position.
    int64_t ChildPosition(int depth) {
        const size_t at = Offset();
        CheckValueDepth(depth, at);
        Need(1, "Value");
        const auto type = static_cast<TValueType>(data_[pos_]);
        if (!IsIntType(type)) {
            TFormNullSink none;
            ReadValue(none, depth);
            Fail("Invalid child position", at);
        }
        ++pos_;
        return IntPayload(type);
    }

    template <class Sink> void ReadProperty(Sink& sink, int depth) {
        sink.Property(ShortString());
        ReadValue(sink, depth);
    }

    template <class Sink> void ReadValue(Sink& sink, int depth) {
        const size_t at = Offset();
        CheckValueDepth(depth, at);
        const uint8_t code = Byte();
        const auto type = static_cast<TValueType>(code);
        switch (type) {
            case TValueType::vaNull:
            case TValueType::vaFalse:
            case TValueType::vaTrue:
            case TValueType::vaNil:
                sink.Simple(type);
                break;
            case TValueType::vaList:
                sink.BeginList();
                while (!AtEndMarker()) ReadValue(sink, depth + 1);
                sink.EndList();
                break;
            case TValueType::vaInt8:
            case TValueType::vaInt16:
            case TValueType::vaInt32:
            case TValueType::vaInt64:
                sink.Int(type, IntPayload(type));
                break;
            case TValueType::vaCurrency:
                sink.Int(type, Scalar<int64_t>());
                break;
            case TValueType::vaExtended:
                Need(10, "Value");
                sink.Float(type, ExtendedToDouble(reinterpret_cast<const uint8_t*>(data_.data() + pos_)));
                pos_ += 10;
                break;
            case TValueType::vaSingle:
                sink.Float(type, Scalar<float>());
                break;
            case TValueType::vaDate:
                sink.Float(type, Scalar<double>());
                break;
            case TValueType::vaString:
            case TValueType::vaIdent:
                sink.Bytes(type, ShortString());
                break;
            case TValueType::vaLString:
            case TValueType::vaUTF8String:
            case TValueType::vaBinary:
                LongBytes(sink, type, Length32("string"));
                break;
            case TValueType::vaWString: {
                const size_t n = Length32("wide string");
                if (n > Remaining() / 2) Fail("Wide string runs past the end of the data", Offset());
                wide_.resize(n);
                if (2 * n <= data_.size() - pos_) {
                    std::memcpy(wide_.data(), data_.data() + pos_, 2 * n);  // little-endian host, as the format
                    pos_ += 2 * n;
                } else {
                    for (size_t i = 0; i < n; ++i) wide_[i] = static_cast<char16_t>(Scalar<uint16_t>());
                }
                sink.Wide(wide_);
                break;
            }
            case TValueType::vaSet:
                sink.BeginSet();
                for (std::string_view m = ShortString(); !m.empty(); m = ShortString()) sink.SetMember(m);
                sink.EndSet();
                break;
            case TValueType::vaCollection:
                sink.BeginCollection();
                while (!AtEndMarker()) {
                    const size_t itemAt = Offset();
                    const auto marker = static_cast<TValueType>(Byte());
                    std::optional<int64_t> index;
                    if (IsIntType(marker)) {  // the writer picks the smallest type that holds it
                        CheckValueDepth(depth + 1, itemAt);
                        index = IntPayload(marker);
                        if (static_cast<TValueType>(Byte()) != TValueType::vaList)
                            Fail("Collection item without a list marker", Offset() - 1);
                    } else if (marker != TValueType::vaList) {
                        Fail("Collection item without a list marker", itemAt);
                    }
                    sink.BeginItem(index);
                    while (!AtEndMarker()) ReadProperty(sink, depth + 1);
                    sink.EndItem();
                }
                sink.EndCollection();
                break;
            default:
                Fail("Unknown value type " + std::to_string(code), at);
        }
    }

    std::string_view data_;
    size_t pos_ = 0;
    TStream* stream_ = nullptr;
    std::string window_;     // the stream's bytes data_ shows
    size_t windowBase_ = 0;  // offset in the form of data_[0]
    int64_t streamLeft_ = 0;
    std::string className_;  // the object's class name while its name is read from a stream
    WideString wide_;        // the wide string value being passed on
};

template <class Source> TFormObject ReadTree(Source& source) {
    TFormTreeBuilder tree;
    BinaryReader(source).ReadRoot(tree);
    return tree.Take();
}

}  // namespace

TFormObject ReadBinaryForm(std::string_view data) { return ReadTree(data); }

TFormObject ReadBinaryForm(TStream& stream) { return ReadTree(stream); }

std::string WriteBinaryFormImpl(const TFormObject& root) {
    TFormBinaryWriter w;
    EmitFormTree(root, w);
    return w.Take();
}

std::string ConvertBinaryToText(std::string_view binary) {
    // Text takes about two and a half times the bytes of a form of many small values.
    return ConvertForm<TFormTextWriter>(
        binary.size() / 2 * 5, [&](auto& sink) { BinaryReader(binary).ReadRoot(sink); },
        [&] { return WriteTextFormImpl(ReadBinaryForm(binary)); });
}

}  // namespace vd
