// The little SWF writer behind swfgen: bit fields, tags, solid-filled polygon shapes and a
// small AVM1 assembler. It knows only what the five built-in movies (and the check page's
// wrapper movie) use. Platform-free.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace swf {

// Bit fields are written most significant bit first, as SWF records them.
class BitWriter {
public:
    void UB(uint32_t value, int bits);
    void SB(int32_t value, int bits) { UB(static_cast<uint32_t>(value), bits); }
    void Align();
    const std::string& Bytes() {
        Align();
        return out_;
    }

private:
    std::string out_;
    uint32_t acc_ = 0;
    int used_ = 0;
};

int SignedBits(int32_t v);  // bits a signed field needs for v (at least 1)

void PutU8(std::string& s, uint8_t v);
void PutU16(std::string& s, uint16_t v);
void PutU32(std::string& s, uint32_t v);
void PutCString(std::string& s, const std::string& text);  // null-terminated

struct Rgba {
    uint8_t r, g, b, a = 255;
};
struct Point {
    int32_t x, y;  // twips
};

std::string Rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);
// A translation-only matrix (twips).
std::string Translate(int32_t x, int32_t y);
std::string Tag(uint16_t code, const std::string& body);

// Tag codes used.
enum : uint16_t {
    kEnd = 0,
    kShowFrame = 1,
    kSetBackgroundColor = 9,
    kDoAction = 12,
    kPlaceObject2 = 26,
    kDefineShape3 = 32,
    kDefineButton2 = 34,
    kDefineSprite = 39,
    kFrameLabel = 43,
    kDefineVideoStream = 60,
    kFileAttributes = 69,
};

// One solid-filled closed polygon, optionally outlined.
struct Polygon {
    std::vector<Point> Points;
    Rgba Fill;
    int Outline = 0;  // line width in twips, 0 for none
    Rgba OutlineColor{0, 0, 0};
};
// A DefineShape3 body with one fill style (and line style) per polygon.
std::string ShapeTag(uint16_t id, const std::vector<Polygon>& polygons);

// PlaceObject2 of a character at a depth, with an optional instance name.
std::string PlaceTag(uint16_t depth, uint16_t character, int32_t x, int32_t y, const std::string& name = "");

// A complete compressed movie: "CWS", version 8, stage size in pixels, the given tags
// (ShowFrame and End included by the caller).
std::string CompressedMovie(int widthPx, int heightPx, int frameCount, const std::string& tags);

// ---------------------------------------------------------------------------------------
// AVM1 assembler. Expressions push one value; statements leave the stack as they found it.

class Asm;
using Expr = std::function<void(Asm&)>;

class Asm {
public:
    // Raw action with an optional payload (the length field is added).
    Asm& Op(uint8_t code, const std::string& payload = std::string());
    Asm& PushString(const std::string& s);
    Asm& PushInt(int32_t v);
    Asm& PushNull();
    Asm& PushBool(bool v);

    int NewLabel();
    Asm& Mark(int label);
    Asm& Jump(int label);
    Asm& JumpIf(int label);  // pops the condition

    // Function literal: pushes a function (anonymous when name is empty).
    Asm& Function(const std::string& name, std::initializer_list<std::string> params, const Asm& body);

    std::string Code() const;  // labels resolved
    // The DoAction body: code and the end flag.
    std::string DoAction() const { return Code() + std::string(1, '\0'); }

private:
    struct Fixup {
        size_t at;  // offset of the 16-bit field
        int label;
    };
    std::string code_;
    std::vector<size_t> labels_;
    std::vector<Fixup> fixups_;
};

// Expression builders.
Expr Str(std::string s);
Expr Int(int32_t v);
Expr Null();
Expr Bool(bool v);
Expr Var(std::string name);                  // GetVariable
Expr Member(Expr object, std::string name);  // object.name
Expr Call(std::string function, std::vector<Expr> args);
Expr Method(Expr object, std::string name, std::vector<Expr> args);
Expr New(std::string className, std::vector<Expr> args);
Expr Binary(uint8_t op, Expr a, Expr b);  // Add2, Equals2, Subtract, ...
Expr Not(Expr a);
Expr Fn(std::initializer_list<std::string> params, const Asm& body);

// Statement builders (append to an Asm).
void SetVar(Asm& a, const std::string& name, const Expr& value);  // var in this scope
void SetMember(Asm& a, const Expr& object, const std::string& name, const Expr& value);
void Eval(Asm& a, const Expr& e);  // value dropped
void If(Asm& a, const Expr& cond, const std::function<void(Asm&)>& then);
void DefineFunction(Asm& a, const std::string& name, std::initializer_list<std::string> params,
                    const std::function<void(Asm&)>& body);

// Action codes used.
enum : uint8_t {
    aStop = 0x07,
    aSubtract = 0x0B,
    aMultiply = 0x0C,
    aDivide = 0x0D,
    aNot = 0x12,
    aPop = 0x17,
    aGetVariable = 0x1C,
    aSetVariable = 0x1D,
    aDefineLocal = 0x3C,
    aCallFunction = 0x3D,
    aReturn = 0x3E,
    aNewObject = 0x40,
    aTypeOf = 0x44,
    aAdd2 = 0x47,
    aLess2 = 0x48,
    aEquals2 = 0x49,
    aToNumber = 0x4A,
    aToString = 0x4B,
    aGetMember = 0x4E,
    aSetMember = 0x4F,
    aCallMethod = 0x52,
    aJump = 0x99,
    aDefineFunction = 0x9B,
    aIf = 0x9D,
    aPush = 0x96,
};

}  // namespace swf
