#include "swf_raster.h"

#include <algorithm>
#include <cmath>

#include "vd_swf.h"

namespace vd::swf {

void Rasterizer::Reset(int width, int height) {
    width_ = width;
    height_ = height;
    edges_.clear();
}

void Rasterizer::AddLine(Point a, Point b) {
    // Points land on a 1/256-pixel grid: crossings and sample points then compare exactly, so a
    // sample on an edge belongs to the span that starts there and not to the one that ends
    // there, whatever the rounding.
    auto fix = [](double v) {
        v = std::isfinite(v) ? std::clamp(v, -kMaxCoordinate, kMaxCoordinate) : 0.0;
        return static_cast<int64_t>(std::llround(v * kSub));
    };
    int64_t ax = fix(a.x), ay = fix(a.y), bx = fix(b.x), by = fix(b.y);
    if (ay == by) return;
    int dir = 1;
    if (ay > by) {
        std::swap(ax, bx);
        std::swap(ay, by);
        dir = -1;
    }
    if (by <= 0 || ay >= height_ * kSub) return;
    // Edges wholly beside the target still count for the winding: kept as vertical edges on
    // its border.
    const int64_t right = width_ * kSub;
    if (ax >= right && bx >= right) ax = bx = right;
    if (ax <= 0 && bx <= 0) ax = bx = 0;
    edges_.push_back({ax, ay, bx, by, dir});
}

const SamplePattern& SamplePattern::For(int n) {
    // Sample points within a pixel (x, y from its top-left corner, in 1/16 pixel), ordered by
    // y: the centre alone, and the usual 2-, 4- and 8-point multisample patterns.
    static const SamplePattern one{1, {{0.5, 0.5}}};
    static const SamplePattern two{2, {{0.25, 0.25}, {0.75, 0.75}}};
    static const SamplePattern four{4, {{0.375, 0.125}, {0.875, 0.375}, {0.125, 0.625}, {0.625, 0.875}}};
    static const SamplePattern eight{8,
                                     {{0.3125, 0.0625},
                                      {0.0625, 0.1875},
                                      {0.5625, 0.3125},
                                      {0.8125, 0.4375},
                                      {0.9375, 0.5625},
                                      {0.4375, 0.6875},
                                      {0.1875, 0.8125},
                                      {0.6875, 0.9375}}};
    return n >= 8 ? eight : n >= 4 ? four : n >= 2 ? two : one;
}

namespace {
// ceil(n / d) for d > 0: estimated in floating point, then made exact with multiplications
// (cheaper than the two integer divisions a span's ends would cost otherwise).
int64_t CeilDiv(int64_t n, int64_t d) {
    int64_t q = static_cast<int64_t>(static_cast<double>(n) / static_cast<double>(d));
    while (q * d < n) ++q;
    while ((q - 1) * d >= n) --q;
    return q;
}
}  // namespace

void Rasterizer::Sweep(bool nonZero, const SamplePattern& pattern, SpanSink& sink) {
    if (edges_.empty() || width_ <= 0 || height_ <= 0) return;
    std::sort(edges_.begin(), edges_.end(), [](const E& p, const E& q) { return p.y0 < q.y0; });
    int64_t ymin = edges_.front().y0, ymax = 0;
    for (const E& e : edges_) ymax = std::max(ymax, e.y1);
    int rowFirst = static_cast<int>(std::max<int64_t>(0, ymin / kSub - 1));
    int rowLast = static_cast<int>(std::min<int64_t>(height_ - 1, ymax / kSub + 1));
    // Each row clears what it touched, so the accumulators stay zero between sweeps.
    if (delta_.size() != static_cast<size_t>(width_) + 2) delta_.assign(width_ + 2, 0.f);
    row_.resize(width_);
    active_.clear();
    size_t next = 0;
    const int samples = pattern.count;
    const float weight = 1.0f / static_cast<float>(samples);
    for (int y = rowFirst; y <= rowLast; ++y) {
        int minX = width_, maxX = -1;
        for (int s = 0; s < samples; ++s) {
            const int64_t sy = y * kSub + static_cast<int64_t>(pattern.at[s].y * kSub);
            const int64_t ox = static_cast<int64_t>(pattern.at[s].x * kSub);
            while (next < edges_.size() && edges_[next].y0 <= sy) active_.push_back(next++);
            xs_.clear();
            size_t keep = 0;
            for (size_t i = 0; i < active_.size(); ++i) {
                const E& e = edges_[active_[i]];
                if (e.y1 <= sy) continue;  // finished
                active_[keep++] = active_[i];
                if (e.y0 > sy) continue;
                int64_t den = e.y1 - e.y0;
                int64_t num = e.x0 * den + (sy - e.y0) * (e.x1 - e.x0);
                xs_.push_back({static_cast<double>(num) / static_cast<double>(den), num, den, e.dir});
            }
            active_.resize(keep);
            if (xs_.size() < 2) continue;
            std::sort(xs_.begin(), xs_.end(), [](const Crossing& p, const Crossing& q) { return p.x < q.x; });
            int wind = 0;
            for (size_t i = 0; i + 1 < xs_.size(); ++i) {
                wind += xs_[i].dir;
                bool inside = nonZero ? wind != 0 : (wind & 1) != 0;
                if (!inside) continue;
                // Pixels p whose sample point (p * kSub + ox) lies in [left, right).
                const Crossing& l = xs_[i];
                const Crossing& r = xs_[i + 1];
                int64_t p0 = CeilDiv(l.num - ox * l.den, kSub * l.den);
                int64_t p1 = CeilDiv(r.num - ox * r.den, kSub * r.den);
                p0 = std::max<int64_t>(p0, 0);
                p1 = std::min<int64_t>(p1, width_);
                if (p1 <= p0) continue;
                delta_[p0] += weight;
                delta_[p1] -= weight;
                minX = std::min(minX, static_cast<int>(p0));
                maxX = std::max(maxX, static_cast<int>(p1 - 1));
            }
        }
        if (maxX < minX) continue;
        float run = 0;
        for (int x = minX; x <= maxX; ++x) {
            run += delta_[x];
            int v = static_cast<int>(run * 255.f + 0.5f);
            row_[x - minX] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            delta_[x] = 0;
        }
        delta_[maxX + 1] = 0;
        sink.Span(y, minX, maxX + 1, row_.data());
    }
}

}  // namespace vd::swf
