#include "vd_formfile_internal.h"

#include <charconv>
#include <cmath>

namespace vd {

namespace {

// ---------------------------------------------------------------------------------------
// Text writing

constexpr size_t kTextLineLength = 64;   // string code units per text line
constexpr size_t kHexBytesPerLine = 32;  // 64 hex digits

bool IsPlainChar(char16_t c) { return c >= 32 && c < 127; }

}  // namespace

// Renders the code units as quoted runs and #nnn characters.
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

namespace {

template <class F> std::string FloatText(F d) {
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
            case TValueType::vaNull:
                out_ += "Null";
                break;
            case TValueType::vaNil:
                out_ += "nil";
                break;
            case TValueType::vaFalse:
                out_ += "False";
                break;
            case TValueType::vaTrue:
                out_ += "True";
                break;
            case TValueType::vaInt8:
            case TValueType::vaInt16:
            case TValueType::vaInt32:
            case TValueType::vaInt64:
                out_ += std::to_string(v.Int);
                break;
            case TValueType::vaExtended:
                out_ += FloatText(v.Float);
                break;
            case TValueType::vaSingle:
                out_ += FloatText(static_cast<float>(v.Float)) + "s";
                break;
            case TValueType::vaDate:
                out_ += FloatText(v.Float) + "d";
                break;
            case TValueType::vaCurrency:
                out_ += CurrencyText(v.Int);
                break;
            case TValueType::vaIdent:
                if (!v.Bytes.empty()) CheckTextName(v.Bytes, true, "identifier");
                out_ += v.Bytes.empty() ? "''" : v.Bytes;
                break;
            case TValueType::vaString:
            case TValueType::vaLString:
            case TValueType::vaWString:
            case TValueType::vaUTF8String:
                StringValue(v.AsWide(), level);
                break;
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

}  // namespace

std::string WriteTextFormImpl(const TFormObject& root) {
    TextWriter w;
    w.Object(root, 0);
    return w.Take();
}

}  // namespace vd
