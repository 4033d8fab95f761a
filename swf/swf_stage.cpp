// Stage: playing the timelines and drawing the display list (masks, colour transforms, sprites).
#include "swf_stage.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "swf_draw.h"
#include "vd_swf.h"

namespace vd::swf {

Instance::Instance(Instance&& o) noexcept
    : Placement(std::move(o)),
      charId(o.charId),
      ch(o.ch),
      placedFrame(o.placedFrame),
      sprite(std::move(o.sprite)),
      live(o.live) {
    o.live = nullptr;
}

Instance::~Instance() {
    if (live) --*live;
}

bool Player::MakeInstance(Instance& inst, uint16_t id, int nesting) {
    const Character* ch = movie.Find(id);
    if (!ch || ch->kind == CharKind::Font || live >= kMaxInstances) return false;
    inst.charId = id;
    inst.ch = ch;
    inst.live = &live;
    ++live;
    inst.sprite.reset();
    // Sprites nested past the limit (a sprite that places itself) stay empty.
    if (ch->kind == CharKind::Sprite && nesting + 1 < kMaxNesting) {
        inst.sprite = std::make_unique<DisplayList>();
        inst.sprite->timeline = ch->sprite.get();
        Start(*inst.sprite, nesting + 1);
    }
    return true;
}

void Player::Place(DisplayList& list, const PlaceObject& p, int frame, int nesting) {
    auto it = list.items.find(p.depth);
    Instance* inst = nullptr;
    if (p.hasChar) {
        bool keep = p.move && it != list.items.end() && it->second.charId == p.charId;
        if (!keep) {
            Instance fresh;
            // Replacing the character keeps the placement.
            if (it != list.items.end() && p.move) static_cast<Placement&>(fresh) = it->second;
            if (!MakeInstance(fresh, p.charId, nesting)) return;
            fresh.placedFrame = frame;
            list.items.erase(p.depth);
            it = list.items.emplace(p.depth, std::move(fresh)).first;
        }
        inst = &it->second;
    } else {
        if (it == list.items.end()) return;
        inst = &it->second;
    }
    p.ApplyTo(*inst);
}

void Player::RunFrame(DisplayList& list, int frame, int nesting) {
    if (!list.timeline || frame < 0 || frame >= list.timeline->FrameCount()) return;
    list.frame = frame;
    for (const ControlTag& c : list.timeline->frames[frame]) {
        if (--work < 0) return;  // the step's work is spent: the rest stays as it stands
        if (c.kind == ControlTag::Remove) list.items.erase(c.place.depth);
        else Place(list, c.place, frame, nesting);
    }
}

void Player::Start(DisplayList& list, int nesting) {
    list.items.clear();
    list.frame = 0;
    RunFrame(list, 0, nesting);
}

void Player::Goto(DisplayList& list, int frame, int nesting) {
    if (!list.timeline) return;
    frame = std::clamp(frame, 0, list.timeline->FrameCount() - 1);
    if (frame == list.frame) return;
    if (frame > list.frame) {
        for (int f = list.frame + 1; f <= frame; ++f) RunFrame(list, f, nesting);
        return;
    }
    // Backward: what frame 0..frame leave at each depth; an object already there that the same
    // placement made stays (with its own state), the rest is made anew.
    struct Want {
        PlaceObject p;  // accumulated placement
        int placedFrame = 0;
    };
    std::map<int, Want> want;
    for (int f = 0; f <= frame && work > 0; ++f) {
        for (const ControlTag& c : list.timeline->frames[f]) {
            if (--work < 0) break;
            if (c.kind == ControlTag::Remove) {
                want.erase(c.place.depth);
                continue;
            }
            const PlaceObject& p = c.place;
            auto it = want.find(p.depth);
            if (p.hasChar && (!p.move || it == want.end() || it->second.p.charId != p.charId)) {
                Want w;
                if (it != want.end() && p.move) w.p = it->second.p;
                w.p.hasChar = true;
                w.p.charId = p.charId;
                w.placedFrame = f;
                it = want.insert_or_assign(p.depth, w).first;
            } else if (it == want.end()) {
                continue;
            }
            p.ApplyTo(it->second.p);
        }
    }
    for (auto it = list.items.begin(); it != list.items.end();) {
        auto w = want.find(it->first);
        if (w == want.end() || w->second.p.charId != it->second.charId ||
            w->second.placedFrame != it->second.placedFrame)
            it = list.items.erase(it);
        else ++it;
    }
    for (auto& [depth, w] : want) {
        auto it = list.items.find(depth);
        if (it == list.items.end()) {
            Instance fresh;
            if (!MakeInstance(fresh, w.p.charId, nesting)) continue;
            fresh.placedFrame = w.placedFrame;
            it = list.items.emplace(depth, std::move(fresh)).first;
        }
        static_cast<Placement&>(it->second) = w.p;
    }
    list.frame = frame;
}

void Player::Advance(DisplayList& list, int nesting) {
    for (auto& [depth, inst] : list.items)
        if (inst.sprite) Advance(*inst.sprite, nesting + 1);
    if (!list.timeline || list.timeline->FrameCount() <= 1) return;
    int next = list.frame + 1;
    if (next >= list.timeline->FrameCount()) Goto(list, 0, nesting);
    else RunFrame(list, next, nesting);
}

namespace {

struct Renderer {
    DrawContext& dc;
    const MovieData& movie;

