#include "swf_raster.h"

#include <algorithm>
#include <cmath>

#include "vd_swf.h"

namespace vd::swf {

void Rasterizer::Reset(int width, int height) {
    width_ = width;
    height_ = height;
    edges_.clear();
    maxStyle_ = 0;
}

void Rasterizer::AddEdge(Point a, Point b, uint32_t fill0, uint32_t fill1) {
    if (fill0 == fill1) return;  // the same style on both sides bounds nothing
    // Points land on a 1/256-pixel grid: crossings and sample points then compare exactly, so a
    // sample on an edge belongs to the span that starts there and not to the one that ends
    // there, whatever the rounding.
    auto fix = [](double v) {
        v = std::isfinite(v) ? std::clamp(v, -kMaxCoordinate, kMaxCoordinate) : 0.0;
        // Rounded half away from zero (as llround, without the call): x - trunc(x) is exact.
        const double x = v * kSub;
        auto r = static_cast<int64_t>(x);
        const double f = x - static_cast<double>(r);
        return r + (f >= 0.5) - (f <= -0.5);
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
    edges_.push_back({ax, ay, bx, by, fill0, fill1, dir});
    maxStyle_ = std::max({maxStyle_, fill0, fill1});
}

// The first point of the line sy, at or right of the edge: points lie kSub / n apart from
// kSub / (2n), so point q is at step * q + step / 2; ceil(m / d) in integers, clamped to the line.
int32_t Rasterizer::ExactCrossing(const Active& a, int64_t sy, int64_t step) const {
    const auto x0 = static_cast<int64_t>(a.x0), y0 = static_cast<int64_t>(a.y0);
    const int64_t den = static_cast<int64_t>(a.y1) - y0;
    const int64_t m = (x0 - step / 2) * den + (sy - y0) * (static_cast<int64_t>(a.x1) - x0);
    const int64_t d = step * den;
    const double est = std::ceil(static_cast<double>(m) / static_cast<double>(d));
    int64_t p = static_cast<int64_t>(std::clamp(est, 0.0, static_cast<double>(points_)));
    while (p > 0 && (p - 1) * d >= m) --p;
    while (p < points_ && p * d < m) ++p;
    return static_cast<int32_t>(p);
}

// The crossings of a row's sample lines with the active edges, each line's in order along it.
// The active edges are kept in the order of the row before, so keeping them sorted, and the
// lines' crossings too, is mostly a pass over them. [first, last): the edges starting in this
// row, sorted so when prepared.
template <int n> void Rasterizer::CrossRow(const Active* first, const Active* last, int y) {
    const double mid = static_cast<double>(y * kSub + kSub / 2);
    const double top = static_cast<double>(y * kSub);
    size_t keep = 0;
    for (size_t i = 0; i < active_.size(); ++i) {
        if (active_[i].a.y1 <= top) continue;  // finished
        Slot k = active_[i];
        k.x = k.a.XAt(mid);
        size_t j = keep++;
        for (; j > 0 && active_[j - 1].x > k.x; --j) active_[j] = active_[j - 1];
        active_[j] = k;
    }
    // Edges starting in this row join in order, merged in from the back instead of each moving
    // half the row along.
    const size_t fresh = static_cast<size_t>(last - first);
    // The next rows' edges are read for the first time in a while: fetched ahead.
    for (const char *c = reinterpret_cast<const char*>(last), *e = c + fresh * sizeof(Active) + 1024; c < e; c += 64)
        __builtin_prefetch(c);
    active_.resize(keep + fresh);
    if (fresh) {
        ptrdiff_t i = static_cast<ptrdiff_t>(keep) - 1, j = static_cast<ptrdiff_t>(fresh) - 1;
        double xj = first[j].XAt(mid);
        for (ptrdiff_t to = static_cast<ptrdiff_t>(active_.size()) - 1; j >= 0; --to) {
            if (i >= 0 && active_[i].x > xj) {
                active_[to] = active_[i--];
            } else {
                active_[to] = {xj, first[j]};
                if (--j >= 0) xj = first[j].XAt(mid);
            }
        }
    }
    constexpr int64_t kStep = kSub / n;                   // between lines, and points on a line
    const int64_t line0 = int64_t{y} * kSub + kStep / 2;  // the first line
    Crossing* out[n];
    for (int s = 0; s < n; ++s) {
        if (xs_[s].size() <= active_.size()) xs_[s].resize(active_.size() + 1);  // and an end mark
        out[s] = xs_[s].data();
    }
    const double points = points_;
    constexpr double kNear = 1e-6;  // far more than the rounding of a crossing, far less than a point step
    for (const Slot& k : active_) {
        const Active& a = k.a;
        // The lines the edge spans, y0 <= line < y1: ceil((y - line0) / kStep) of its ends.
        const int64_t y0 = static_cast<int64_t>(a.y0) - line0, y1 = static_cast<int64_t>(a.y1) - line0;
        const int s0 = y0 <= 0 ? 0 : static_cast<int>((y0 + kStep - 1) / kStep);
        const int s1 = y1 <= 0 ? 0 : static_cast<int>(std::min<int64_t>(n, (y1 + kStep - 1) / kStep));
        for (int s = s0; s < s1; ++s) {
            // The crossing left of point q, in points; its ceiling is the first point right of
            // it. Near a whole number the integers decide.
            const int64_t sy = line0 + s * kStep;
            const double u =
                (a.x0 + (static_cast<double>(sy) - a.y0) * a.slope - static_cast<double>(kStep / 2)) * (1.0 / kStep);
            int32_t p;
            if (u < -kNear) {
                p = 0;
            } else if (u > points + kNear) {
                p = points_;
            } else {
                const int32_t t = static_cast<int32_t>(u + 1) - 1;  // floor, u > -1
                const double f = u - t;
                if (f < kNear || f > 1 - kNear) p = ExactCrossing(a, sy, kStep);
                else p = std::min(t + 1, points_);
            }
            *out[s]++ = {p, a.left, a.right};
        }
    }
    // Crossings whose order differs from the middle of the row's (edges that cross there).
    for (int s = 0; s < n; ++s) {
        Crossing* xs = xs_[s].data();
        const size_t count = static_cast<size_t>(out[s] - xs);
        xsCount_[s] = count;
        for (size_t i = 1; i < count; ++i) {
            if (xs[i - 1].p <= xs[i].p) continue;
            const Crossing c = xs[i];
            size_t j = i;
            for (; j > 0 && xs[j - 1].p > c.p; --j) xs[j] = xs[j - 1];
            xs[j] = c;
        }
        xs[count] = {INT32_MAX, 0, 0};
    }
}

// One sample line's crossings to the style it is in from each crossing on, from the winding
// counts of every style, when no stretch of the line lies in two styles at once; false
// otherwise. (A line whose crossings each leave the style the one before entered, as the pixel
// walk asks, gives that one style here too.)
bool Rasterizer::WalkSimple(std::span<const Crossing> xs, bool nonZero, std::vector<Seg>& segs) {
    segs.clear();
    int n = 0;         // styles the line is in
    uint32_t cur = 0;  // the one it is in, when n == 1
    bool simple = true;
    auto turn = [&](uint32_t s, int d) {
        int& w = wind_[s];
        const bool was = Inside(w, nonZero);
        w += d;
        n += static_cast<int>(Inside(w, nonZero)) - static_cast<int>(was);
    };
    for (size_t i = 0; i < xs.size();) {
        // Crossings at one point together: what counts is where they leave the line.
        const int32_t p = xs[i].p;
        const size_t first = i;
        const int before = n;
        for (; i < xs.size() && xs[i].p == p; ++i) {
            if (xs[i].left) turn(xs[i].left, 1);
            if (xs[i].right) turn(xs[i].right, -1);
        }
        if (n > 1 && p < points_) {
            simple = false;
            break;
        }
        if (n == 1 && !(before == 1 && Inside(wind_[cur], nonZero))) {
            // The style entered is one of those crossed here.
            for (size_t k = first; k < i; ++k) {
                const Crossing& c = xs[k];
                if (c.right && Inside(wind_[c.right], nonZero)) cur = c.right;
                else if (c.left && Inside(wind_[c.left], nonZero)) cur = c.left;
                else continue;
                break;
            }
        }
        const uint32_t style = n == 1 ? cur : 0;
        if (segs.empty() ? style != 0 : segs.back().style != style) segs.push_back({p, style});
    }
    // A region left open on this line (its edges do not close) counts only between its own
    // crossings: the general walk leaves it out past its last one.
    if (n != 0) simple = false;
    for (const Crossing& c : xs) wind_[c.left] = wind_[c.right] = 0;
    segs.push_back({INT32_MAX, 0});
    return simple;
}

// Whole pixels [x, end) where each line stays in one style (cur: the lines' styles): a run per
// style met, its coverage the share of lines in it, handed over lower style first.
template <int n> void Rasterizer::EmitWhole(const uint32_t* cur, int32_t x, int32_t end) {
    // One style, or two (a boundary between two regions): the common cases.
    const uint32_t a = cur[0];
    uint32_t b = a;
    int na = 0;
    bool more = false;
    for (int s = 0; s < n; ++s) {
        if (cur[s] == a) ++na;
        else if (b == a) b = cur[s];
        else more |= cur[s] != b;
    }
    if (na == n) {
        if (a) runs_.push_back({x, end, a, 255});
        return;
    }
    if (!more) {
        const uint32_t lo = std::min(a, b), hi = std::max(a, b);
        const int nlo = lo == a ? na : n - na;
        if (lo) runs_.push_back({x, end, lo, cov_[nlo * n]});
        runs_.push_back({x, end, hi, cov_[(n - nlo) * n]});
        return;
    }
    // More styles: summed as a pixel's are.
    for (int s = 0; s < n; ++s) AddToPixel(cur[s], n);
    EmitSummed(x, end);
}

// The styles summed so far as runs over [x, end), lower styles first; the sum starts again.
void Rasterizer::EmitSummed(int32_t x, int32_t end) {
    for (int i = 1; i < pixelCount_; ++i)
        for (int j = i; j > 0 && pixelStyle_[j - 1] > pixelStyle_[j]; --j) {
            std::swap(pixelStyle_[j - 1], pixelStyle_[j]);
            std::swap(pixelPoints_[j - 1], pixelPoints_[j]);
        }
    for (int i = 0; i < pixelCount_; ++i)
        runs_.push_back({x, end, pixelStyle_[i], cov_[std::min(pixelPoints_[i], kMaxSamples)]});
    pixelCount_ = 0;
}

// The n sample lines of a row laid out pixel by pixel: whole pixels where no line changes style
// at once, the points of each pixel where one does summed by style. lines gives where each line
// next changes style (Next) and takes the changes at a point (Take: false when the line is not
// well formed, the row then unfinished). Each line ends with a change at INT32_MAX, so the
// cursors need no bounds.
template <int n, class Lines> bool Rasterizer::EmitPixels(Lines& lines) {
    uint32_t cur[kMaxLines] = {};
    pixelCount_ = 0;
    const int32_t width = points_ / n;
    int32_t from = 0;  // the first pixel not laid out yet
    for (;;) {
        int32_t m = lines.Next(0);
        for (int s = 1; s < n; ++s) m = std::min(m, lines.Next(s));
        if (m >= points_) break;
        const int32_t x = m / n, first = x * n, end = first + n;
        if (from < x) EmitWhole<n>(cur, from, x);
        // Changes on the pixel's first point set the styles it starts in; only changes within
        // it make it a pixel of parts.
        bool parts = false;
        for (int s = 0; s < n; ++s) {
            if (lines.Next(s) == first && !lines.Take(s, first, cur[s])) return false;
            parts |= lines.Next(s) < end;
        }
        if (!parts) {
            from = x;
            continue;
        }
        for (int s = 0; s < n; ++s) {
            int32_t q = first;
            for (int32_t p; (p = lines.Next(s)) < end; q = p) {
                AddToPixel(cur[s], p - q);
                if (!lines.Take(s, p, cur[s])) return false;
            }
            AddToPixel(cur[s], end - q);
        }
        EmitSummed(x, x + 1);
        from = x + 1;
    }
    if (from < width) EmitWhole<n>(cur, from, width);
    return lines.Close(cur, n);
}

// Lines as the simple walk leaves them: the style each is in from each point on.
struct Rasterizer::SegLines {
    const Seg* at[kMaxLines];
    int32_t Next(int s) const { return at[s]->p; }
    bool Take(int s, int32_t, uint32_t& cur) {
        cur = (at[s]++)->style;
        return true;
    }
    bool Close(const uint32_t*, int) const { return true; }
};

// Lines straight from their crossings, when each crossing leaves the style the one before
// entered (then the winding counts give exactly that one style, and need not be kept). The
// crossings at one point are taken as a chain from the style the line is in, each time the
// first stored that leaves it; where that chain breaks, even if another order would not, the
// row takes the slow walk, which finds the same style.
struct Rasterizer::CrossingLines {
    Crossing* at[kMaxLines];
    int32_t Next(int s) const { return at[s]->p; }
    bool Take(int s, int32_t q, uint32_t& cur) {
        Crossing*& c = at[s];
        for (; c->p == q; ++c) {
            if (c->left != cur) {
                Crossing* other = c + 1;
                while (other->p == q && other->left != cur) ++other;
                if (other->p != q) return false;
                std::swap(*c, *other);
            }
            cur = c->right;
        }
        return true;
    }
    // Crossings right of the target still have to close every region.
    bool Close(uint32_t* cur, int lines) {
        for (int s = 0; s < lines; ++s)
            if ((at[s]->p != INT32_MAX && !Take(s, at[s]->p, cur[s])) || cur[s] != 0) return false;
        return true;
    }
};

// Rows where styles overlap (a shape whose regions cross) or a region stays open: every style's
// spans between its own crossings on every sample line, its points summed per pixel, style by
// style.
template <int n> void Rasterizer::EmitGeneral(bool nonZero) {
    spans_.clear();
    for (int s = 0; s < n; ++s) {
        touched_.clear();
        auto turn = [&](uint32_t st, int d, int32_t p) {
            int& w = wind_[st];
            const bool was = Inside(w, nonZero);
            if (w == 0) touched_.push_back(st);
            w += d;
            const bool now = Inside(w, nonZero);
            if (now && !was) start_[st] = p;
            if (was && !now && p > start_[st]) spans_.push_back({st, start_[st], p});
        };
        // Crossings at one point in an order of their own: a region the line leaves and enters
        // again there, and does not close, then gives the same spans whatever order the edges
        // were stored or met in.
        std::vector<Crossing>& line = xs_[s];
        std::sort(line.begin(), line.begin() + static_cast<ptrdiff_t>(xsCount_[s]),
                  [](const Crossing& a, const Crossing& b) {
                      return a.p != b.p ? a.p < b.p : a.left != b.left ? a.left < b.left : a.right < b.right;
                  });
        for (const Crossing& c : Line(s)) {
            if (c.left) turn(c.left, 1, c.p);
            if (c.right) turn(c.right, -1, c.p);
        }
        for (uint32_t st : touched_) wind_[st] = 0;
    }
    std::sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) { return a.style < b.style; });
    for (size_t i = 0; i < spans_.size();) {
        const uint32_t style = spans_[i].style;
        int32_t lo = points_, hi = 0;
        for (; i < spans_.size() && spans_[i].style == style; ++i) {
            ++count_[spans_[i].p0];
            --count_[spans_[i].p1];
            lo = std::min(lo, spans_[i].p0);
            hi = std::max(hi, spans_[i].p1);
        }
        // Lines in the style at each point, summed over each pixel's points; equal pixels in a
        // row make one run. The counts are left zero behind.
        int lines = 0, level = 0;
        int32_t from = lo / n;
        const int32_t end = (hi + n - 1) / n;
        for (int32_t x = lo / n; x <= end; ++x) {
            int sum = 0;
            if (x < end)
                for (int32_t q = x * n; q < x * n + n; ++q) {
                    lines += count_[q];
                    count_[q] = 0;
                    sum += lines;
                }
            if (sum != level || x == end) {
                if (level > 0 && x > from) runs_.push_back({from, x, style, cov_[std::min(level, n * n)]});
                from = x;
                level = sum;
            }
        }
        count_[static_cast<size_t>(end) * n] = 0;  // hi, when a pixel's last point ends there
    }
}

