// Writes small SWF movies for the engine's tests: bit fields, records and tags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace swftest {

class Bits {
public:
    std::vector<uint8_t> bytes;

    void U(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (used_ == 0) bytes.push_back(0);
            if ((v >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> used_);
            used_ = (used_ + 1) % 8;
        }
    }
    void S(int32_t v, int n) { U(static_cast<uint32_t>(v) & (n == 32 ? ~0u : ((1u << n) - 1)), n); }
    void Align() { used_ = 0; }
    void U8(uint8_t v) {
        Align();
        bytes.push_back(v);
    }
    void U16(uint16_t v) {
        U8(v & 0xff);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v & 0xffff);
        U16(v >> 16);
    }
    void Raw(const std::vector<uint8_t>& b) {
        Align();
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    void Rect(int xmin, int xmax, int ymin, int ymax) {
        Align();
        U(31, 5);
        S(xmin, 31);
        S(xmax, 31);
        S(ymin, 31);
        S(ymax, 31);
        Align();
    }
    // A colour transform of add terms only (CXFORM, or CXFORMWITHALPHA adding no alpha).
    void AddTerms(int r, int g, int b, bool withAlpha) {
        Align();
        U(1, 1);  // add terms
        U(0, 1);  // no multiply terms
        U(10, 4);
        for (int v : {r, g, b}) S(v, 10);
        if (withAlpha) S(0, 10);
        Align();
    }
    // Scale (1 = unscaled) and translation in twips.
    void Matrix(double sx, double sy, int tx, int ty) {
        Align();
        bool scale = sx != 1 || sy != 1;
        U(scale, 1);
        if (scale) {
            U(31, 5);
            S(static_cast<int32_t>(sx * 65536), 31);
            S(static_cast<int32_t>(sy * 65536), 31);
        }
        U(0, 1);
        U(31, 5);
        S(tx, 31);
        S(ty, 31);
        Align();
    }

private:
    int used_ = 0;
};

// Shape records with 8-bit style numbers, 20-bit moves and 16-bit edge deltas.
class ShapeRecords {
public:
    Bits b;
    ShapeRecords() {
        b.U(8, 4);
        b.U(8, 4);
    }
    // fill0/fill1/line < 0: not changed.
    void Style(int moveX, int moveY, int fill0, int fill1, int line) {
        b.U(0, 1);
        b.U(0, 1);  // no new styles
        b.U(line >= 0, 1);
        b.U(fill1 >= 0, 1);
        b.U(fill0 >= 0, 1);
        b.U(1, 1);
        b.U(20, 5);
        b.S(moveX, 20);
        b.S(moveY, 20);
        if (fill0 >= 0) b.U(fill0, 8);
        if (fill1 >= 0) b.U(fill1, 8);
        if (line >= 0) b.U(line, 8);
    }
    // A style change record bringing new style arrays (one solid fill, no lines), then fill1.
    void NewSolidStyles(uint8_t r, uint8_t g, uint8_t bl, int moveX, int moveY) {
        b.U(0, 1);
        b.U(1, 1);  // new styles
        b.U(0, 1);
        b.U(1, 1);  // fill1
        b.U(0, 1);
        b.U(1, 1);  // move
        b.U(20, 5);
        b.S(moveX, 20);
        b.S(moveY, 20);
        b.U(1, 8);  // fill1 = 1 (of the new arrays, read after them)
        b.U8(1);
        b.U8(0);
        b.U8(r);
        b.U8(g);
        b.U8(bl);
        b.U8(0);  // no line styles
        b.U(8, 4);
        b.U(8, 4);
    }
    void Line(int dx, int dy) {
        b.U(1, 1);
        b.U(1, 1);
        b.U(14, 4);  // 16 bits
        b.U(1, 1);   // general line
        b.S(dx, 16);
        b.S(dy, 16);
    }
    void Curve(int cdx, int cdy, int adx, int ady) {
        b.U(1, 1);
        b.U(0, 1);
        b.U(14, 4);
        b.S(cdx, 16);
        b.S(cdy, 16);
        b.S(adx, 16);
        b.S(ady, 16);
    }
    std::vector<uint8_t> End() {
        b.U(0, 6);
        b.Align();
        return b.bytes;
    }
};

inline std::vector<uint8_t> Tag(int code, const std::vector<uint8_t>& body) {
    Bits b;
    b.U16(static_cast<uint16_t>((code << 6) | 0x3f));
    b.U32(static_cast<uint32_t>(body.size()));
    b.Raw(body);
    return b.bytes;
}

// DefineShape (tag 2), DefineShape2 (22) or DefineShape4 (83, non-zero winding) with opaque
// solid fills (RGB) and records.
inline std::vector<uint8_t> DefineShape(uint16_t id, const std::vector<uint32_t>& fills,
                                        const std::vector<uint8_t>& records, int code = 2) {
    Bits b;
    b.U16(id);
    b.Rect(-100000, 100000, -100000, 100000);
    if (code == 83) {
        b.Rect(-100000, 100000, -100000, 100000);  // the edges' bounds
        b.U8(0x04);                                // non-zero winding
    }
    b.U8(static_cast<uint8_t>(fills.size()));
    for (uint32_t c : fills) {
        b.U8(0);
        b.U8((c >> 16) & 255);
        b.U8((c >> 8) & 255);
        b.U8(c & 255);
        if (code == 83) b.U8(255);
    }
    b.U8(0);
    b.Raw(records);
    return Tag(code, b.bytes);
}

