// Private to the form file sources: vd_formfile.cpp holds the tree, the values and the public
// entry points, and calls into one source per stored format for the reading and writing.
//
// Each format has one reader, and each reader reports what it reads as a series of events to a
// sink given as a template parameter. The tree builder below turns the events into a
// TFormObject; the writers in vd_formfile_writers.h turn them straight into the other format,
// so a conversion never builds the tree. Writing a tree walks it emitting the same events.
//
// The events for one object, in order:
//   BeginObject(flags, position, class name, object name)   position only with ffChildPos
//   { Property(name) <value> }  EndProperties()  { <child object> }  EndObject()
// Text lets a property follow a child object; the text reader passes such a property on after
// the children read so far (the tree builder files it with the others, a streaming writer
// cannot and throws TFormTreeRouteNeeded).
// A value is one of:
//   Simple(type)                  null, false, true, nil
//   Int(type, v)                  int8 .. int64 and currency (scaled by 10000)
//   Float(type, v)                extended, single, date
//   Bytes(type, s)                8-bit, long and UTF-8 strings, identifiers, binary data
//   OwnedBytes(type, string&&)    the same, when the reader has the value in memory of its own
//                                 (a long value), which the tree builder keeps without a copy
//   Wide(s)                       UTF-16 string
//   BeginList() { <value> } EndList()
//   BeginSet() { SetMember(name) } EndSet()
//   BeginCollection() { BeginItem(index) { Property(name) <value> } EndItem() } EndCollection()
// Views passed to a sink are valid only during the call.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vd_formfile.h"
#include "vd_streams.h"

namespace vd {

// Deeper nesting than this is never written by a real designer; refusing it keeps a hostile
// form from exhausting the stack.
constexpr int kMaxDepth = 200;

// The integer type the writers store a value in: the smallest that holds it.
constexpr TValueType SmallestIntType(int64_t v) {
    return v >= INT8_MIN && v <= INT8_MAX     ? TValueType::vaInt8
           : v >= INT16_MIN && v <= INT16_MAX ? TValueType::vaInt16
           : v >= INT32_MIN && v <= INT32_MAX ? TValueType::vaInt32
                                              : TValueType::vaInt64;
}

constexpr bool IsIntType(TValueType t) {
    return t == TValueType::vaInt8 || t == TValueType::vaInt16 || t == TValueType::vaInt32 || t == TValueType::vaInt64;
}

// An 8-bit string value: short strings hold up to 255 bytes.
constexpr TValueType StringTypeFor(size_t bytes) { return bytes <= 255 ? TValueType::vaString : TValueType::vaLString; }

// What each byte can be in form text, for the reader's tokenizer and the text writer's checks.
enum : uint8_t { kFormIdentStart = 1, kFormDigit = 2, kFormHex = 4, kFormBlank = 8, kFormIdentChar = 16 };
inline constexpr auto kFormCharClass = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = t[c + 32] = kFormIdentStart | kFormIdentChar;
    t['_'] = kFormIdentStart | kFormIdentChar;
    for (int c = '0'; c <= '9'; ++c) t[c] = kFormDigit | kFormHex | kFormIdentChar;
    for (int c = 0; c < 6; ++c) t['a' + c] = t['A' + c] = kFormIdentStart | kFormHex | kFormIdentChar;
    for (char c : {' ', '\t', '\r', '\f', '\v'}) t[static_cast<unsigned char>(c)] = kFormBlank;
    return t;
}();

// Identifiers joined by '.', for IsTextName.
inline bool IsTextDottedName(std::string_view s) {
    bool partStart = true;
    for (const char c : s) {
        const uint8_t k = kFormCharClass[static_cast<unsigned char>(c)];
        if (partStart) {
            if (!(k & kFormIdentStart)) return false;
            partStart = false;
        } else if (c == '.') {
            partStart = true;
        } else if (!(k & (kFormIdentStart | kFormDigit))) {
            return false;
        }
    }
    return !partStart;
}

// What the text reader takes as an identifier: a letter or '_', then letters, digits and '_';
// dotted, such parts joined by '.'.
inline bool IsTextName(std::string_view s, bool dotted) {
    if (s.empty() || !(kFormCharClass[static_cast<unsigned char>(s[0])] & kFormIdentStart)) return false;
    unsigned all = kFormIdentChar;  // no branch per character
    for (const char c : s) all &= kFormCharClass[static_cast<unsigned char>(c)];
    return all != 0 || (dotted && IsTextDottedName(s));
}