void Rasterizer::Prepare(Edges& out) const {
    out.width_ = width_;
    out.height_ = height_;
    out.maxStyle_ = maxStyle_;
    out.prep_.clear();
    out.rowStart_.clear();
    out.ymax_ = 0;
    if (edges_.empty() || width_ <= 0 || height_ <= 0) return;
    // Edges by the row they start in (a counting sort: rows are few, edges many).
    auto rowOf = [&](int64_t y0) { return static_cast<int>(std::clamp<int64_t>(y0 / kSub, 0, height_ - 1)); };
    std::vector<uint32_t>& rowStart = out.rowStart_;
    rowStart.assign(static_cast<size_t>(height_) + 1, 0);
    for (const E& e : edges_) {
        ++rowStart[rowOf(e.y0) + 1];
        out.ymax_ = std::max(out.ymax_, e.y1);
    }
    for (int r = 0; r < height_; ++r) rowStart[r + 1] += rowStart[r];
    std::vector<uint32_t> at(rowStart.begin(), rowStart.end() - 1);
    auto active = [](const E& e) {
        return Active{static_cast<double>(e.x0), static_cast<double>(e.y0), static_cast<double>(e.x1),
                      static_cast<double>(e.y1), static_cast<double>(e.x1 - e.x0) / static_cast<double>(e.y1 - e.y0),
                      // fill1 lies right of the edge's way: left on screen when it runs down.
                      e.dir > 0 ? e.fill1 : e.fill0, e.dir > 0 ? e.fill0 : e.fill1};
    };
    // Each row's edges in the order the sweep takes them in: x in the middle of that row
    // (sorted as keys, then laid out once).
    std::vector<std::pair<double, uint32_t>> keyed(edges_.size());
    for (uint32_t i = 0; i < edges_.size(); ++i) {
        const int r = rowOf(edges_[i].y0);
        keyed[at[r]++] = {active(edges_[i]).XAt(static_cast<double>(r * kSub + kSub / 2)), i};
    }
    for (int r = 0; r < height_; ++r)
        if (rowStart[r + 1] - rowStart[r] > 1)
            std::sort(keyed.begin() + rowStart[r], keyed.begin() + rowStart[r + 1],
                      [](const auto& p, const auto& q) { return p.first < q.first; });
    out.prep_.resize(edges_.size());
    for (size_t i = 0; i < keyed.size(); ++i) out.prep_[i] = active(edges_[keyed[i].second]);
}

