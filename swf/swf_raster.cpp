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
    auto clampc = [](double v) { return std::isfinite(v) ? std::clamp(v, -kMaxCoordinate, kMaxCoordinate) : 0.0; };
    a = {clampc(a.x), clampc(a.y)};
    b = {clampc(b.x), clampc(b.y)};
    if (a.y == b.y) return;
    int dir = 1;
    if (a.y > b.y) {
        std::swap(a, b);
        dir = -1;
    }
    if (b.y <= 0 || a.y >= height_) return;
    // Edges wholly beside the target still count for the winding: kept as vertical edges on
    // its border.
    if (a.x >= width_ && b.x >= width_) a.x = b.x = width_;
    if (a.x <= 0 && b.x <= 0) a.x = b.x = 0;
    edges_.push_back({a.x, a.y, b.x, b.y, (b.x - a.x) / (b.y - a.y), dir});
}

const SamplePattern& SamplePattern::For(int n) {
    // Sample points within a pixel (x, y from its top-left corner), ordered by y: the centre
    // alone, and the usual 2-, 4- and 8-point multisample patterns.
    static const SamplePattern one{1, {{0.5, 0.5}}};
    static const SamplePattern two{2, {{0.25, 0.25}, {0.75, 0.75}}};
    static const SamplePattern four{4, {{0.375, 0.125}, {0.875, 0.375}, {0.125, 0.625}, {0.625, 0.875}}};
    static const SamplePattern eight{8,
                                     {{0.0625, 0.1875},  // sorted by y below
                                      {0.3125, 0.0625},
                                      {0.5625, 0.3125},
                                      {0.8125, 0.4375},
                                      {0.9375, 0.5625},
                                      {0.4375, 0.6875},
                                      {0.1875, 0.8125},
                                      {0.6875, 0.9375}}};
    return n >= 8 ? eight : n >= 4 ? four : n >= 2 ? two : one;
}

void Rasterizer::Sweep(bool nonZero, const SamplePattern& pattern, SpanSink& sink) {
    if (edges_.empty() || width_ <= 0 || height_ <= 0) return;
    std::sort(edges_.begin(), edges_.end(), [](const E& p, const E& q) { return p.y0 < q.y0; });
    double ymin = edges_.front().y0, ymax = 0;
    for (const E& e : edges_) ymax = std::max(ymax, e.y1);
    int rowFirst = std::max(0, static_cast<int>(std::floor(ymin)));
    int rowLast = std::min(height_ - 1, static_cast<int>(std::ceil(ymax)));
    delta_.assign(width_ + 2, 0.f);
    row_.resize(width_);
    active_.clear();
    size_t next = 0;
    const int samples = pattern.count;
    const float weight = 1.0f / static_cast<float>(samples);
    for (int y = rowFirst; y <= rowLast; ++y) {
        int minX = width_, maxX = -1;
        for (int s = 0; s < samples; ++s) {
            double sy = y + pattern.at[s].y, ox = pattern.at[s].x;
            while (next < edges_.size() && edges_[next].y0 <= sy) active_.push_back(next++);
            xs_.clear();
            size_t keep = 0;
            for (size_t i = 0; i < active_.size(); ++i) {
                const E& e = edges_[active_[i]];
                if (e.y1 <= sy) continue;  // finished
                active_[keep++] = active_[i];
                if (e.y0 > sy) continue;
                xs_.push_back({e.x0 + (sy - e.y0) * e.dxdy, e.dir});
            }
            active_.resize(keep);
            if (xs_.size() < 2) continue;
            std::sort(xs_.begin(), xs_.end());
            int wind = 0;
            for (size_t i = 0; i + 1 < xs_.size(); ++i) {
                wind += xs_[i].second;
                bool inside = nonZero ? wind != 0 : (wind & 1) != 0;
                if (!inside) continue;
                double xa = std::max(xs_[i].first, 0.0), xb = std::min(xs_[i + 1].first, static_cast<double>(width_));
                if (xb <= xa) continue;
                // Pixels whose sample point of this sub-row lies inside [xa, xb).
                int p0 = static_cast<int>(std::ceil(xa - ox)), p1 = static_cast<int>(std::ceil(xb - ox));
                p0 = std::max(p0, 0);
                p1 = std::min(p1, width_);
                if (p1 <= p0) continue;
                delta_[p0] += weight;
                delta_[p1] -= weight;
                minX = std::min(minX, p0);
                maxX = std::max(maxX, p1 - 1);
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
