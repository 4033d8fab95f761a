// The parsed movie: dictionary of characters and the timelines (root and sprites).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "swf_blend.h"
#include "swf_filter.h"
#include "swf_stream.h"
#include "swf_types.h"

namespace vd::swf {

// Premultiplied 0xAARRGGBB pixels, rows top to bottom.
struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// Start and end shapes with the same edges in the same order; drawn at a ratio between them.
struct MorphShape {
    Shape start, end;
};

struct Font {
    std::vector<Shape> glyphs;  // each filled with fill style 1
    double emSquare = 1024;     // glyph units a text height spans (DefineFont3: 20 times finer)
};

struct TextRecord {
    uint16_t fontId = 0;
    Rgba color;
    double x = 0, y = 0, height = 0;                  // twips
    std::vector<std::pair<uint32_t, double>> glyphs;  // glyph index, advance in twips
};

struct Text {
    Rect bounds;
    Matrix matrix;
    std::vector<TextRecord> records;
};

// Edit text is not laid out; its frame (border and background) is drawn.
struct EditFrame {
    Rect bounds;
    bool border = false;
};

// What placements set on the object at a depth (the object keeps it across moves).
struct Placement {
    Matrix matrix;
    ColorTransform cxform;
    int ratio = 0;
    std::string name;
    int clipDepth = 0;
    std::shared_ptr<const std::vector<Filter>> filters;  // PlaceObject3's list (null: none)
    BlendMode blend = BlendMode::Normal;
};

struct PlaceObject : Placement {
    int depth = 0;
    bool move = false;
    bool hasChar = false, hasMatrix = false, hasCxform = false, hasRatio = false, hasName = false, hasClip = false;
    bool hasFilters = false, hasBlend = false;
    uint16_t charId = 0;

    // The parts this placement sets, set on `to`.
    void ApplyTo(Placement& to) const {
        if (hasMatrix) to.matrix = matrix;
        if (hasCxform) to.cxform = cxform;
        if (hasRatio) to.ratio = ratio;
        if (hasName) to.name = name;
        if (hasClip) to.clipDepth = clipDepth;
        if (hasFilters) to.filters = filters;
        if (hasBlend) to.blend = blend;
    }
};

struct ControlTag {
    enum Kind : uint8_t { Place, Remove } kind = Place;
    PlaceObject place;  // Remove uses place.depth
};

struct Timeline {
    std::vector<std::vector<ControlTag>> frames;  // at least one frame
    std::map<std::string, int> labels;            // lower-cased label -> frame
    int FrameCount() const { return static_cast<int>(frames.size()); }
};

enum class CharKind : uint8_t { Shape, Morph, Bitmap, Sprite, Font, Text, EditFrame };

struct Character {
    CharKind kind = CharKind::Shape;
    std::shared_ptr<const Shape> shape;
    std::shared_ptr<const MorphShape> morph;
    std::shared_ptr<const Bitmap> bitmap;
    std::shared_ptr<const Timeline> sprite;
    std::shared_ptr<const Font> font;
    std::shared_ptr<const Text> text;
    std::shared_ptr<const EditFrame> edit;
};

struct MovieData {
    int version = 0;
    double frameRate = 0;
    Rect stage;  // twips
    bool hasBackground = false;
    uint32_t background = 0xffffff;
    Timeline root;
    std::unordered_map<uint16_t, Character> dictionary;
    std::map<int, int> skipped;

    const Character* Find(uint16_t id) const {
        auto it = dictionary.find(id);
        return it == dictionary.end() ? nullptr : &it->second;
    }
};

// Shape reading (swf_shape.cpp). version: 1..4 for DefineShape 1..4.
void ReadShapeWithStyles(Reader& r, int version, Shape& shape);
// A glyph: shape records without style arrays; its fill style 1 is the text colour.
void ReadGlyph(Reader& r, Shape& shape);
// DefineMorphShape 1 and 2 (version 1 or 2), after the character id.
bool ReadMorphShape(Reader& r, int version, MorphShape& morph);
// The morph at ratio t (0..1).
Shape MorphAt(const MorphShape& morph, double t);

// Bitmap decoding (swf_bitmap.cpp). tables: the movie's JPEGTables (may be empty).
std::shared_ptr<Bitmap> ReadBitsLossless(const uint8_t* body, size_t size, bool withAlpha);
std::shared_ptr<Bitmap> ReadBitsJpeg(const uint8_t* body, size_t size, int version, const std::vector<uint8_t>& tables);

// Text (swf_text.cpp).
std::shared_ptr<Font> ReadFont1(Reader& r, size_t tagEnd);
std::shared_ptr<Font> ReadFont23(Reader& r, size_t tagEnd, bool font3);
std::shared_ptr<Text> ReadText(Reader& r, bool withAlpha);
std::shared_ptr<EditFrame> ReadEditFrame(Reader& r);

}  // namespace vd::swf