    void DrawList(const DisplayList& list, const Matrix& m, const ColorTransform& cx, int nesting) {
        struct Mask {
            int clipDepth;
            std::vector<uint8_t> plane;
            const uint8_t* previous;
        };
        std::vector<Mask> masks;
        for (const auto& [depth, inst] : list.items) {
            while (!masks.empty() && depth > masks.back().clipDepth) {
                dc.target.clip = masks.back().previous;
                masks.pop_back();
            }
            if (inst.clipDepth > 0) {
                if (dc.target.maskOut) continue;  // masks inside a mask: not drawn
                Mask mask{inst.clipDepth, std::vector<uint8_t>(static_cast<size_t>(dc.target.width) * dc.target.height),
                          dc.target.clip};
                Target saved = dc.target;
                dc.target.maskOut = mask.plane.data();
                DrawInstance(inst, m, cx, nesting);
                dc.target = saved;
                masks.push_back(std::move(mask));
                dc.target.clip = masks.back().plane.data();
                continue;
            }
            DrawInstance(inst, m, cx, nesting);
        }
        while (!masks.empty()) {
            dc.target.clip = masks.back().previous;
            masks.pop_back();
        }
    }

    // Layers the drawing is inside (an object's own, for its filters or its blend mode): alpha
    // and erase act on the nearest one. Outside any they would act on the stage, which is opaque,
    // and show nothing.
    int layers = 0;

    void DrawInstance(const Instance& inst, const Matrix& parent, const ColorTransform& parentCx, int nesting) {
        Matrix m = parent * inst.matrix;
        ColorTransform cx = parentCx * inst.cxform;
        // A mask is its shapes' coverage: filters and blend modes do not change it.
        if (!dc.target.maskOut) {
            const BlendMode mode = inst.blend;
            if ((mode == BlendMode::Alpha || mode == BlendMode::Erase) && layers == 0) return;
            const std::vector<Filter>* filters = inst.filters.get();
            if (filters && std::none_of(filters->begin(), filters->end(), [](const Filter& f) { return Draws(f); }))
                filters = nullptr;
            if ((filters || mode != BlendMode::Normal) && dc.filterWorkLeft > 0 &&
                DrawLayered(inst, m, cx, filters, mode, nesting))
                return;
        }
        DrawContent(inst, m, cx, nesting);
    }

