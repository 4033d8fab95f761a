#include "vd_ax_enumdesc.h"

#include <charconv>

#include "vd_system.h"

namespace vd::ax {

std::string EnumIdentFromName(std::string name) {
    size_t drop = 0;
    while (name.size() - drop > 1 && name[drop] == '_') ++drop;
    name.erase(0, drop);
    return name;
}

std::string EnumDisplayString(const TEnumValue& value) { return std::to_string(value.Value) + " - " + value.Ident; }

std::vector<std::string> EnumDisplayStrings(const TEnumValueList& values) {
    std::vector<std::string> out;
    out.reserve(values.size());
    for (const TEnumValue& v : values) out.push_back(EnumDisplayString(v));
    return out;
}

std::string EnumValueToString(const TEnumValueList& values, int32_t value) {
    for (const TEnumValue& v : values)
        if (v.Value == value) return EnumDisplayString(v);
    return std::to_string(value);
}

std::optional<int32_t> EnumStringToValue(const TEnumValueList& values, std::string_view text) {
    size_t run = 0;
    while (run < text.size() && (text[run] == '-' || (text[run] >= '0' && text[run] <= '9'))) ++run;
    if (run > 0) {
        const std::string_view digits = text.substr(0, run);
        int32_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size())
            throw EConvertError("'" + std::string(digits) + "' is not a valid integer value");
        for (const TEnumValue& v : values)
            if (v.Value == number) return v.Value;
        return std::nullopt;
    }
    for (const TEnumValue& v : values)
        if (SameText(v.Ident, text)) return v.Value;
    return std::nullopt;
}

std::string BadPropertyValueMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid property value";
}

}  // namespace vd::ax
