// The text side of enumerated control properties: the constants of one enumeration as the
// control's type information lists them, their display strings ("3 - Medium") and the way a
// display string, a number or a name is read back into a value. Platform-free; the Windows
// layer fills the constants from the type information.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vd {

// One enumeration constant.
struct TEnumValue {
    int32_t Value = 0;
    std::string Ident;
};
using TEnumValueList = std::vector<TEnumValue>;

}  // namespace vd

namespace vd::ax {

// The name a constant is shown under: leading underscores removed while more than one
// character is left ("__Quality" is "Quality", "_" stays "_").
std::string EnumIdentFromName(std::string name);

// "%d - %s": value 3 named Medium is "3 - Medium".
std::string EnumDisplayString(const TEnumValue& value);

// The display strings of all constants, in order.
std::vector<std::string> EnumDisplayStrings(const TEnumValueList& values);

// The display string of the first constant equal to value; the bare number when none is.
std::string EnumValueToString(const TEnumValueList& values, int32_t value);

// Reads text back: a leading run of "-" and digits is taken as a number (raising EConvertError
// when that run is no integer, the hyphen alone say) and must be one of the values; text without
// such a run is matched against the names without regard to case. Nothing when neither finds
// a constant: a leading number not among the values is not looked up by name.
std::optional<int32_t> EnumStringToValue(const TEnumValueList& values, std::string_view text);

// The message of the error raised for text that names no constant.
std::string BadPropertyValueMessage(std::string_view text);

}  // namespace vd::ax