void Rasterizer::Sweep(const Edges& edges, bool nonZero, int samples, RunSink& sink) {
    const std::vector<Active>& prep = edges.prep_;
    const int height = edges.height_;
    if (prep.empty() || edges.width_ <= 0 || height <= 0) return;
    width_ = edges.width_;
    // Grids of 1, 2 x 2 and 4 x 4 points.
    const int n = samples >= 16 ? 4 : samples >= 4 ? 2 : 1;
    points_ = width_ * n;
    if (wind_.size() <= edges.maxStyle_) {
        wind_.assign(edges.maxStyle_ + 1, 0);
        start_.assign(edges.maxStyle_ + 1, 0);
    }
    // The general walk leaves the counts zero behind it: set up only when the target grows.
    if (count_.size() < static_cast<size_t>(points_) + kMaxLines + 1)
        count_.assign(static_cast<size_t>(points_) + kMaxLines + 1, 0);
    for (int c = 0; c <= n * n; ++c) {
        const float share = static_cast<float>(c) * (1.0f / static_cast<float>(n * n));
        cov_[c] = static_cast<uint8_t>(std::clamp(static_cast<int>(share * 255.f + 0.5f), 0, 255));
    }
    const int rowFirst =
        static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(prep.front().y0) / kSub, 0, height - 1));
    const int rowLast = static_cast<int>(std::min<int64_t>(height - 1, edges.ymax_ / kSub));
    active_.clear();
    switch (n) {
        case 1:
            return SweepRows<1>(edges, rowFirst, rowLast, nonZero, sink);
        case 2:
            return SweepRows<2>(edges, rowFirst, rowLast, nonZero, sink);
        default:
            return SweepRows<4>(edges, rowFirst, rowLast, nonZero, sink);
    }
}

