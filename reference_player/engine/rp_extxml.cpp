#include "rp_extxml.h"

#include <cstdint>

namespace vd::rp {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A small cursor over the request text; every read checks the end.
class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}
    void SkipBlanks() {
        while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\r' || s_[p_] == '\n')) ++p_;
    }
    bool Eat(std::string_view lit) {
        if (s_.substr(p_).rfind(lit, 0) != 0) return false;
        p_ += lit.size();
        return true;
    }
    bool Peek(std::string_view lit) const { return s_.substr(p_).rfind(lit, 0) == 0; }
    // Text up to (not including) the next c; false when c never comes.
    bool Until(char c, std::string_view& out) {
        const size_t q = s_.find(c, p_);
        if (q == std::string_view::npos) return false;
        out = s_.substr(p_, q - p_);
        p_ = q;
        return true;
    }
    bool AtEnd() const { return p_ >= s_.size(); }

private:
    std::string_view s_;
    size_t p_ = 0;
};

std::optional<ExtValue> ReadValueAt(Cursor& c) {
    c.SkipBlanks();
    if (c.Eat("<undefined/>")) return ExtValue{};
    if (c.Eat("<null/>")) return ExtValue{ExtValue::Type::Null, false, {}};
    if (c.Eat("<true/>")) return ExtValue::Bool(true);
    if (c.Eat("<false/>")) return ExtValue::Bool(false);
    if (c.Eat("<string/>")) return ExtValue::Str({});
    for (const auto& [tag, type] : {std::pair{std::string_view("string"), ExtValue::Type::String},
                                    std::pair{std::string_view("number"), ExtValue::Type::Number}}) {
        const std::string open = "<" + std::string(tag) + ">";
        const std::string close = "</" + std::string(tag) + ">";
        if (!c.Eat(open)) continue;
        std::string_view raw;
        if (!c.Until('<', raw) || !c.Eat(close)) return std::nullopt;
        auto text = XmlUnescape(raw);
        if (!text) return std::nullopt;
        return ExtValue{type, false, std::move(*text)};
    }
    return std::nullopt;
}

bool ReadAttribute(Cursor& c, std::string_view name, std::string& value) {
    c.SkipBlanks();
    if (!c.Eat(name) || !c.Eat("=\"")) return false;
    std::string_view raw;
    if (!c.Until('"', raw) || !c.Eat("\"")) return false;
    auto text = XmlUnescape(raw);
    if (!text) return false;
    value = std::move(*text);
    return true;
}

}  // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
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
                out += ch;
        }
    }
    return out;
}

std::optional<std::string> XmlUnescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) return std::nullopt;
        const std::string_view ent = text.substr(i + 1, semi - i - 1);
        if (ent == "amp") out += '&';
        else if (ent == "lt") out += '<';
        else if (ent == "gt") out += '>';
        else if (ent == "quot") out += '"';
        else if (ent == "apos") out += '\'';
        else if (ent.size() >= 2 && ent[0] == '#') {
            const bool hex = ent[1] == 'x' || ent[1] == 'X';
            const std::string_view digits = ent.substr(hex ? 2 : 1);
            if (digits.empty()) return std::nullopt;
            uint32_t cp = 0;
            for (char d : digits) {
                int v;
                if (d >= '0' && d <= '9') v = d - '0';
                else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
                else return std::nullopt;
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
                if (cp > 0x10FFFF) return std::nullopt;
            }
            AppendUtf8(out, cp);
        } else {
            return std::nullopt;
        }
        i = semi;
    }
    return out;
}

std::string WriteValue(const ExtValue& v) {
    switch (v.type) {
        case ExtValue::Type::Undefined:
            return "<undefined/>";
        case ExtValue::Type::Null:
            return "<null/>";
        case ExtValue::Type::Bool:
            return v.boolean ? "<true/>" : "<false/>";
        case ExtValue::Type::Number:
            return "<number>" + XmlEscape(v.text) + "</number>";
        case ExtValue::Type::String:
            return "<string>" + XmlEscape(v.text) + "</string>";
    }
    return "<undefined/>";
}

std::optional<ExtValue> ReadValue(std::string_view xml) {
    Cursor c(xml);
    auto v = ReadValueAt(c);
    c.SkipBlanks();
    if (!v || !c.AtEnd()) return std::nullopt;
    return v;
}

std::string WriteRequest(const ExtRequest& r) {
    std::string out =
        "<invoke name=\"" + XmlEscape(r.name) + "\" returntype=\"" + XmlEscape(r.returnType) + "\"><arguments>";
    for (const auto& a : r.args) out += WriteValue(a);
    out += "</arguments></invoke>";
    return out;
}

std::optional<ExtRequest> ReadRequest(std::string_view xml) {
    Cursor c(xml);
    ExtRequest r;
    c.SkipBlanks();
    if (!c.Eat("<invoke")) return std::nullopt;
    if (!ReadAttribute(c, "name", r.name)) return std::nullopt;
    c.SkipBlanks();
    if (c.Peek("returntype") && !ReadAttribute(c, "returntype", r.returnType)) return std::nullopt;
    c.SkipBlanks();
    if (c.Eat("/>")) {
        c.SkipBlanks();
        return c.AtEnd() ? std::optional(r) : std::nullopt;
    }
    if (!c.Eat(">")) return std::nullopt;
    c.SkipBlanks();
    if (c.Eat("<arguments/>")) {
    } else if (c.Eat("<arguments>")) {
        for (;;) {
            c.SkipBlanks();
            if (c.Eat("</arguments>")) break;
            auto v = ReadValueAt(c);
            if (!v) return std::nullopt;
            r.args.push_back(std::move(*v));
        }
    }
    c.SkipBlanks();
    if (!c.Eat("</invoke>")) return std::nullopt;
    c.SkipBlanks();
    if (!c.AtEnd()) return std::nullopt;
    return r;
}

std::string WrapExternalCall(std::string_view name, const std::vector<ExtValue>& args) {
    std::string call(name);
    call += '(';
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) call += ',';
        const ExtValue& a = args[i];
        switch (a.type) {
            case ExtValue::Type::String:
                call += '"';
                for (char ch : a.text) {
                    if (ch == '"' || ch == '\\') call += '\\';
                    call += ch;
                }
                call += '"';
                break;
            case ExtValue::Type::Number:
                call += a.text;
                break;
            case ExtValue::Type::Bool:
                call += a.boolean ? "true" : "false";
                break;
            case ExtValue::Type::Null:
                call += "null";
                break;
            case ExtValue::Type::Undefined:
                call += "undefined";
                break;
        }
    }
    call += ')';
    return "try { __flash__toXML(" + call + ") ; } catch (e) { \"<undefined/>\"; }";
}

}  // namespace vd::rp
