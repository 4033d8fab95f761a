#include "vd_formfile.h"

#include <algorithm>
#include <bit>

#include "vd_formfile_internal.h"

namespace vd {

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
        case TValueType::vaWString:
            return Wide;
        case TValueType::vaUTF8String:
            return Utf8ToWide(Bytes);
        default:
            return Latin1ToWide(Bytes);
    }
}

TFormValue TFormValue::Integer(int64_t v) {
    TFormValue r;
    r.Int = v;
    r.Type = SmallestIntType(v);
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
    r.Type = StringTypeFor(bytes.size());
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
    return a.Flags == b.Flags && (!(a.Flags & ffChildPos) || a.Position == b.Position) && a.ClassName == b.ClassName &&
           a.Name == b.Name && a.Properties == b.Properties && a.Children == b.Children;
}

bool IsBinaryForm(std::string_view data) { return data.substr(0, 4) == "TPF0"; }

TFormObject ParseBinaryForm(std::string_view data) { return ReadBinaryForm(data); }

TFormObject ParseTextForm(std::string_view text) { return ReadTextForm(text); }

TFormObject ParseForm(std::string_view data) {
    return IsBinaryForm(data) ? ParseBinaryForm(data) : ParseTextForm(data);
}

TFormObject ParseForm(TStream& stream) {
    const int64_t start = stream.GetPosition();
    const int64_t size = stream.GetSize() - start;
    char signature[4] = {};
    const int64_t got = stream.Read(signature, std::min<int64_t>(size, 4));
    stream.SetPosition(start);
    if (IsBinaryForm(std::string_view(signature, static_cast<size_t>(std::max<int64_t>(got, 0)))))
        return ReadBinaryForm(stream);
    std::string text;
    text.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    return ParseTextForm(text);
}

std::string WriteBinaryForm(const TFormObject& root) { return WriteBinaryFormImpl(root); }

std::string WriteTextForm(const TFormObject& root) { return WriteTextFormImpl(root); }

// Straight from one format to the other, without the tree; the same bytes, or the same error,
// as writing what the reader parses.
std::string ObjectBinaryToText(std::string_view binary) { return ConvertBinaryToText(binary); }

std::string ObjectTextToBinary(std::string_view text) { return ConvertTextToBinary(text); }

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
        case TValueType::vaList:
            return "list of " + std::to_string(v.List.size()) + " values";
        case TValueType::vaCollection:
            return "collection of " + std::to_string(v.Items.size()) + " items";
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