    // Where an object lands on the target, in target pixels (false: nothing to draw).
    bool Bounds(const Instance& inst, const Matrix& m, Rect& out, int nesting) const {
        const Character& ch = *inst.ch;
        Rect r;
        switch (ch.kind) {
            case CharKind::Shape:
                r = ch.shape->bounds;
                break;
            case CharKind::Morph: {
                const Rect &a = ch.morph->start.bounds, &b = ch.morph->end.bounds;
                r = {std::min(a.xmin, b.xmin), std::min(a.ymin, b.ymin), std::max(a.xmax, b.xmax),
                     std::max(a.ymax, b.ymax)};
                break;
            }
            case CharKind::Text: {
                // Glyphs may stand past the text's bounds: the target's whole extent counts.
                out = {-1e18, -1e18, 1e18, 1e18};
                return true;
            }
            case CharKind::EditFrame:
                r = ch.edit->bounds;
                // The frame's line lies on the pixel past its far edges.
                r.xmax += 20 / std::max(std::fabs(m.a), 1e-9);
                r.ymax += 20 / std::max(std::fabs(m.d), 1e-9);
                break;
            case CharKind::Bitmap:
                r = {0, 0, ch.bitmap->width * 20.0, ch.bitmap->height * 20.0};
                break;
            case CharKind::Sprite: {
                if (!inst.sprite || nesting + 1 >= kMaxNesting) return false;
                bool any = false;
                for (const auto& [depth, child] : inst.sprite->items) {
                    Rect c;
                    if (!Bounds(child, m * child.matrix, c, nesting + 1)) continue;
                    if (child.filters) {
                        double s = FilterSpread(*child.filters, dc.stageScale);
                        c = {c.xmin - s, c.ymin - s, c.xmax + s, c.ymax + s};
                    }
                    out = any ? Rect{std::min(out.xmin, c.xmin), std::min(out.ymin, c.ymin), std::max(out.xmax, c.xmax),
                                     std::max(out.ymax, c.ymax)}
                              : c;
                    any = true;
                }
                return any;
            }
            case CharKind::Font:
                return false;
        }
        Point c[4] = {m.Apply({r.xmin, r.ymin}), m.Apply({r.xmax, r.ymin}), m.Apply({r.xmax, r.ymax}),
                      m.Apply({r.xmin, r.ymax})};
        out = {c[0].x, c[0].y, c[0].x, c[0].y};
        for (const Point& p : c) {
            out.xmin = std::min(out.xmin, p.x), out.ymin = std::min(out.ymin, p.y);
            out.xmax = std::max(out.xmax, p.x), out.ymax = std::max(out.ymax, p.y);
        }
        return true;
    }

    // An object with filters or a blend mode: drawn alone into a layer around it (widened by what
    // its filters can spread), filtered there, and blended onto the target through the mask in
    // force. A blended object is put together as one picture first: its colour transform applies
    // to the layer as a whole. False: the layer is past what the render may still spend.
    bool DrawLayered(const Instance& inst, const Matrix& m, const ColorTransform& cx,
                     const std::vector<Filter>* filters, BlendMode mode, int nesting) {
        Rect b;
        if (!Bounds(inst, m, b, nesting)) return true;
        const int spread = filters ? FilterSpread(*filters, dc.stageScale) : 0;
        const Target outer = dc.target;
        // The layer: the object's pixels widened by the spread, within the target widened by it
        // (what lies past that cannot reach the target).
        auto clampTo = [](double v, double lo, double hi) { return std::clamp(v, lo, hi); };
        const double lo = -spread, hix = outer.width + spread, hiy = outer.height + spread;
        int x0 = static_cast<int>(std::floor(clampTo(b.xmin - spread - 1, lo, hix)));
        int y0 = static_cast<int>(std::floor(clampTo(b.ymin - spread - 1, lo, hiy)));
        int x1 = static_cast<int>(std::ceil(clampTo(b.xmax + spread + 1, lo, hix)));
        int y1 = static_cast<int>(std::ceil(clampTo(b.ymax + spread + 1, lo, hiy)));
        if (x1 <= x0 || y1 <= y0) return true;
        const int w = x1 - x0, h = y1 - y0;
        const int64_t work = int64_t{w} * h * kLayerPixelWork;
        if (work > dc.filterWorkLeft) return false;
        // The layer's pixels are spent before its content is drawn: layers nested in it (a sprite
        // placing itself) share what is left rather than each taking the whole budget.
        dc.filterWorkLeft -= work;
        const bool group = mode != BlendMode::Normal;
        std::vector<uint32_t> layer(static_cast<size_t>(w) * h, 0);
        dc.target = Target{layer.data(), w, h, w, nullptr, nullptr};
        ++layers;
        DrawContent(inst, Matrix::Translate(-x0, -y0) * m, group ? ColorTransform{} : cx, nesting);
        --layers;
        dc.target = outer;
        if (filters) dc.filterWorkLeft -= ApplyFilters(*filters, dc.stageScale, layer, w, h, dc.filterWorkLeft);
        if (group) TransformPixels(layer, cx);
        const int from = std::max(x0, 0), to = std::min(x1, outer.width);
        for (int y = std::max(y0, 0); y < std::min(y1, outer.height); ++y) {
            uint32_t* dst = outer.pixels + static_cast<size_t>(y) * outer.stride;
            const size_t row = static_cast<size_t>(y - y0) * w + (from - x0);
            const uint8_t* clip = outer.clip ? outer.clip + static_cast<size_t>(y) * outer.width + from : nullptr;
            BlendRow(mode, layer.data() + row, dst + from, clip, to - from);
        }
        return true;
    }

