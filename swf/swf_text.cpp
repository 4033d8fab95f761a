// Fonts (glyph outlines) and static text records.
#include <algorithm>

#include "swf_movie.h"
#include "vd_swf.h"

namespace vd::swf {
namespace {

constexpr size_t kMaxGlyphs = 65536;

std::shared_ptr<Font> GlyphsFrom(Reader& r, size_t tableStart, const std::vector<size_t>& offsets, size_t end,
                                 double em) {
    auto font = std::make_shared<Font>();
    font->emSquare = em;
    for (size_t i = 0; i < offsets.size(); ++i) {
        size_t a = tableStart + offsets[i];
        size_t b = i + 1 < offsets.size() ? tableStart + offsets[i + 1] : end;
        Shape glyph;
        if (a < b && b <= end && b <= r.Size()) {
            Reader g(r.Data() + a, b - a);
            ReadGlyph(g, glyph);
        }
        font->glyphs.push_back(std::move(glyph));
    }
    return font;
}

}  // namespace

std::shared_ptr<Font> ReadFont1(Reader& r, size_t tagEnd) {
    size_t table = r.Pos();
    size_t first = r.U16();
    size_t count = std::min(first / 2, kMaxGlyphs);
    std::vector<size_t> offsets{first};
    for (size_t i = 1; i < count; ++i) offsets.push_back(r.U16());
    if (count == 0) offsets.clear();
    return GlyphsFrom(r, table, offsets, tagEnd, 1024);
}

std::shared_ptr<Font> ReadFont23(Reader& r, size_t tagEnd, bool font3) {
    uint8_t flags = r.U8();
    r.U8();  // language
    r.Skip(r.U8());
    size_t count = std::min<size_t>(r.U16(), kMaxGlyphs);
    bool wide = flags & 0x08;
    size_t table = r.Pos();
    std::vector<size_t> offsets;
    for (size_t i = 0; i < count && !r.Overrun(); ++i) offsets.push_back(wide ? r.U32() : r.U16());
    size_t codeTable = wide ? r.U32() : r.U16();
    size_t end = std::min(tagEnd, table + codeTable);
    if (count == 0) end = tagEnd;
    return GlyphsFrom(r, table, offsets, end, font3 ? 1024 * 20 : 1024);
}

std::shared_ptr<Text> ReadText(Reader& r, bool withAlpha) {
    auto text = std::make_shared<Text>();
    text->bounds = r.ReadRect();
    text->matrix = r.ReadMatrix();
    int glyphBits = r.U8(), advanceBits = r.U8();
    if (glyphBits > 32 || advanceBits > 32) return text;
    TextRecord cur;
    while (!r.Overrun()) {
        uint8_t flags = r.U8();
        if (flags == 0) break;
        TextRecord rec = cur;
        rec.glyphs.clear();
        if (flags & 0x08) rec.fontId = r.U16();
        if (flags & 0x04) rec.color = withAlpha ? r.ReadRgba() : r.ReadRgb();
        if (flags & 0x01) rec.x = r.S16();
        if (flags & 0x02) rec.y = r.S16();
        if (flags & 0x08) rec.height = r.U16();
        int n = r.U8();
        double x = rec.x;
        for (int i = 0; i < n && !r.Overrun(); ++i) {
            uint32_t index = r.UBits(glyphBits);
            double adv = r.SBits(advanceBits);
            rec.glyphs.push_back({index, adv});
            x += adv;
        }
        r.Align();
        cur = rec;
        cur.x = x;  // a record without an x offset goes on where the last one ended
        text->records.push_back(std::move(rec));
    }
    return text;
}

std::shared_ptr<EditFrame> ReadEditFrame(Reader& r) {
    auto frame = std::make_shared<EditFrame>();
    frame->bounds = r.ReadRect();
    r.U8();
    uint8_t flags2 = r.U8();
    frame->border = flags2 & 0x08;
    return frame;
}

}  // namespace vd::swf
