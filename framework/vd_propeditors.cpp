#include "vd_propeditors.h"

#include <charconv>
#include <cstdint>

namespace vd {

namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

[[noreturn]] void InvalidValue() { throw EConvertError("Invalid property value"); }

const TIdents& BooleanIdents() {
    static const TIdents idents{"False", "True"};
    return idents;
}

const TIdents& IdentsOf(const TPropInfo& prop) {
    return prop.Kind == TPropKind::Boolean || !prop.Idents ? BooleanIdents() : *prop.Idents;
}

int FindIdent(const TIdents& idents, const std::string& name) {
    for (size_t i = 0; i < idents.size(); ++i)
        if (SameText(idents[i], name)) return static_cast<int>(i);
    return -1;
}

// Decimal or "$" hexadecimal, with an optional sign.
bool ParseInteger(const std::string& text, int64_t& value) {
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    constexpr uint64_t kMaxPositive = static_cast<uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > kMaxPositive + 1) return false;
        value = magnitude == kMaxPositive + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > kMaxPositive) return false;
        value = static_cast<int64_t>(magnitude);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------

std::string TIntegerProperty::GetValue() {
    const int64_t v = GetOrdValue();
    if (const TIdentMap* names = GetPropInfo().IdentMap)
        for (const auto& [name, value] : *names)
            if (value == v) return name;
    return std::to_string(v);
}

void TIntegerProperty::GetValues(const TGetStrProc& proc) {
    if (const TIdentMap* names = GetPropInfo().IdentMap)
        for (const auto& entry : *names) proc(entry.first);
}

TPropertyAttributes TIntegerProperty::GetAttributes() {
    if (GetPropInfo().IdentMap) return {paMultiSelect, paValueList, paRevertable};
    return {paMultiSelect, paRevertable};
}

void TIntegerProperty::SetValue(const std::string& value) {
    const std::string text = Trim(value);
    int64_t v = 0;
    bool found = ParseInteger(text, v);
    if (!found)
        if (const TIdentMap* names = GetPropInfo().IdentMap)
            for (const auto& [name, ordinal] : *names)
                if (SameText(name, text)) {
                    v = ordinal;
                    found = true;
                    break;
                }
    if (!found) throw EConvertError("'" + value + "' is not a valid integer value");
    SetOrdValue(v);
    Modified();
}

TPropertyAttributes TColorProperty::GetAttributes() { return {paMultiSelect, paValueList, paRevertable}; }

// ---------------------------------------------------------------------------------------

TPropertyAttributes TEnumProperty::GetAttributes() { return {paMultiSelect, paValueList, paRevertable}; }

std::string TEnumProperty::GetValue() {
    const TIdents& idents = IdentsOf(GetPropInfo());
    const int64_t v = GetOrdValue();
    if (v >= 0 && v < static_cast<int64_t>(idents.size())) return idents[static_cast<size_t>(v)];
    return std::to_string(v);
}

void TEnumProperty::GetValues(const TGetStrProc& proc) {
    for (const std::string& ident : IdentsOf(GetPropInfo())) proc(ident);
}

void TEnumProperty::SetValue(const std::string& value) {
    const int index = FindIdent(IdentsOf(GetPropInfo()), Trim(value));
    if (index < 0) InvalidValue();
    SetOrdValue(index);
    Modified();
}

// ---------------------------------------------------------------------------------------

TPropertyAttributes TSetProperty::GetAttributes() { return {paMultiSelect, paRevertable}; }

std::string TSetProperty::GetValue() {
    const TIdents& idents = IdentsOf(GetPropInfo());
    const auto bits = static_cast<uint64_t>(GetOrdValue());
    std::string text = "[";
    for (size_t i = 0; i < idents.size() && i < 64; ++i) {
        if (!(bits & (uint64_t{1} << i))) continue;
        if (text.size() > 1) text += ", ";
        text += idents[i];
    }
    return text + "]";
}

void TSetProperty::SetValue(const std::string& value) {
    const std::string text = Trim(value);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') InvalidValue();
    const std::string inner = Trim(text.substr(1, text.size() - 2));
    uint64_t bits = 0;
    size_t start = 0;
    while (!inner.empty()) {
        const size_t comma = inner.find(',', start);
        const std::string member = Trim(inner.substr(start, comma == std::string::npos ? comma : comma - start));
        const int index = FindIdent(IdentsOf(GetPropInfo()), member);
        if (index < 0 || index >= 64) InvalidValue();
        bits |= uint64_t{1} << index;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    SetOrdValue(static_cast<int64_t>(bits));
    Modified();
}

// ---------------------------------------------------------------------------------------

TPropertyAttributes TMethodProperty::GetAttributes() { return {paReadOnly}; }

std::string TMethodProperty::GetValue() {
    TPersistent& first = *GetComponent(0);
    const TPropInfo& prop = GetPropInfo();
    if (!prop.EventAssigned || !prop.EventAssigned(first)) return {};
    const std::string name = prop.EventName(first);
    return name.empty() ? "(assigned)" : name;
}

TPropertyAttributes TComponentProperty::GetAttributes() { return {paReadOnly}; }

std::string TComponentProperty::GetValue() {
    auto* ref = dynamic_cast<TComponent*>(GetPropInfo().GetObj(*GetComponent(0)));
    return ref ? ref->GetName() : std::string();
}

TPropertyAttributes TClassProperty::GetAttributes() { return {paSubProperties, paReadOnly}; }

std::string TClassProperty::GetValue() {
    TPersistent* obj = GetPropInfo().GetObj(*GetComponent(0));
    return obj ? "(" + obj->ClassName() + ")" : std::string();
}

// ---------------------------------------------------------------------------------------

const TPropertyEditorClass& DefaultPropertyEditor(TPropKind kind) {
    static const TPropertyEditorClass integer = EditorClass<TIntegerProperty>("TIntegerProperty");
    static const TPropertyEditorClass enumeration = EditorClass<TEnumProperty>("TEnumProperty");
    static const TPropertyEditorClass set = EditorClass<TSetProperty>("TSetProperty");
    static const TPropertyEditorClass color = EditorClass<TColorProperty>("TColorProperty");
    static const TPropertyEditorClass string = EditorClass<TStringProperty>("TStringProperty");
    static const TPropertyEditorClass wide = EditorClass<TWideStringProperty>("TWideStringProperty");
    static const TPropertyEditorClass component = EditorClass<TComponentProperty>("TComponentProperty");
    static const TPropertyEditorClass method = EditorClass<TMethodProperty>("TMethodProperty");
    static const TPropertyEditorClass object = EditorClass<TClassProperty>("TClassProperty");
    switch (kind) {
        case TPropKind::Integer:
            return integer;
        case TPropKind::Boolean:
        case TPropKind::Enumeration:
            return enumeration;
        case TPropKind::Set:
            return set;
        case TPropKind::Color:
            return color;
        case TPropKind::String:
            return string;
        case TPropKind::WideString:
            return wide;
        case TPropKind::Component:
            return component;
        case TPropKind::Event:
            return method;
        case TPropKind::Collection:
        case TPropKind::Persistent:
            break;
    }
    return object;
}

}  // namespace vd