// Whether an identifier (letters, digits, '_') is the lower-case keyword word, in any case.
// Setting bit 5 lower-cases a letter and leaves digits alone; '_' becomes DEL, no letter.
inline bool IdentIs(std::string_view ident, std::string_view word) {
    if (ident.size() != word.size()) return false;
    for (size_t i = 0; i < ident.size(); ++i)
        if ((ident[i] | 0x20) != word[i]) return false;
    return true;
}

// Thrown by a streaming writer when events come in an order its format cannot follow as they
// arrive; the conversion then goes through the tree instead.
struct TFormTreeRouteNeeded {};

// Takes every event and does nothing: reading only to find the reader's errors.
struct TFormNullSink {
    void BeginObject(uint8_t, int64_t, std::string_view, std::string_view) {}
    void EndProperties() {}
    void EndObject() {}
    void Property(std::string_view) {}
    void Simple(TValueType) {}
    void Int(TValueType, int64_t) {}
    void Float(TValueType, double) {}
    void Bytes(TValueType, std::string_view) {}
    void OwnedBytes(TValueType, std::string&&) {}
    void Wide(std::u16string_view) {}
    void BeginList() {}
    void EndList() {}
    void BeginSet() {}
    void SetMember(std::string_view) {}
    void EndSet() {}
    void BeginCollection() {}
    void BeginItem(const std::optional<int64_t>&) {}
    void EndItem() {}
    void EndCollection() {}
};

// Builds the tree. The pointers it keeps stay valid: only the innermost open object, property
// list or value ever grows.
class TFormTreeBuilder {
public:
    TFormObject Take() { return std::move(root_); }

    void BeginObject(uint8_t flags, int64_t position, std::string_view className, std::string_view name) {
        TFormObject* o = objects_.empty() ? &root_ : &objects_.back()->Children.emplace_back();
        o->Flags = flags;
        o->Position = position;
        o->ClassName = className;
        o->Name = name;
        objects_.push_back(o);
        properties_.push_back(&o->Properties);
    }
    void EndProperties() {}
    void EndObject() {
        objects_.pop_back();
        properties_.pop_back();
    }
    void Property(std::string_view name) {
        TFormProperty& p = properties_.back()->emplace_back();
        p.Name = name;
        slot_ = &p.Value;
    }
    void Simple(TValueType t) { Next().Type = t; }
    void Int(TValueType t, int64_t v) {
        TFormValue& r = Next();
        r.Type = t;
        r.Int = v;
    }
    void Float(TValueType t, double v) {
        TFormValue& r = Next();
        r.Type = t;
        r.Float = v;
    }
    void Bytes(TValueType t, std::string_view s) {
        TFormValue& r = Next();
        r.Type = t;
        r.Bytes = s;
    }
    void OwnedBytes(TValueType t, std::string&& s) {
        TFormValue& r = Next();
        r.Type = t;
        r.Bytes = std::move(s);
    }
    void Wide(std::u16string_view s) {
        TFormValue& r = Next();
        r.Type = TValueType::vaWString;
        r.Wide = s;
    }
    void BeginList() { Open(TValueType::vaList); }
    void EndList() { values_.pop_back(); }
    void BeginSet() { Open(TValueType::vaSet); }
    void SetMember(std::string_view m) { values_.back()->Set.emplace_back(m); }
    void EndSet() { values_.pop_back(); }
    void BeginCollection() { Open(TValueType::vaCollection); }
    void BeginItem(const std::optional<int64_t>& index) {
        TFormCollectionItem& item = values_.back()->Items.emplace_back();
        item.Index = index;
        properties_.push_back(&item.Properties);
    }
    void EndItem() { properties_.pop_back(); }
    void EndCollection() { values_.pop_back(); }

private:
    // Where the next value goes: the property just named, else the open list.
    TFormValue& Next() {
        if (TFormValue* v = slot_) {
            slot_ = nullptr;
            return *v;
        }
        return values_.back()->List.emplace_back();
    }
    void Open(TValueType t) {
        TFormValue& v = Next();
        v.Type = t;
        values_.push_back(&v);
    }

    TFormObject root_;
    std::vector<TFormObject*> objects_;
    std::vector<std::vector<TFormProperty>*> properties_;  // the open object's or item's
    std::vector<TFormValue*> values_;                      // open lists, sets and collections
    TFormValue* slot_ = nullptr;
};