// An axis-aligned rectangle in twips filled with fill1 = style.
inline std::vector<uint8_t> RectRecords(int x0, int y0, int x1, int y1, int style = 1) {
    ShapeRecords r;
    r.Style(x0, y0, 0, style, 0);
    r.Line(x1 - x0, 0);
    r.Line(0, y1 - y0);
    r.Line(x0 - x1, 0);
    r.Line(0, y0 - y1);
    return r.End();
}

struct Place {
    Place(int d = 1, int c = -1) : depth(d), charId(c) {}
    int depth = 1;
    int charId = -1;  // -1: none (a move)
    bool move = false;
    bool hasMatrix = false;
    int tx = 0, ty = 0;
    double scale = 1;
    bool hasColor = false;
    int addR = 0, addG = 0, addB = 0;  // colour transform: add terms only
    int clipDepth = 0;
    std::string name;
};

inline std::vector<uint8_t> PlaceObject2(const Place& p) {
    Bits b;
    uint8_t flags = (p.move ? 1 : 0) | (p.charId >= 0 ? 2 : 0) | (p.hasMatrix ? 4 : 0) | (p.hasColor ? 8 : 0) |
                    (p.name.empty() ? 0 : 0x20) | (p.clipDepth ? 0x40 : 0);
    b.U8(flags);
    b.U16(static_cast<uint16_t>(p.depth));
    if (p.charId >= 0) b.U16(static_cast<uint16_t>(p.charId));
    if (p.hasMatrix) b.Matrix(p.scale, p.scale, p.tx, p.ty);
    if (p.hasColor) b.AddTerms(p.addR, p.addG, p.addB, true);
    if (!p.name.empty()) {
        for (char c : p.name) b.U8(static_cast<uint8_t>(c));
        b.U8(0);
    }
    if (p.clipDepth) b.U16(static_cast<uint16_t>(p.clipDepth));
    return Tag(26, b.bytes);
}

inline std::vector<uint8_t> RemoveObject2(int depth) {
    Bits b;
    b.U16(static_cast<uint16_t>(depth));
    return Tag(28, b.bytes);
}

inline std::vector<uint8_t> ShowFrame() { return Tag(1, {}); }

inline std::vector<uint8_t> DefineSprite(uint16_t id, const std::vector<std::vector<uint8_t>>& tags) {
    Bits b;
    b.U16(id);
    int frames = 0;
    std::vector<uint8_t> body;
    for (const auto& t : tags) {
        body.insert(body.end(), t.begin(), t.end());
        if (t.size() >= 2 && (((t[0] | (t[1] << 8)) >> 6) == 1)) ++frames;
    }
    b.U16(static_cast<uint16_t>(frames));
    b.Raw(body);
    b.Raw({0, 0});
    return Tag(39, b.bytes);
}

// A part of a button: the states it shows in (1 up, 2 over, 4 down, 8 hit area), a character
// at a depth, untransformed, and in DefineButton2 a colour transform adding addB to blue.
struct ButtonPart {
    uint8_t states;
    uint16_t charId, depth;
    int addB = 0;
};

// DefineButton (tag 7) or DefineButton2 (tag 34), with no actions.
inline std::vector<uint8_t> DefineButton(uint16_t id, const std::vector<ButtonPart>& parts, bool button2) {
    Bits b;
    b.U16(id);
    if (button2) {
        b.U8(0);   // not a menu
        b.U16(0);  // no actions
    }
    for (const ButtonPart& p : parts) {
        b.U8(p.states);
        b.U16(p.charId);
        b.U16(p.depth);
        b.Matrix(1, 1, 0, 0);
        if (button2) b.AddTerms(0, 0, p.addB, true);
    }
    b.U8(0);                // end of the records
    if (!button2) b.U8(0);  // end of the actions
    return Tag(button2 ? 34 : 7, b.bytes);
}

// DefineButtonCxform (tag 23): the parts of DefineButton id add addB to blue.
inline std::vector<uint8_t> DefineButtonCxform(uint16_t id, int addB) {
    Bits b;
    b.U16(id);
    b.AddTerms(0, 0, addB, false);
    return Tag(23, b.bytes);
}

// A whole uncompressed movie: stage in pixels, 8.8 frame rate, the tags, End.
inline std::vector<uint8_t> Movie(int width, int height, const std::vector<std::vector<uint8_t>>& tags,
                                  uint8_t version = 10, double fps = 24) {
    Bits body;
    body.Rect(0, width * 20, 0, height * 20);
    body.U16(static_cast<uint16_t>(fps * 256));
    int frames = 0;
    for (const auto& t : tags)
        if (t.size() >= 2 && (((t[0] | (t[1] << 8)) >> 6) == 1)) ++frames;
    body.U16(static_cast<uint16_t>(frames));
    for (const auto& t : tags) body.Raw(t);
    body.Raw({0, 0});
    Bits file;
    file.Raw({'F', 'W', 'S', version});
    file.U32(static_cast<uint32_t>(body.bytes.size() + 8));
    file.Raw(body.bytes);
    return file.bytes;
}

}  // namespace swftest

namespace swftest {

// Shape records of a rectangle filled with style 1, for a bitmap fill: DefineShape3 with one
// bitmap fill (type 0x40..0x43) whose matrix maps bitmap pixels to twips at `scale`.
inline std::vector<uint8_t> BitmapShape(uint16_t id, uint16_t bitmapId, uint8_t fillType, double scale, int w, int h) {
    Bits b;
    b.U16(id);
    b.Rect(0, w, 0, h);
    b.U8(1);
    b.U8(fillType);
    b.U16(bitmapId);
    b.Matrix(scale, scale, 0, 0);
    b.U8(0);
    b.Raw(RectRecords(0, 0, w, h));
    return Tag(32, b.bytes);
}

}  // namespace swftest
