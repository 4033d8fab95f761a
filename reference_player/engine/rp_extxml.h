// The external-interface texts a movie exchanges with its host: the request
// <invoke name="f" returntype="xml"><arguments>...</arguments></invoke>, the value elements
// (<string>, <number>, <true/>, <false/>, <null/>, <undefined/>), and the script the NPAPI
// form hands its host to evaluate. Platform-free.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vd::rp {

struct ExtValue {
    enum class Type { Undefined, Null, Bool, Number, String };
    Type type = Type::Undefined;
    bool boolean = false;
    std::string text;  // String: the text; Number: its decimal form

    static ExtValue Str(std::string s) { return {Type::String, false, std::move(s)}; }
    static ExtValue Num(std::string s) { return {Type::Number, false, std::move(s)}; }
    static ExtValue Bool(bool b) { return {Type::Bool, b, {}}; }
    bool operator==(const ExtValue&) const = default;
};

struct ExtRequest {
    std::string name;
    std::string returnType;
    std::vector<ExtValue> args;
};

std::string XmlEscape(std::string_view text);
// Replaces the five predefined entities and numeric character references; nullopt when an
// entity is malformed.
std::optional<std::string> XmlUnescape(std::string_view text);

// One value element.
std::string WriteValue(const ExtValue& v);
// Parses exactly one value element (surrounding blanks allowed); nullopt otherwise.
std::optional<ExtValue> ReadValue(std::string_view xml);

std::string WriteRequest(const ExtRequest& r);
// nullopt for anything that is not a well-formed invoke element of that shape.
std::optional<ExtRequest> ReadRequest(std::string_view xml);

// The script the plugin evaluates to call a host function:
//   try { __flash__toXML(NAME(ARGS)) ; } catch (e) { "<undefined/>"; }
// with strings as double-quoted script literals (quotes and backslashes escaped).
std::string WrapExternalCall(std::string_view name, const std::vector<ExtValue>& args);

}  // namespace vd::rp