template <class Sink> void EmitFormValue(const TFormValue& v, Sink& sink);

template <class Sink> void EmitFormProperties(const std::vector<TFormProperty>& properties, Sink& sink) {
    for (const TFormProperty& p : properties) {
        sink.Property(p.Name);
        EmitFormValue(p.Value, sink);
    }
}

template <class Sink> void EmitFormValue(const TFormValue& v, Sink& sink) {
    switch (v.Type) {
        case TValueType::vaNull:
        case TValueType::vaFalse:
        case TValueType::vaTrue:
        case TValueType::vaNil:
            sink.Simple(v.Type);
            break;
        case TValueType::vaInt8:
        case TValueType::vaInt16:
        case TValueType::vaInt32:
        case TValueType::vaInt64:
        case TValueType::vaCurrency:
            sink.Int(v.Type, v.Int);
            break;
        case TValueType::vaExtended:
        case TValueType::vaSingle:
        case TValueType::vaDate:
            sink.Float(v.Type, v.Float);
            break;
        case TValueType::vaString:
        case TValueType::vaLString:
        case TValueType::vaUTF8String:
        case TValueType::vaIdent:
        case TValueType::vaBinary:
            sink.Bytes(v.Type, v.Bytes);
            break;
        case TValueType::vaWString:
            sink.Wide(v.Wide);
            break;
        case TValueType::vaList:
            sink.BeginList();
            for (const TFormValue& e : v.List) EmitFormValue(e, sink);
            sink.EndList();
            break;
        case TValueType::vaSet:
            sink.BeginSet();
            for (const std::string& m : v.Set) sink.SetMember(m);
            sink.EndSet();
            break;
        case TValueType::vaCollection:
            sink.BeginCollection();
            for (const TFormCollectionItem& item : v.Items) {
                sink.BeginItem(item.Index);
                EmitFormProperties(item.Properties, sink);
                sink.EndItem();
            }
            sink.EndCollection();
            break;
        default:
            throw EWriteError("Unknown value type " + std::to_string(static_cast<int>(v.Type)));
    }
}

// A tree as events: how a tree is written with the streaming writers.
template <class Sink> void EmitFormTree(const TFormObject& o, Sink& sink) {
    sink.BeginObject(o.Flags, o.Position, o.ClassName, o.Name);
    EmitFormProperties(o.Properties, sink);
    sink.EndProperties();
    for (const TFormObject& c : o.Children) EmitFormTree(c, sink);
    sink.EndObject();
}

// A conversion: read(sink) runs the reader over the whole input into the given sink. The
// result is what the tree route would give, errors included: a read error anywhere in the
// input wins over a write error, as it does when the whole input is parsed before writing.
// reserve: the expected size of the output, taken up front only up to 64 MB: a large or
// hostile input must not claim memory before a byte of it has been read.
template <class Writer, class Read, class ViaTree>
std::string ConvertForm(size_t reserve, const Read& read, const ViaTree& viaTree) {
    try {
        Writer w(std::min<size_t>(reserve, size_t{64} << 20));
        read(w);
        return w.Take();
    } catch (const TFormTreeRouteNeeded&) {
        return viaTree();
    } catch (const EWriteError&) {
        TFormNullSink none;
        read(none);  // throws the read error, if there is one
        throw;
    }
}

// vd_formfile_binary.cpp: the whole "TPF0" form, signature included.
TFormObject ReadBinaryForm(std::string_view data);
TFormObject ReadBinaryForm(TStream& stream);
std::string WriteBinaryFormImpl(const TFormObject& root);
std::string ConvertBinaryToText(std::string_view binary);
// 80-bit extended <-> double, for the binary reader and writer.
void DoubleToExtended(double d, uint8_t out[10]);
double ExtendedToDouble(const uint8_t in[10]);

// vd_formfile_text_reader.cpp
TFormObject ReadTextForm(std::string_view text);
std::string ConvertTextToBinary(std::string_view text);

// vd_formfile_text_writer.cpp
std::string WriteTextFormImpl(const TFormObject& root);
// Appends s as quoted runs of printable characters and #nnn for the others ('' when empty);
// the text writer and FormValueSummary render strings the same way.
void AppendQuoted(std::string& out, std::u16string_view s);

}  // namespace vd