    void DrawContent(const Instance& inst, const Matrix& m, const ColorTransform& cx, int nesting) {
        const Character& ch = *inst.ch;
        switch (ch.kind) {
            case CharKind::Shape:
                DrawShape(dc, *ch.shape, m, cx, nullptr, true);
                break;
            case CharKind::Morph:
                DrawShape(dc, MorphAt(*ch.morph, inst.ratio / 65535.0), m, cx);
                break;
            case CharKind::Sprite:
                if (inst.sprite && nesting + 1 < kMaxNesting) DrawList(*inst.sprite, m, cx, nesting + 1);
                break;
            case CharKind::Text:
                DrawText(*ch.text, m, cx);
                break;
            case CharKind::EditFrame:
                DrawEditFrame(*ch.edit, m, cx);
                break;
            case CharKind::Bitmap: {
                const Bitmap& bm = *ch.bitmap;
                Shape s;
                FillStyle f;
                f.kind = FillKind::Bitmap;
                f.bitmapId = inst.charId;
                f.matrix = Matrix::Scale(20, 20);
                f.repeat = false;
                f.smooth = false;
                s.fills.push_back(f);
                Rect r{0, 0, bm.width * 20.0, bm.height * 20.0};
                AddRect(s, r, 1, 0);
                DrawShape(dc, s, m, cx);
                break;
            }
            case CharKind::Font:
                break;
        }
    }

    static void AddRect(Shape& s, const Rect& r, uint32_t fill, uint32_t line) {
        Point c[4] = {{r.xmin, r.ymin}, {r.xmax, r.ymin}, {r.xmax, r.ymax}, {r.xmin, r.ymax}};
        for (int i = 0; i < 4; ++i) {
            Edge e;
            e.p0 = c[i];
            e.p1 = c[(i + 1) % 4];
            e.ctrl = {(e.p0.x + e.p1.x) / 2, (e.p0.y + e.p1.y) / 2};
            e.fill1 = fill;
            e.line = line;
            s.edges.push_back(e);
        }
    }

    void DrawText(const Text& text, const Matrix& m, const ColorTransform& cx) {
        Matrix tm = m * text.matrix;
        for (const TextRecord& rec : text.records) {
            const Character* fc = movie.Find(rec.fontId);
            if (!fc || fc->kind != CharKind::Font) continue;
            const Font& font = *fc->font;
            double x = rec.x, scale = rec.height / font.emSquare;
            for (const auto& [index, advance] : rec.glyphs) {
                if (index < font.glyphs.size()) {
                    Matrix gm = tm * Matrix::Translate(x, rec.y) * Matrix::Scale(scale, scale);
                    DrawShape(dc, font.glyphs[index], gm, cx, &rec.color, true);
                }
                x += advance;
            }
        }
    }

