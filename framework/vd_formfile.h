// Form files: the class-agnostic object tree and its two stored formats.
//
// A form is a tree of objects (class name, object name, properties in stored order,
// children). The binary format starts with "TPF0"; the text format is the readable
// `object Name: TClass ... end` form. Both parse into the same tree and are written from
// it; converting between them needs no knowledge of the classes involved, and streams from
// one format's reader into the other's writer without building the tree. Reading
// into live components (vd_filer.h) works on this tree once it has been fully parsed,
// so a corrupt form is rejected before any component is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vd_system.h"

namespace vd {

class TStream;

// Value type codes of the binary format (one byte before each value).
enum class TValueType : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20,
};

// Object header flags (binary prefix byte 0xF0 | flags; text keywords and "[n]").
enum TFilerFlag : uint8_t { ffInherited = 1, ffChildPos = 2, ffInline = 4 };

struct TFormProperty;

struct TFormCollectionItem {
    std::optional<int64_t> Index;  // the optional "[n]" order value
    std::vector<TFormProperty> Properties;
};

struct TFormValue {
    TValueType Type = TValueType::vaNull;
    int64_t Int = 0;                         // integers; currency scaled by 10000
    double Float = 0;                        // extended, single, date
    std::string Bytes;                       // 8-bit string, identifier, binary data, UTF-8 string
    WideString Wide;                         // UTF-16 string
    std::vector<std::string> Set;            // set members
    std::vector<TFormValue> List;            // list elements
    std::vector<TFormCollectionItem> Items;  // collection items

    bool IsInteger() const;
    bool IsString() const;
    // The text of any string value as UTF-16 (8-bit strings widen as Latin-1).
    WideString AsWide() const;

    static TFormValue Integer(int64_t v);  // smallest integer type that holds v
    static TFormValue Boolean(bool v);
    static TFormValue Ident(std::string name);
    static TFormValue String(std::string bytes);  // 8-bit; long strings use vaLString
    static TFormValue WString(WideString text);
    static TFormValue Binary(std::string bytes);
    static TFormValue SetOf(std::vector<std::string> members);
    static TFormValue Nil();
};

struct TFormProperty {
    std::string Name;  // may be dotted ("Font.Name") for nested persistent objects
    TFormValue Value;
};

struct TFormObject {
    uint8_t Flags = 0;     // TFilerFlag bits
    int64_t Position = 0;  // with ffChildPos
    std::string ClassName;
    std::string Name;
    std::vector<TFormProperty> Properties;
    std::vector<TFormObject> Children;
};

// Equality of trees, used by round-trip checks and tests.
bool operator==(const TFormValue& a, const TFormValue& b);
bool operator==(const TFormProperty& a, const TFormProperty& b);
bool operator==(const TFormCollectionItem& a, const TFormCollectionItem& b);
bool operator==(const TFormObject& a, const TFormObject& b);

// True when the data starts with the binary signature "TPF0".
bool IsBinaryForm(std::string_view data);

// Parsers raise EReadError naming what was wrong and where ("offset N" or "line N").
TFormObject ParseBinaryForm(std::string_view data);
TFormObject ParseTextForm(std::string_view text);
TFormObject ParseForm(std::string_view data);  // chooses by the signature
// From the stream's position to its end: a binary form is read a window at a time (long
// values straight into their own memory), a text form whole.
TFormObject ParseForm(TStream& stream);

std::string WriteBinaryForm(const TFormObject& root);
// Canonical text: two spaces per level, CRLF line ends. Raises EWriteError for values the
// text format cannot express (a NaN or infinite float).
std::string WriteTextForm(const TFormObject& root);

// Class-agnostic conversion between the two formats, streamed from the reader to the writer
// without building the tree: the same bytes, or the same error, as writing what the parser
// returns (a read error anywhere in the input wins over a write error).
std::string ObjectBinaryToText(std::string_view binary);
std::string ObjectTextToBinary(std::string_view text);

// A value rendered as form text on one line (lists, collections and long strings are
// summarised); used by the dump tool.
std::string FormValueSummary(const TFormValue& value);

}  // namespace vd
