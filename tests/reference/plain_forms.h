// The plain forms of two eye pattern stages, kept as the reference the
// library's fast forms must match exactly: labelling that visits every pair
// of row and column hits, and refinement that walks each candidate's dark
// region pixel by pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "1_base/memchunk.h"
#include "3_model2/classic/state.h"

namespace reference {

using vantor::DecoderState;
using vantor::EyePattern;
using vantor::MemChunk;
using vantor::RunHit;

// Crossing pairs labelled in list order: an unlabelled column hit takes the
// row hit's label, or both take a new one; an unlabelled row hit takes the
// column hit's; two different labels merge into the smaller everywhere.
template <class Crosses>
int label_all_pairs(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, int next_label, Crosses crosses) {
    auto relabel = [](MemChunk<RunHit> &list, int from, int to) {
        for (int i = 0; i < list.count; ++i)
            if (list.items[i].label == from)
                list.items[i].label = to;
    };
    for (int i = 0; i < rows.count; ++i) {
        for (int j = 0; j < cols.count; ++j) {
            RunHit &r = rows.items[i];
            RunHit &c = cols.items[j];
            if (!crosses(r, c))
                continue;
            if (c.label < 0) {
                if (r.label >= 0) {
                    c.label = r.label;
                } else {
                    r.label = c.label = next_label;
                    ++next_label;
                }
            } else if (r.label < 0) {
                r.label = c.label;
            } else if (r.label != c.label) {
                const int from = std::max(r.label, c.label);
                const int to = std::min(r.label, c.label);
                relabel(rows, from, to);
                relabel(cols, from, to);
            }
        }
    }
    return next_label;
}

// Each line cuts the other eye hit between 0.2 and 11/13 of its length.
inline bool eye_hits_cross(const RunHit &r, const RunHit &c) {
    auto within = [](int at, const RunHit &h) {
        if (h.length == 0)
            return false;
        const double q = (static_cast<double>(at) - h.start) / h.length;
        return q >= 0.2 && q <= 11.0 / 13;
    };
    return within(c.line, r) && within(r.line, c);
}

// Each line meets the other alignment hit's dark run.
inline bool alignment_hits_cross(const RunHit &r, const RunHit &c) {
    return r.start <= c.line && c.line <= static_cast<std::int64_t>(r.start) + r.length && c.start <= r.line &&
           r.line <= static_cast<std::int64_t>(c.start) + c.length;
}

inline int label_eye_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols) {
    return label_all_pairs(rows, cols, 0, eye_hits_cross);
}

inline int label_alignment_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols) {
    return label_all_pairs(rows, cols, 1, alignment_hits_cross);
}

// --- Refinement pixel by pixel ----------------------------------------------

struct Span {
    int row;
    int left;
    int right;
};

struct Sums {
    std::int64_t count = 0;
    std::int64_t sum_y = 0;
    std::int64_t sum_x = 0;
};

inline bool dark_at(const DecoderState &s, int x, int y) {
    return s.work_bitmap[static_cast<std::size_t>(y) * s.image_width + x] == 64;
}

inline void add_row(const DecoderState &s, const Span &span, Sums &sums) {
    for (int x = span.left; x <= span.right; ++x)
        if (dark_at(s, x, span.row)) {
            ++sums.count;
            sums.sum_y += span.row;
            sums.sum_x += x;
        }
}

// The span of the next row: the first dark pixel of the previous span (its
// last column excepted) extended left, and the last dark pixel at or left of
// the previous span's right end extended right.
inline std::optional<Span> next_span(const DecoderState &s, const Span &from, int step) {
    const int y = from.row + step;
    if (y < 0 || y >= s.image_height)
        return std::nullopt;
    int found = -1;
    for (int x = from.left; x < from.right && found < 0; ++x)
        if (dark_at(s, x, y))
            found = x;
    if (found < 0)
        return std::nullopt;
    int left = found;
    while (left > 0 && dark_at(s, left - 1, y))
        --left;
    int right = from.right;
    while (right > left && !dark_at(s, right, y))
        --right;
    while (right + 1 < s.image_width && dark_at(s, right + 1, y))
        ++right;
    return Span{y, left, right};
}

// One candidate: centroid of the dark region around its centre pixel, size
// from the region's extent; h_hits and v_hits 0 when it is to be dropped.
inline void refine_eye(const DecoderState &s, EyePattern &eye) {
    const double seed_y = std::ceil(static_cast<double>(eye.y));
    const double seed_x = std::ceil(static_cast<double>(eye.x));
    const bool covered = s.work_bitmap && s.image_width > 0 && s.image_height > 0 &&
                         s.work_bitmap.size() >= static_cast<std::size_t>(s.image_width) * s.image_height;
    if (!covered || !(seed_y >= 0 && seed_y < s.image_height && seed_x >= 0 && seed_x < s.image_width) ||
        !dark_at(s, static_cast<int>(seed_x), static_cast<int>(seed_y))) {
        eye.h_hits = eye.v_hits = 0;
        return;
    }
    const int r = static_cast<int>(seed_y), c = static_cast<int>(seed_x);
    Span seed{r, c, c};
    while (seed.left > 0 && dark_at(s, seed.left - 1, r))
        --seed.left;
    while (seed.right + 1 < s.image_width && dark_at(s, seed.right + 1, r))
        ++seed.right;
    Sums sums;
    add_row(s, seed, sums);
    Span ends[2] = {seed, seed}; // top, bottom
    for (int k = 0; k < 2; ++k)
        for (std::optional<Span> next = next_span(s, seed, k == 0 ? -1 : 1); next;
             next = next_span(s, *next, k == 0 ? -1 : 1)) {
            add_row(s, *next, sums);
            ends[k] = *next;
        }
    eye.y = static_cast<float>(static_cast<double>(sums.sum_y / sums.count) + 0.5);
    eye.x = static_cast<float>(static_cast<double>(sums.sum_x / sums.count) + 0.5);
    auto squared = [](double v) { return v * v; };
    const double rows = squared(std::abs(ends[0].row - ends[1].row) + 1);
    const double d1 = squared(std::abs(ends[0].right - ends[1].left) + 1) + rows;
    const double d2 = squared(std::abs(ends[0].left - ends[1].right) + 1) + rows;
    // Seven modules from the diagonal of the three-module centre block (the
    // decoder's factor, which is 7 / (3 sqrt 2) to eight digits).
    eye.size = static_cast<float>(std::sqrt(std::max(d1, d2)) * 1.6499158255372215);
}

// Every candidate, then the dropped ones removed.
inline void refine_eyes(DecoderState &s) {
    for (int i = 0; i < s.eye_count; ++i)
        refine_eye(s, s.eyes.items[i]);
    int kept = 0;
    for (int i = 0; i < s.eye_count; ++i)
        if (s.eyes.items[i].h_hits > 0 && s.eyes.items[i].v_hits > 0)
            s.eyes.items[kept++] = s.eyes.items[i];
    s.eye_count = s.eyes.count = kept;
}

} // namespace reference
