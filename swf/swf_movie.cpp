// Loading a movie: header, body, and the tags into the dictionary and timelines.
#include "swf_movie.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "vd_swf.h"

namespace vd::swf {
namespace {

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// Tags that hold nothing to draw and are not content either (file attributes, metadata,
// font names): neither drawn nor counted as skipped.
bool IsBookkeeping(int code) {
    switch (code) {
        case 8:   // JPEGTables (kept aside)
        case 13:  // DefineFontInfo
        case 24:  // Protect
        case 41:  // ProductInfo
        case 56:  // ExportAssets (names for scripts)
        case 58:  // EnableDebugger
        case 62:  // DefineFontInfo2
        case 63:  // DebugID
        case 64:  // EnableDebugger2
        case 65:  // ScriptLimits
        case 69:  // FileAttributes
        case 73:  // DefineFontAlignZones
        case 77:  // Metadata
        case 86:  // DefineSceneAndFrameLabelData
        case 88:  // DefineFontName
            return true;
        default:
            return false;
    }
}

class Loader {
public:
    explicit Loader(MovieData& m) : m_(m) {}

    void ReadTimeline(const uint8_t* data, size_t size, Timeline& tl, int nesting) {
        tl.frames.assign(1, {});
        for (const Tag& t : SplitTags(data, size)) {
            if (static_cast<int>(tl.frames.size()) > kMaxFrames) break;
            Reader r(t.body, t.size);
            std::vector<ControlTag>& frame = tl.frames.back();
            switch (t.code) {
                case 1:  // ShowFrame
                    tl.frames.emplace_back();
                    break;
                case 4:
                case 26:
                case 70:
                    if (frame.size() < static_cast<size_t>(kMaxTagsPerStep))
                        frame.push_back(ReadPlace(r, t.code == 4 ? 1 : t.code == 26 ? 2 : 3, t.size));
                    break;
                case 5:
                case 28: {
                    ControlTag c;
                    c.kind = ControlTag::Remove;
                    if (t.code == 5) r.U16();
                    c.place.depth = r.U16();
                    if (frame.size() < static_cast<size_t>(kMaxTagsPerStep)) frame.push_back(c);
                    break;
                }
                case 43: {  // FrameLabel
                    std::string label = Lower(r.String());
                    tl.labels.emplace(label, static_cast<int>(tl.frames.size()) - 1);
                    break;
                }
                case 9:  // SetBackgroundColor
                    if (!m_.hasBackground && t.size >= 3) {
                        Rgba c = r.ReadRgb();
                        m_.hasBackground = true;
                        m_.background = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
                    }
                    break;
                case 39:  // DefineSprite
                    if (nesting == 0 && t.size >= 4) {
                        uint16_t id = r.U16();
                        r.U16();  // frame count: the ShowFrames decide
                        auto sprite = std::make_shared<Timeline>();
                        ReadTimeline(t.body + 4, t.size - 4, *sprite, nesting + 1);
                        // A sprite's trailing frame after its last ShowFrame holds nothing.
                        if (sprite->frames.size() > 1 && sprite->frames.back().empty()) sprite->frames.pop_back();
                        Character c;
                        c.kind = CharKind::Sprite;
                        c.sprite = std::move(sprite);
                        Define(id, std::move(c));
                    } else {
                        Skip(t.code);
                    }
                    break;
                default:
                    if (nesting == 0 && ReadDefinition(t)) break;
                    else if (!IsBookkeeping(t.code)) Skip(t.code);
                    break;
            }
        }
        if (tl.frames.size() > 1 && tl.frames.back().empty()) tl.frames.pop_back();
    }

private:
    void Skip(int code) { ++m_.skipped[code]; }

    void Define(uint16_t id, Character c) {
        if (m_.dictionary.size() >= static_cast<size_t>(kMaxCharacters) && !m_.dictionary.count(id)) return;
        m_.dictionary[id] = std::move(c);  // a later definition of an id wins
        buttons1_.erase(id);               // and a DefineButtonCxform names what the id holds now
    }