    // The frame of a bordered edit text: a white field inside a one-pixel black line on the
    // whole pixels of its bounds, drawn as Flash draws it (top and left lines full length, right
    // and bottom ones stop short of the bottom-right corner).
    void DrawEditFrame(const EditFrame& e, const Matrix& m, const ColorTransform& cx) {
        if (!e.border) return;
        Point a = m.Apply({e.bounds.xmin, e.bounds.ymin}), b = m.Apply({e.bounds.xmax, e.bounds.ymax});
        double x0 = std::round(std::min(a.x, b.x)), x1 = std::round(std::max(a.x, b.x));
        double y0 = std::round(std::min(a.y, b.y)), y1 = std::round(std::max(a.y, b.y));
        Shape s;
        s.nonZero = true;
        FillStyle black, white;
        black.color = Rgba{0, 0, 0, 255};
        white.color = Rgba{255, 255, 255, 255};
        s.fills = {white, black};
        auto px = [](double x0p, double y0p, double x1p, double y1p) {
            return Rect{x0p * 20, y0p * 20, x1p * 20, y1p * 20};
        };
        if (x1 - x0 >= 2 && y1 - y0 >= 2) AddRect(s, px(x0 + 1, y0 + 1, x1, y1), 1, 0);
        size_t lines = s.edges.size();
        AddRect(s, px(x0, y0, x1 + 1, y0 + 1), 2, 0);
        AddRect(s, px(x0, y0, x0 + 1, y1 + 1), 2, 0);
        AddRect(s, px(x1, y0, x1 + 1, y1), 2, 0);
        AddRect(s, px(x0, y1, x1, y1 + 1), 2, 0);
        for (size_t i = lines; i < s.edges.size(); ++i) s.edges[i].group = 1;
        DrawShape(dc, s, Matrix::Scale(0.05, 0.05), cx);
    }
};

}  // namespace

Stage::Stage(std::shared_ptr<const Movie> movie) : movie_(std::move(movie)), root_(std::make_unique<DisplayList>()) {
    if (!movie_) return;
    skipped_ = movie_->SkippedTags();
    root_->timeline = &movie_->Data().root;
    Player{movie_->Data(), live_}.Start(*root_, 0);
}

Stage::~Stage() {
    root_.reset();
    spare_.reset();
}

int Stage::CurrentFrame() const { return root_->frame; }

void Stage::GotoFrame(int frame) {
    if (!movie_) return;
    Player{movie_->Data(), live_}.Goto(*root_, frame, 0);
}

void Stage::NextFrame() {
    if (!movie_) return;
    Player{movie_->Data(), live_}.Advance(*root_, 0);
}

const std::map<int, int>& Stage::SkippedTags() const { return skipped_; }

void Stage::Render(uint32_t* pixels, int width, int height, int stride, const RenderOptions& o) const {
    if (!pixels || width <= 0 || height <= 0 || stride < width) return;
    const MovieData* data = movie_ ? &movie_->Data() : nullptr;
    if (o.fillBackground) {
        uint32_t bg = 0xff000000u | (data && data->hasBackground ? data->background : 0xffffffu);
        for (int y = 0; y < height; ++y)
            std::fill(pixels + static_cast<size_t>(y) * stride, pixels + static_cast<size_t>(y) * stride + width, bg);
    }
    if (!data) return;
    std::unique_ptr<DrawContext> dc = spare_ ? std::move(spare_) : std::make_unique<DrawContext>();
    dc->target = Target{};
    dc->edgesLeft = kMaxEdgesPerRender;
    dc->BeginRender();
    dc->filterWorkLeft = kMaxFilterWork;
    dc->target.pixels = pixels;
    dc->target.width = width;
    dc->target.height = height;
    dc->target.stride = stride;
    dc->quality = o.quality;
    dc->movie = data;
    dc->stageScale = std::sqrt(std::fabs(o.scaleX * o.scaleY));
    Matrix m = Matrix::Translate(o.offsetX, o.offsetY) * Matrix::Scale(o.scaleX / 20, o.scaleY / 20) *
               Matrix::Translate(-data->stage.xmin, -data->stage.ymin);
    Renderer{*dc, *data}.DrawList(*root_, m, ColorTransform{}, 0);
    spare_ = std::move(dc);
}

}  // namespace vd::swf
