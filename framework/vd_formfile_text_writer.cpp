#include <charconv>
#include <cmath>

#include "vd_formfile_writers.h"

namespace vd {

namespace {

// ---------------------------------------------------------------------------------------
// Text writing: the rarer and the refusing parts of TFormTextWriter.

bool IsPlainChar(char16_t c) { return c >= 32 && c < 127; }

char16_t Unit(char c) { return static_cast<unsigned char>(c); }  // Latin-1
char16_t Unit(char16_t c) { return c; }

template <class C> void AppendQuotedRuns(TFormOutput& out, const C* s, size_t n) {
    if (n == 0) {
        out.Append("''");
        return;
    }
    // At most six bytes a unit: #65535, or '''' for a lone quote.
    char* o = out.Room(n * 6);
    for (size_t i = 0; i < n;) {
        if (IsPlainChar(Unit(s[i]))) {
            *o++ = '\'';
            do {
                const char16_t c = Unit(s[i]);
                *o++ = static_cast<char>(c);
                if (c == '\'') *o++ = '\'';
            } while (++i < n && IsPlainChar(Unit(s[i])));
            *o++ = '\'';
        } else {
            *o++ = '#';
            o = std::to_chars(o, o + 5, static_cast<unsigned>(Unit(s[i]))).ptr;
            ++i;
        }
    }
    out.Commit(o);
}

template <class F> void AppendFloat(TFormOutput& out, F d) {
    if (!std::isfinite(d)) throw EWriteError("A NaN or infinite number cannot be written as form text");
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);
    const std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
    // The reader tells floats from integers by the decimal point.
    if (s.find('.') != std::string_view::npos) {
        out += s;
        return;
    }
    const size_t e = std::min(s.find('e'), s.size());
    out += s.substr(0, e);
    out += ".0";
    out += s.substr(e);
}

}  // namespace

void AppendQuotedUnits(TFormOutput& out, const char16_t* s, size_t n) { AppendQuotedRuns(out, s, n); }

void AppendQuotedUnits(TFormOutput& out, const char* s, size_t n) { AppendQuotedRuns(out, s, n); }

void AppendQuoted(std::string& out, std::u16string_view s) {
    TFormOutput quoted(s.size() * 6 + 2);
    AppendQuotedRuns(quoted, s.data(), s.size());
    out += quoted.Take();
}

void AppendFloatText(TFormOutput& out, TValueType t, double v) {
    if (t == TValueType::vaSingle) {
        AppendFloat(out, static_cast<float>(v));
        out += 's';
        return;
    }
    AppendFloat(out, v);
    if (t == TValueType::vaDate) out += 'd';
}

void AppendCurrencyText(TFormOutput& out, int64_t scaled) {
    const bool neg = scaled < 0;
    const uint64_t mag = neg ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    if (neg) out += '-';
    char* o = out.Room(20);
    out.Commit(std::to_chars(o, o + 20, mag / 10000).ptr);
    // Four decimals, trailing zeros dropped but one.
    char frac[4];
    for (uint64_t f = mag % 10000, i = 4; i-- > 0; f /= 10) frac[i] = static_cast<char>('0' + f % 10);
    size_t n = 4;
    while (n > 1 && frac[n - 1] == '0') --n;
    out += '.';
    out.Append(frac, n);
    out += 'c';
}

void RefuseTextName(std::string_view s, const char* what) {
    throw EWriteError(std::string("The ") + what + " '" + std::string(s.substr(0, 32)) +
                      "' cannot be written as form text");
}

void CheckTextKeywordName(std::string_view name, bool inItem) {
    const std::string_view first = name.substr(0, name.find('.'));
    if (IdentIs(first, "end") ||
        (!inItem && (IdentIs(first, "object") || IdentIs(first, "inherited") || IdentIs(first, "inline"))))
        throw EWriteError("The property name '" + std::string(name.substr(0, 32)) + "' cannot be written as form text");
}

std::string WriteTextFormImpl(const TFormObject& root) {
    TFormTextWriter w;
    EmitFormTree(root, w);
    return w.Take();
}

}  // namespace vd