    ControlTag ReadPlace(Reader& r, int version, size_t size) {
        ControlTag c;
        PlaceObject& p = c.place;
        if (version == 1) {
            p.hasChar = true;
            p.charId = r.U16();
            p.depth = r.U16();
            p.hasMatrix = true;
            p.matrix = r.ReadMatrix();
            if (r.Pos() < size) {
                p.hasCxform = true;
                p.cxform = r.ReadCxform(false);
            }
            return c;
        }
        uint8_t f = r.U8();
        uint8_t f2 = version == 3 ? r.U8() : 0;
        p.depth = r.U16();
        p.move = f & 0x01;
        if (version == 3 && (f2 & 0x08)) r.String();  // class name
        if (f & 0x02) {
            p.hasChar = true;
            p.charId = r.U16();
        }
        if (f & 0x04) {
            p.hasMatrix = true;
            p.matrix = r.ReadMatrix();
        }
        if (f & 0x08) {
            p.hasCxform = true;
            p.cxform = r.ReadCxform(true);
        }
        if (f & 0x10) {
            p.hasRatio = true;
            p.ratio = r.U16();
        }
        if (f & 0x20) {
            p.hasName = true;
            p.name = r.String();
        }
        if (f & 0x40) {
            p.hasClip = true;
            p.clipDepth = r.U16();
        }
        if (version == 3 && (f2 & 0x01)) {
            p.hasFilters = true;
            auto list = ReadFilterList(r);
            if (!list.empty()) p.filters = std::make_shared<const std::vector<Filter>>(std::move(list));
        }
        if (version == 3 && (f2 & 0x02)) {
            p.hasBlend = true;
            p.blend = BlendModeOf(r.U8());
        }
        // Bitmap caching (f2 & 0x04) draws the same picture; clip actions are scripts.
        return c;
    }

    // DefineButton and DefineButton2, after the id. With no mouse over it, a button shows its up
    // state: the records marked for it, as the one frame of a timeline (its sprites play on);
    // the other states, the hit area and the actions are passed over.
    static std::shared_ptr<Timeline> ReadButton(Reader& r, bool button2) {
        auto up = std::make_shared<Timeline>();
        up->frames.assign(1, {});
        if (button2) {
            r.U8();   // track as menu
            r.U16();  // offset of the actions
        }
        while (r.Left() > 0) {
            const uint8_t states = r.U8();
            if (states == 0) break;  // end of the records
            ControlTag c;
            PlaceObject& p = c.place;
            p.hasChar = p.hasMatrix = true;
            p.charId = r.U16();
            p.depth = r.U16();
            p.matrix = r.ReadMatrix();
            if (button2) {
                p.hasCxform = true;
                p.cxform = r.ReadCxform(true);
                if (states & 0x10) {
                    auto list = ReadFilterList(r);
                    p.hasFilters = !list.empty();
                    if (p.hasFilters) p.filters = std::make_shared<const std::vector<Filter>>(std::move(list));
                }
                if (states & 0x20) {
                    p.hasBlend = true;
                    p.blend = BlendModeOf(r.U8());
                }
            }
            if (r.Overrun()) break;
            if ((states & 0x01) && up->frames[0].size() < static_cast<size_t>(kMaxTagsPerStep))
                up->frames[0].push_back(std::move(c));
        }
        return up;
    }

    bool ReadDefinition(const Tag& t) {
        Reader r(t.body, t.size);
        Character c;
        switch (t.code) {
            case 2:
            case 22:
            case 32:
            case 83: {
                int version = t.code == 2 ? 1 : t.code == 22 ? 2 : t.code == 32 ? 3 : 4;
                uint16_t id = r.U16();
                auto shape = std::make_shared<Shape>();
                shape->bounds = r.ReadRect();
                if (version == 4) {
                    r.ReadRect();
                    uint8_t flags = r.U8();
                    shape->nonZero = flags & 0x04;
                }
                ReadShapeWithStyles(r, version, *shape);
                c.kind = CharKind::Shape;
                c.shape = std::move(shape);
                Define(id, std::move(c));
                return true;
            }
            case 46:
            case 84: {
                uint16_t id = r.U16();
                auto morph = std::make_shared<MorphShape>();
                ReadMorphShape(r, t.code == 46 ? 1 : 2, *morph);
                c.kind = CharKind::Morph;
                c.morph = std::move(morph);
                Define(id, std::move(c));
                return true;
            }
            case 6:
            case 21:
            case 35:
            case 90:
            case 20:
            case 36: {
                if (t.size < 2) return true;
                uint16_t id = r.U16();
                std::shared_ptr<Bitmap> bm;
                if (t.code == 20 || t.code == 36) bm = ReadBitsLossless(t.body, t.size, t.code == 36);
                else
                    bm = ReadBitsJpeg(t.body, t.size,
                                      t.code == 6    ? 1
                                      : t.code == 21 ? 2
                                      : t.code == 35 ? 3
                                                     : 4,
                                      jpegTables_);
                if (!bm) {
                    Skip(t.code);  // undecodable: fills using it draw nothing
                    return true;
                }
                c.kind = CharKind::Bitmap;
                c.bitmap = std::move(bm);
                Define(id, std::move(c));
                return true;
            }
            case 8:
                jpegTables_.assign(t.body, t.body + t.size);
                return true;
            case 10:
            case 48:
            case 75: {
                uint16_t id = r.U16();
                Reader body(t.body + 2, t.size >= 2 ? t.size - 2 : 0);
                c.kind = CharKind::Font;
                c.font = t.code == 10 ? ReadFont1(body, body.Size()) : ReadFont23(body, body.Size(), t.code == 75);
                Define(id, std::move(c));
                return true;
            }
            case 11:
            case 33: {
                uint16_t id = r.U16();
                c.kind = CharKind::Text;
                c.text = ReadText(r, t.code == 33);
                Define(id, std::move(c));
                return true;
            }
            case 7:
            case 34: {
                if (t.size < 2) return true;
                const uint16_t id = r.U16();
                auto up = ReadButton(r, t.code == 34);
                c.kind = CharKind::Sprite;
                c.sprite = up;
                Define(id, std::move(c));
                const Character* defined = m_.Find(id);
                if (t.code == 7 && defined && defined->sprite == up) buttons1_[id] = std::move(up);
                return true;
            }
            case 23: {  // DefineButtonCxform: the colour transform of a DefineButton's parts
                const uint16_t id = r.U16();
                const ColorTransform cx = r.ReadCxform(false);
                auto it = buttons1_.find(id);
                if (it == buttons1_.end() || r.Overrun()) {
                    Skip(t.code);
                    return true;
                }
                for (ControlTag& part : it->second->frames[0]) {
                    part.place.hasCxform = true;
                    part.place.cxform = cx;
                }
                return true;
            }
            case 37: {
                uint16_t id = r.U16();
                c.kind = CharKind::EditFrame;
                c.edit = ReadEditFrame(r);
                Define(id, std::move(c));
                Skip(t.code);  // its text is not drawn
                return true;
            }
            default:
                return false;
        }
    }