// The rows of a sweep, for a grid known to the compiler.
template <int n>
void Rasterizer::SweepRows(const Edges& edges, int rowFirst, int rowLast, bool nonZero, RunSink& sink) {
    const std::vector<Active>& prep = edges.prep_;
    for (int y = rowFirst; y <= rowLast; ++y) {
        const Active* first = prep.data() + edges.rowStart_[y];
        const Active* last = prep.data() + edges.rowStart_[y + 1];
        if (active_.empty() && first == last) continue;
        CrossRow<n>(first, last, y);
        runs_.clear();
        // Each sample point in one style at most, but where the walk finds styles overlapping.
        bool disjoint = true;
        CrossingLines crossings;
        for (int s = 0; s < n; ++s) crossings.at[s] = xs_[s].data();
        if (!EmitPixels<n>(crossings)) {
            runs_.clear();
            bool simple = true;
            for (int s = 0; s < n && simple; ++s) simple = WalkSimple(Line(s), nonZero, segs_[s]);
            disjoint = simple;
            if (simple) {
                SegLines segs;
                for (int s = 0; s < n; ++s) segs.at[s] = segs_[s].data();
                EmitPixels<n>(segs);
            } else {
                EmitGeneral<n>(nonZero);
            }
        }
        if (!runs_.empty()) sink.Row(y, runs_.data(), runs_.size(), disjoint);
    }
}

}  // namespace vd::swf
