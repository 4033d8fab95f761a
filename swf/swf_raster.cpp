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

void Rasterizer::Sweep(bool nonZero, int samples, SpanSink& sink) {
    if (edges_.empty() || width_ <= 0 || height_ <= 0) return;
    std::sort(edges_.begin(), edges_.end(), [](const E& p, const E& q) { return p.y0 < q.y0; });
    double ymin = edges_.front().y0, ymax = 0;
    for (const E& e : edges_) ymax = std::max(ymax, e.y1);
    int rowFirst = std::max(0, static_cast<int>(std::floor(ymin)));
    int rowLast = std::min(height_ - 1, static_cast<int>(std::ceil(ymax)));
    cover_.assign(width_ + 2, 0.f);
    delta_.assign(width_ + 2, 0.f);
    row_.resize(width_);
    active_.clear();
    size_t next = 0;
    samples = std::clamp(samples, 1, 16);
    const float weight = 1.0f / static_cast<float>(samples * samples);
    for (int y = rowFirst; y <= rowLast; ++y) {
        int minX = width_, maxX = -1;
        for (int s = 0; s < samples; ++s) {
            double sy = y + (s + 0.5) / samples;
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
                // Samples at ((j + 0.5) / samples) across the row inside [xa, xb).
                long sa = static_cast<long>(std::ceil(xa * samples - 0.5));
                long sb = static_cast<long>(std::ceil(xb * samples - 0.5));
                sa = std::max(sa, 0L);
                sb = std::min(sb, static_cast<long>(width_) * samples);
                if (sb <= sa) continue;
                int pa = static_cast<int>(sa / samples), pb = static_cast<int>((sb - 1) / samples);
                if (pa == pb) {
                    cover_[pa] += (sb - sa) * weight;
                } else {
                    cover_[pa] += (static_cast<long>(pa + 1) * samples - sa) * weight;
                    if (pb > pa + 1) {
                        delta_[pa + 1] += samples * weight;
                        delta_[pb] -= samples * weight;
                    }
                    cover_[pb] += (sb - static_cast<long>(pb) * samples) * weight;
                }
                minX = std::min(minX, pa);
                maxX = std::max(maxX, pb);
            }
        }
        if (maxX < minX) continue;
        float run = 0;
        for (int x = minX; x <= maxX; ++x) {
            run += delta_[x];
            float c = run + cover_[x];
            int v = static_cast<int>(c * 255.f + 0.5f);
            row_[x - minX] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            cover_[x] = 0;
            delta_[x] = 0;
        }
        delta_[maxX + 1] = 0;
        cover_[maxX + 1] = 0;
        sink.Span(y, minX, maxX + 1, row_.data());
    }
}

}  // namespace vd::swf