    MovieData& m_;
    std::vector<uint8_t> jpegTables_;
    std::unordered_map<uint16_t, std::shared_ptr<Timeline>> buttons1_;  // for DefineButtonCxform
};

}  // namespace

Movie::Movie(std::unique_ptr<MovieData> data) : data_(std::move(data)) {}
Movie::~Movie() = default;
int Movie::Version() const { return data_->version; }
int Movie::FrameCount() const { return data_->root.FrameCount(); }
double Movie::FrameRate() const { return data_->frameRate; }
int Movie::StageWidth() const { return static_cast<int>(std::lround((data_->stage.xmax - data_->stage.xmin) / 20)); }
int Movie::StageHeight() const { return static_cast<int>(std::lround((data_->stage.ymax - data_->stage.ymin) / 20)); }
bool Movie::HasBackground() const { return data_->hasBackground; }
uint32_t Movie::Background() const { return data_->background; }
const std::map<int, int>& Movie::SkippedTags() const { return data_->skipped; }
int Movie::FrameOfLabel(std::string_view label) const {
    auto it = data_->root.labels.find(Lower(label));
    return it == data_->root.labels.end() ? -1 : it->second;
}

LoadResult LoadMovie(const uint8_t* data, size_t size) {
    LoadResult res;
    if (!data || size < 8) {
        res.error = "not a SWF movie: shorter than its 8-byte header";
        return res;
    }
    char sig = static_cast<char>(data[0]);
    if (data[1] != 'W' || data[2] != 'S' || (sig != 'F' && sig != 'C' && sig != 'Z')) {
        res.error = "not a SWF movie: the signature is not FWS, CWS or ZWS";
        return res;
    }
    if (sig == 'Z') {
        res.error = "LZMA-compressed movies (ZWS) are not supported: no LZMA decoder is built in";
        return res;
    }
    auto m = std::make_unique<MovieData>();
    m->version = data[3];
    size_t declared = static_cast<size_t>(data[4]) | (static_cast<size_t>(data[5]) << 8) |
                      (static_cast<size_t>(data[6]) << 16) | (static_cast<size_t>(data[7]) << 24);
    size_t bodyMax = std::min(declared >= 8 ? declared - 8 : 0, kMaxBodyBytes);
    std::vector<uint8_t> inflated;
    const uint8_t* body = data + 8;
    size_t bodySize = size - 8;
    if (sig == 'C') {
        if (!Inflate(data + 8, size - 8, std::max<size_t>(bodyMax, 1), inflated)) {
            res.error = "damaged movie: its zlib-compressed body does not inflate";
            return res;
        }
        body = inflated.data();
        bodySize = inflated.size();
    }
    // The declared length only cuts the body (a longer file has trailing bytes).
    if (declared >= 8) bodySize = std::min(bodySize, bodyMax);
    bodySize = std::min(bodySize, kMaxBodyBytes);
    Reader r(body, bodySize);
    m->stage = r.ReadRect();
    m->frameRate = r.U16() / 256.0;  // 8.8 fixed point
    r.U16();                         // frame count: the ShowFrames decide
    if (r.Overrun()) {
        res.error = "damaged movie: the body ends inside its header";
        return res;
    }
    Loader loader(*m);
    loader.ReadTimeline(r.Here(), r.Left(), m->root, 0);
    res.movie = std::make_shared<const Movie>(std::move(m));
    return res;
}

}  // namespace vd::swf
