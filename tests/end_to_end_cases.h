// Cases for reading generated symbols from end to end, shared by the end to
// end tests and the sweep tool: texts that fill a symbol of a chosen version,
// level and content; where the renderer puts each module; which codeword and
// block each module carries; and a replay of the decode entry that tells for
// every reading whether it sampled the symbol's own matrix, and if not why.
#pragma once

#include <qrencode.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "3_model2/classic/alignment.h"
#include "3_model2/classic/binarise.h"
#include "1_base/symbol_tables.h"
#include "3_model2/classic/eyepattern.h"
#include "1_base/data_segments.h"
#include "3_model2/classic/format.h"
#include "3_model2/classic/grid.h"
#include "qr_symbols.h"
#include "3_model2/classic/codewords.h"
#include "3_model2/classic/state.h"
#include "6_api/classic_entry.h"
#include "3_model2/classic/decode_entry.h"
#include "3_model2/classic/unmask.h"
#include "3_model2/classic/version.h"
#include "whole_state.h"

// The encoder's own block table; libqrencode exports these two functions
// though its public header does not declare them. The five numbers: blocks
// of the first group, their data codewords, check codewords per block,
// blocks of the second group, their data codewords.
extern "C" void QRspec_getEccSpec(int version, QRecLevel level, int table[5]);
extern "C" int QRspec_getDataLength(int version, QRecLevel level);

namespace e2e {

namespace vt = vantor::testing;

enum class Content { numeric, alphanumeric, byte, kanji, mixed };
constexpr Content all_contents[] = {Content::numeric, Content::alphanumeric, Content::byte,
                                    Content::kanji, Content::mixed};
constexpr vt::Level all_levels[] = {vt::Level::L, vt::Level::M, vt::Level::Q, vt::Level::H};

inline const char *name(Content c) {
    constexpr const char *names[] = {"numeric", "alnum", "byte", "kanji", "mixed"};
    return names[static_cast<int>(c)];
}
inline char name(vt::Level l) { return "LMQH"[static_cast<int>(l)]; }

inline QRecLevel qr_level(vt::Level l) {
    constexpr QRecLevel levels[] = {QR_ECLEVEL_L, QR_ECLEVEL_M, QR_ECLEVEL_Q, QR_ECLEVEL_H};
    return levels[static_cast<int>(l)];
}

// `units` characters valid for the mode: kanji as Shift JIS pairs of the two
// kanji ranges, bytes never zero (the reader's text ends at a zero byte).
inline std::string text_for(vt::Mode mode, int units, std::mt19937 &rng) {
    static const char alnum[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    std::string s;
    for (int i = 0; i < units; ++i) {
        switch (mode) {
        case vt::Mode::numeric: s += static_cast<char>('0' + rng() % 10); break;
        case vt::Mode::alphanumeric: s += alnum[rng() % 45]; break;
        case vt::Mode::byte: s += static_cast<char>(1 + rng() % 255); break;
        case vt::Mode::kanji: {
            // Lead 0x81..0x9F or 0xE0..0xEA; trail 0x40..0xFC without 0x7F.
            const unsigned lead = rng() % 42;
            unsigned trail = 0x40 + rng() % 188;
            if (trail >= 0x7F)
                ++trail;
            s += static_cast<char>(lead < 31 ? 0x81 + lead : 0xE0 + lead - 31);
            s += static_cast<char>(trail);
            break;
        }
        }
    }
    return s;
}

// Bits of a segment of n characters of the mode, header included.
inline int segment_bits(vt::Mode mode, int version, int n) {
    static const int count_bits[4][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}, {8, 10, 12}};
    const int header = 4 + count_bits[static_cast<int>(mode)][version <= 9 ? 0 : version <= 26 ? 1 : 2];
    switch (mode) {
    case vt::Mode::numeric: return header + 10 * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0);
    case vt::Mode::alphanumeric: return header + 11 * (n / 2) + 6 * (n % 2);
    case vt::Mode::byte: return header + 8 * n;
    case vt::Mode::kanji: return header + 13 * n;
    }
    return 0;
}

// The most characters of the mode that fit in `bits`.
inline int units_fitting(vt::Mode mode, int version, int bits) {
    int n = std::max(0, bits / 3);
    while (n > 0 && segment_bits(mode, version, n) > bits)
        --n;
    return n;
}

// A symbol of exactly this version and level whose content fills about
// `fill` (0..1] of its data capacity. Mixed content is a numeric, then a byte,
// then a kanji segment, each of about a third of the bits.
inline std::optional<vt::Symbol> make_case(int version, vt::Level level, Content content,
                                           double fill, std::mt19937 &rng, int mask = -1) {
    const int bits = 8 * QRspec_getDataLength(version, qr_level(level));
    for (double f = fill; f > 0.01; f *= 0.9) {
        std::optional<vt::Symbol> symbol;
        if (content != Content::mixed) {
            const auto mode = static_cast<vt::Mode>(content);
            const int n = std::max(1, static_cast<int>(units_fitting(mode, version, bits) * f));
            symbol = vt::make_symbol(text_for(mode, n, rng), version, level, mode, mask);
        } else {
            const int share = static_cast<int>(bits * f / 3);
            std::vector<vt::Segment> segments;
            for (vt::Mode mode : {vt::Mode::numeric, vt::Mode::byte, vt::Mode::kanji})
                segments.push_back({mode, text_for(mode, std::max(1, units_fitting(mode, version, share)), rng)});
            symbol = vt::make_symbol(segments, version, level, mask);
        }
        if (symbol)
            return symbol;
    }
    return std::nullopt;
}

// --- where the modules are ------------------------------------------------------

struct Point {
    double x, y;
};

// Where the renderer puts the centre of module (c, r) of the symbol, in the
// coordinates of pixel indices (pixel i covers i - 0.5 .. i + 0.5). Affine
// renderings only (no perspective).
inline Point module_centre(const vt::RenderOptions &o, int n, double c, double r) {
    const double a = o.rotation_deg * 3.14159265358979323846 / 180;
    auto forward = [&](double x, double y) {
        const double rx = std::cos(a) * x - std::sin(a) * y, ry = std::sin(a) * x + std::cos(a) * y;
        return Point{rx + o.skew_x * ry, ry + o.skew_y * rx};
    };
    const double half = (n + 2 * o.quiet_zone) * o.module_px / 2;
    double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY, max_y = -INFINITY;
    for (int sx : {-1, 1})
        for (int sy : {-1, 1}) {
            const Point p = forward(sx * half, sy * half);
            min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
        }
    const double width = o.canvas_width ? o.canvas_width : std::ceil(max_x - min_x - 1e-9);
    const double height = o.canvas_height ? o.canvas_height : std::ceil(max_y - min_y - 1e-9);
    const Point p = forward((c + o.quiet_zone + 0.5) * o.module_px - half,
                            (r + o.quiet_zone + 0.5) * o.module_px - half);
    return {p.x + (width - (max_x - min_x)) / 2 - min_x - 0.5,
            p.y + (height - (max_y - min_y)) / 2 - min_y - 0.5};
}

inline bool near(double x, double y, Point want, double tolerance) {
    return std::hypot(x - want.x, y - want.y) <= tolerance;
}

// --- codewords and blocks ----------------------------------------------------------

// Alignment pattern centre coordinates of a version, computed from their
// even spacing back from the last coordinate 4v + 10.
inline std::vector<int> alignment_positions(int version) {
    if (version < 2)
        return {};
    const int count = version / 7 + 2;
    const int step = version == 32 ? 26 : (version * 4 + count * 2 + 1) / (2 * count - 2) * 2;
    std::vector<int> at(static_cast<std::size_t>(count));
    at[0] = 6;
    for (int i = count - 1, pos = version * 4 + 10; i >= 1; --i, pos -= step)
        at[static_cast<std::size_t>(i)] = pos;
    return at;
}

// For every module of a symbol the raw codeword it carries (in placement
// order), or -1 for function modules and remainder bits; and the block of
// each raw codeword.
struct Layout {
    int n = 0;
    int data_blocks[2] = {}; // blocks per group
    int data_words[2] = {};  // data codewords per block of each group
    int check_words = 0;     // check codewords per block
    int capacity[2] = {};    // correctable codewords per block of each group
    std::vector<int> codeword_of; // per module
    std::vector<int> block_of;    // per raw codeword

    int blocks() const { return data_blocks[0] + data_blocks[1]; }
};

inline Layout layout_for(int version, vt::Level level) {
    Layout l;
    const int n = l.n = 4 * version + 17;
    int blocks[5];
    QRspec_getEccSpec(version, qr_level(level), blocks);
    l.data_blocks[0] = blocks[0];
    l.data_words[0] = blocks[1];
    l.check_words = blocks[2];
    l.data_blocks[1] = blocks[3];
    l.data_words[1] = blocks[3] ? blocks[4] : 0;
    // Capacity: half the check codewords, less where some are kept back
    // for detection (versions 1-L, 1-M and 2-L).
    const int r = version == 1 && level == vt::Level::L ? 2
                  : (version == 1 && level == vt::Level::M) || (version == 2 && level == vt::Level::L)
                      ? 4
                      : l.check_words / 2;
    l.capacity[0] = l.capacity[1] = r;

    std::vector<char> function(static_cast<std::size_t>(n) * n, 0);
    auto mark = [&](int c0, int r0, int w, int h) {
        for (int r = r0; r < r0 + h; ++r)
            for (int c = c0; c < c0 + w; ++c)
                function[static_cast<std::size_t>(r) * n + c] = 1;
    };
    mark(0, 0, 9, 9);     // corner eye, separators, format information
    mark(n - 8, 0, 8, 9); // upper right
    mark(0, n - 8, 9, 8); // lower left, with the dark module
    mark(6, 0, 1, n);     // timing patterns
    mark(0, 6, n, 1);
    const std::vector<int> at = alignment_positions(version);
    for (int r : at)
        for (int c : at)
            if (!((c < 9 && r < 9) || (c > n - 9 && r < 9) || (c < 9 && r > n - 9)))
                mark(c - 2, r - 2, 5, 5);
    if (version >= 7) {
        mark(n - 11, 0, 3, 6);
        mark(0, n - 11, 6, 3);
    }

    const int data_total = l.data_blocks[0] * l.data_words[0] + l.data_blocks[1] * l.data_words[1];
    const int total = data_total + l.blocks() * l.check_words;
    l.codeword_of.assign(function.size(), -1);
    int bit = 0;
    bool up = true;
    for (int right = n - 1; right >= 1; right -= 2) {
        if (right == 6)
            right = 5; // the vertical timing pattern column is skipped
        for (int i = 0; i < n; ++i) {
            const int row = up ? n - 1 - i : i;
            for (int col = right; col >= right - 1; --col) {
                const std::size_t m = static_cast<std::size_t>(row) * n + col;
                if (function[m])
                    continue;
                if (bit / 8 < total)
                    l.codeword_of[m] = bit / 8;
                ++bit;
            }
        }
        up = !up;
    }
    // Data codewords go round the blocks, the longer blocks alone in the last
    // round; then the check codewords round all blocks.
    const int round_end = l.data_words[0] * l.blocks();
    for (int i = 0; i < total; ++i) {
        int b;
        if (i < round_end)
            b = i % l.blocks();
        else if (i < data_total)
            b = l.data_blocks[0] + (i - round_end) % l.data_blocks[1];
        else
            b = (i - data_total) % l.blocks();
        l.block_of.push_back(b);
    }
    return l;
}

// A damaged copy of the symbol: `flips` data modules (those that carry a
// codeword) flipped, chosen at random. errors[b]: codewords of block b hit.
struct Damage {
    vt::Symbol symbol;
    std::vector<int> errors;
    bool within = true; // every block within its capacity
};

inline Damage damage(const vt::Symbol &symbol, const Layout &l, int flips, std::mt19937 &rng) {
    Damage d{symbol, std::vector<int>(static_cast<std::size_t>(l.blocks()), 0), true};
    std::vector<int> pool;
    for (int m = 0; m < l.n * l.n; ++m)
        if (l.codeword_of[static_cast<std::size_t>(m)] >= 0)
            pool.push_back(m);
    std::shuffle(pool.begin(), pool.end(), rng);
    std::vector<char> hit(l.block_of.size(), 0);
    for (int f = 0; f < flips && f < static_cast<int>(pool.size()); ++f) {
        const int m = pool[static_cast<std::size_t>(f)];
        d.symbol.modules[static_cast<std::size_t>(m)] ^= 1;
        hit[static_cast<std::size_t>(l.codeword_of[static_cast<std::size_t>(m)])] = 1;
    }
    for (std::size_t i = 0; i < hit.size(); ++i)
        d.errors[static_cast<std::size_t>(l.block_of[i])] += hit[i];
    for (int b = 0; b < l.blocks(); ++b)
        d.within = d.within && d.errors[static_cast<std::size_t>(b)] <= l.capacity[b < l.data_blocks[0] ? 0 : 1];
    return d;
}

// --- replay of the decode entry ---------------------------------------------------

// The state the replay runs the stages on.
inline vantor::DecoderState &replay_state() {
    static vantor::DecoderState s;
    return s;
}

// The alignment pattern search by its rules, computed here from the work
// bitmap, the picked eyes and the global step vectors: light, dark, light
// runs of half to one and a half module widths in a window around the
// predicted centre, along rows and along columns; crossing row and column
// matches grouped, and the mean centre of the first group. False when the
// search fails.
inline bool rule_alignment(int col, int row, float &out_x, float &out_y) {
    vantor::DecoderState &state = replay_state();
    const int width = state.image_width, height = state.image_height;
    const vantor::EyePattern &a = state.eyes.items[state.eye_pick[0]];
    const vantor::Vec2f xu = state.units.x, yu = state.units.y;
    const double px = a.x + (col - 3) * static_cast<double>(xu.x) + (row - 3) * static_cast<double>(yu.x);
    const double py = a.y + (col - 3) * static_cast<double>(xu.y) + (row - 3) * static_cast<double>(yu.y);
    if (px < 0 || py < 0)
        return false;
    // Sums of floats taken in double, as the search does.
    const double hx = std::fabs(static_cast<double>(xu.x)) + std::fabs(static_cast<double>(yu.x));
    const double hy = std::fabs(static_cast<double>(xu.y)) + std::fabs(static_cast<double>(yu.y));
    struct Hit {
        int line, start, length, label;
    };
    // Matches along lines first..first+lines-1; along_rows: image rows.
    auto scan = [&](bool along_rows, int first, int lines, int start, int span, double unit) {
        std::vector<Hit> hits;
        const int lo = static_cast<int>(std::floor(unit * 0.5)), hi = static_cast<int>(std::ceil(unit * 1.5));
        const int end = start + span, length = along_rows ? width : height;
        for (int line = first; line < first + lines; ++line) {
            std::vector<int> runs{0}; // dark first
            for (int i = 0; i < length; ++i) {
                const std::size_t at = along_rows ? static_cast<std::size_t>(line) * width + i
                                                  : static_cast<std::size_t>(i) * width + line;
                const bool is_dark = state.work_bitmap[at] & 0x40;
                if (is_dark != (runs.size() % 2 == 1))
                    runs.push_back(0);
                ++runs.back();
            }
            const std::size_t count = runs.size();
            std::size_t k = 0;
            int pos = 0;
            while (k < count && pos < start)
                pos += runs[k++];
            if (k >= count)
                continue;
            if (k % 2 == 0)
                pos += runs[k++];
            while (pos < end && k + 2 < count + 0) {
                const int ra = runs[k], rb = runs[k + 1], rc = runs[k + 2];
                if (pos + ra + rb > end)
                    break;
                if (ra >= lo && ra <= hi && rb >= lo && rb <= hi && rc >= lo && rc <= hi)
                    hits.push_back({line, pos + ra, rb, -1});
                pos += ra + rb;
                if (k + 3 >= count)
                    break;
                k += 2;
            }
        }
        return hits;
    };
    const int first_row = static_cast<int>(std::ceil(py - 1.5 * hy)), rows = static_cast<int>(std::ceil(3 * hy));
    const int row_start = static_cast<int>(std::ceil(px - 2.5 * hx)), row_span = static_cast<int>(std::ceil(5 * hx));
    if (first_row < 0 || row_start < 0 || first_row + rows > height || row_start + row_span > width)
        return false;
    const vantor::EyePattern *picked[3] = {&state.eyes.items[state.eye_pick[0]], &state.eyes.items[state.eye_pick[1]],
                                           &state.eyes.items[state.eye_pick[2]]};
    std::vector<Hit> row_hits = scan(true, first_row, rows, row_start, row_span,
                                     (static_cast<double>(picked[0]->width) + picked[1]->width + picked[2]->width) / 21);
    if (row_hits.empty())
        return false;
    const int first_col = static_cast<int>(std::ceil(px - 1.5 * hx)), cols = static_cast<int>(std::ceil(3 * hx));
    const int col_start = static_cast<int>(std::ceil(py - 2.5 * hy)), col_span = static_cast<int>(std::ceil(5 * hy));
    if (first_col < 0 || col_start < 0 || first_col + cols > width || col_start + col_span > height)
        return false;
    std::vector<Hit> col_hits = scan(false, first_col, cols, col_start, col_span,
                                     (static_cast<double>(picked[0]->height) + picked[1]->height + picked[2]->height) / 21);
    if (col_hits.empty())
        return false;
    int next = 1;
    for (Hit &r : row_hits)
        for (Hit &c : col_hits) {
            if (!(r.start <= c.line && c.line <= r.start + r.length && c.start <= r.line && r.line <= c.start + c.length))
                continue;
            if (c.label < 0) {
                c.label = r.label >= 0 ? r.label : (r.label = next++);
            } else if (r.label < 0) {
                r.label = c.label;
            } else if (r.label != c.label) {
                const int keep = std::min(r.label, c.label), drop = std::max(r.label, c.label);
                for (Hit &h : row_hits)
                    h.label = h.label == drop ? keep : h.label;
                for (Hit &h : col_hits)
                    h.label = h.label == drop ? keep : h.label;
            }
        }
    double sx = 0, sy = 0;
    int nx = 0, ny = 0;
    for (const Hit &h : row_hits)
        if (h.label == 1)
            sx += h.start + h.length * 0.5, ++nx;
    for (const Hit &h : col_hits)
        if (h.label == 1)
            sy += h.start + h.length * 0.5, ++ny;
    if (!nx || !ny)
        return false;
    out_x = static_cast<float>(sx / nx);
    out_y = static_cast<float>(sy / ny);
    return true;
}

// Where the sampling rules place module (col, row), computed here from the
// grid points the grid stage found: version 1 steps from the corner eye with
// the global vectors; larger versions step from the nearest corner of the
// module's cell with that cell's vectors, taken from the cell edges that join
// two points of the same column (row).
inline Point rule_position(int col, int row) {
    vantor::DecoderState &state = replay_state();
    const auto &points = state.grid_points;
    const int n = state.matrix_width;
    if (state.version == 1) {
        const vantor::GridPoint &p = points.items[0];
        return {p.x + (col - 3.0) * state.units.x.x + (row - 3.0) * state.units.y.x,
                p.y + (col - 3.0) * state.units.x.y + (row - 3.0) * state.units.y.y};
    }
    const std::vector<int> at = alignment_positions(state.version);
    const int k = static_cast<int>(at.size());
    auto cell = [&](int m) {
        int j = 0;
        for (int i = 1; i < k && at[static_cast<std::size_t>(i)] <= m; ++i)
            j = i;
        return std::min(j, k - 2);
    };
    const int rj = cell(row), cj = cell(col);
    const int row_lo = at[static_cast<std::size_t>(rj)], row_hi = at[static_cast<std::size_t>(rj) + 1];
    const int col_lo = at[static_cast<std::size_t>(cj)], col_hi = at[static_cast<std::size_t>(cj) + 1];
    auto find = [&](int c, int r) -> const vantor::GridPoint & {
        for (int i = 0; i < points.count; ++i)
            if (points.items[i].col == c && points.items[i].row == r)
                return points.items[i];
        return points.items[0]; // not reached for a grid that was built
    };
    const vantor::GridPoint &p00 = col_lo < 7 && row_lo < 7 ? points.items[0] : find(col_lo, row_lo);
    const vantor::GridPoint &p10 = col_hi >= n - 7 && row_lo < 7 ? points.items[1] : find(col_hi, row_lo);
    const vantor::GridPoint &p01 = col_lo < 7 && row_hi >= n - 7 ? points.items[2] : find(col_lo, row_hi);
    const vantor::GridPoint &p11 = find(col_hi, row_hi);
    double yx = 0, yy = 0, yn = 0, xx = 0, xy = 0, xn = 0;
    auto edge = [](const vantor::GridPoint &a, const vantor::GridPoint &b, double &sx, double &sy, double &sn,
                   int steps) {
        sx += static_cast<double>(b.x) - a.x;
        sy += static_cast<double>(b.y) - a.y;
        sn += steps;
    };
    if (p00.col == p01.col)
        edge(p00, p01, yx, yy, yn, p01.row - p00.row);
    if (p10.col == p11.col)
        edge(p10, p11, yx, yy, yn, p11.row - p10.row);
    if (p00.row == p10.row)
        edge(p00, p10, xx, xy, xn, p10.col - p00.col);
    if (p01.row == p11.row)
        edge(p01, p11, xx, xy, xn, p11.col - p01.col);
    const float lxx = static_cast<float>(xx / xn), lxy = static_cast<float>(xy / xn);
    const float lyx = static_cast<float>(yx / yn), lyy = static_cast<float>(yy / yn);
    const vantor::GridPoint *corners[4] = {&p00, &p10, &p01, &p11};
    const vantor::GridPoint *nearest = corners[0];
    long best = -1;
    for (const vantor::GridPoint *p : corners) {
        const long d2 = static_cast<long>(row - p->row) * (row - p->row) + static_cast<long>(col - p->col) * (col - p->col);
        if (best < 0 || d2 < best) {
            best = d2;
            nearest = p;
        }
    }
    const double dc = col - nearest->col, dr = row - nearest->row;
    return {nearest->x + dc * lxx + dr * lyx, nearest->y + dc * lxy + dr * lyy};
}

// How far one reading (a pass and a module-size try) got towards the
// symbol's own matrix, in the order of the stages.
enum class Outcome {
    no_eyes,            // the pass found fewer than three eye patterns or no orientation
    eyes_not_own,       // a picked eye pattern is not one of the symbol's
    eyes_misoriented,   // the symbol's three eyes, in the wrong slots
    version_failed,     // no version (estimate below 1, or no version information match)
    version_wrong,      // a version other than the symbol's
    alignment_failed,   // an alignment pattern was not found
    alignment_misfound, // an alignment pattern was found away from its place
    sample_failed,      // a module centre fell outside the image
    mismatch,           // sampled, with modules that differ from the encoder's
    match,              // the encoder's matrix, module for module
};

inline const char *name(Outcome o) {
    constexpr const char *names[] = {"no eye triple",      "picked eyes not the symbol's own",
                                     "eyes misoriented",   "no version found",
                                     "wrong version",      "alignment pattern not found",
                                     "alignment mis-found", "module outside the image",
                                     "sampling mismatch",  "matrix matches"};
    return names[static_cast<int>(o)];
}

struct Reading {
    int pass = 0;
    int j = -1; // -1: the pass found no eye triple
    Outcome outcome = Outcome::no_eyes;
    int version = 0;        // what the version stage returned
    int wrong_modules = 0;  // for mismatch
    std::vector<int> wrong_at; // module indices of the first wrong modules
    bool version_off_rule = false; // the version is not the one its rules give
    int alignment_off_rule = 0; // alignment searches whose result is not the rules'
    int off_rule = 0;       // modules whose sampled value is not the pixel at the rules' place
    double worst_offset = 0; // for wrong modules: largest distance of the rules' place
                             // from the true centre, in modules
    double point_error = 0; // largest distance of a grid point from its true place, pixels
    int own_eyes = 0;       // picked eyes within reach of a true eye centre
    bool true_eyes_found = false; // all three true eyes among the candidates
    bool text = false;      // the reading gave text
    bool text_right = false;
};

struct Replay {
    std::vector<Reading> readings;
    // The furthest outcome of any reading (match when one matched).
    Outcome best() const {
        Outcome b = Outcome::no_eyes;
        for (const Reading &r : readings)
            b = std::max(b, r.outcome);
        return b;
    }
    const Reading *first_with(Outcome o) const {
        for (const Reading &r : readings)
            if (r.outcome == o)
                return &r;
        return nullptr;
    }
    bool any_text() const {
        return std::any_of(readings.begin(), readings.end(), [](const Reading &r) { return r.text; });
    }
    bool any_wrong_text() const {
        return std::any_of(readings.begin(), readings.end(),
                           [](const Reading &r) { return r.text && !r.text_right; });
    }
};

// The version by its rules, computed here from the picked eyes and the work
// bitmap: the eye distance in module sizes (measured by the run widths with
// try 0, by the centre block with try 1) gives an estimate; from 7 on, the
// version information block beside the along eye, else the one beside
// the down eye, decides (up to 3 wrong bits), read with the
// preliminary step vectors. Below 1 or -1 on failure.
inline int rule_version(int try_index) {
    vantor::DecoderState &state = replay_state();
    const vantor::EyePattern &corner = state.eyes.items[state.eye_pick[0]];
    const vantor::EyePattern &along = state.eyes.items[state.eye_pick[1]];
    const vantor::EyePattern &down = state.eyes.items[state.eye_pick[2]];
    auto measure = [&](const vantor::EyePattern &e) {
        return try_index == 0 ? std::sqrt((static_cast<double>(e.width) * e.width + static_cast<double>(e.height) * e.height) * 0.5)
                              : static_cast<double>(e.size);
    };
    const double dx = static_cast<double>(along.x) - corner.x, dy = static_cast<double>(along.y) - corner.y;
    const double d = std::hypot(dx, dy);
    const int n = static_cast<int>(std::ceil(d / ((measure(corner) + measure(along)) * (1.0 / 14))));
    const int estimate = (n - 10) / 4;
    if (estimate <= 6)
        return estimate;
    auto scale = [&](const vantor::EyePattern &a, const vantor::EyePattern &b, bool vertical) {
        return try_index == 0 ? (vertical ? static_cast<double>(a.height) + b.height : static_cast<double>(a.width) + b.width) / 14
                              : (static_cast<double>(a.size) + b.size) / 14;
    };
    const double ex = static_cast<double>(down.x) - corner.x, ey = static_cast<double>(down.y) - corner.y;
    const double l2 = std::hypot(ex, ey);
    const float xu_x = static_cast<float>(dx * scale(corner, along, false) / d), xu_y = static_cast<float>(dy * scale(corner, along, true) / d);
    const float yu_x = static_cast<float>(ex * scale(corner, down, false) / l2), yu_y = static_cast<float>(ey * scale(corner, down, true) / l2);
    auto read_block = [&](bool beside_along) {
        const vantor::EyePattern &e = beside_along ? along : down;
        std::uint32_t value = 0;
        for (int b = 17; b >= 0; --b) {
            const int c = beside_along ? -7 + b % 3 : -3 + b / 3;
            const int r = beside_along ? -3 + b / 3 : -7 + b % 3;
            const double px = std::ceil(e.x + c * static_cast<double>(xu_x) + r * static_cast<double>(yu_x));
            const double py = std::ceil(e.y + c * static_cast<double>(xu_y) + r * static_cast<double>(yu_y));
            const bool dark = px >= 0 && py >= 0 && px < state.image_width && py < state.image_height &&
                              state.work_bitmap[static_cast<std::size_t>(py) * state.image_width + static_cast<std::size_t>(px)] == 64;
            value = value << 1 | dark;
        }
        for (int v = 7; v <= 40; ++v) {
            std::uint32_t word = static_cast<std::uint32_t>(v) << 12;
            for (int bit = 17; bit >= 12; --bit)
                if (word >> bit & 1)
                    word ^= 0x1F25u << (bit - 12);
            word |= static_cast<std::uint32_t>(v) << 12;
            if (__builtin_popcount((word ^ value) & 0x3FFFF) <= 3)
                return v;
        }
        return -1;
    };
    const int v = read_block(true);
    return v > 0 ? v : read_block(false);
}

// Compares the alignment patterns of a grid just built (or whose building
// failed) with the rules' search; the number of searches that differ.
inline int check_alignments(bool built) {
    vantor::DecoderState &state = replay_state();
    const int n = state.matrix_width;
    const std::vector<int> at = alignment_positions(state.version);
    int index = 3, differ = 0;
    for (int r : at)
        for (int c : at) {
            if ((c < 7 && r < 7) || (c >= n - 7 && r < 7) || (c < 7 && r >= n - 7))
                continue;
            float x = 0, y = 0;
            const bool found = rule_alignment(c, r, x, y);
            if (index < state.grid_points.count) {
                const vantor::GridPoint &g = state.grid_points.items[index];
                differ += !found || g.col != c || g.row != r || std::fabs(g.x - x) > 1e-3 || std::fabs(g.y - y) > 1e-3;
            } else {
                // The first search the grid gave up at must fail by the rules.
                differ += built || found;
                return differ;
            }
            ++index;
        }
    return differ + (index != state.grid_points.count);
}

// Runs the stages in the order and with the calls of the decode entry, over
// every pass and try (without the early return), and judges each reading
// against where the symbol really is. `expected` is the matrix the picture
// shows (the symbol's, or its transpose for a mirrored rendering). With
// stop_at_match the replay ends after the first reading that matched.
inline Replay replay(const std::uint8_t *pixels, int width, int height, unsigned depth,
                     const vt::Symbol &symbol, const std::vector<std::uint8_t> &expected,
                     const vt::RenderOptions &o, bool stop_at_match = false) {
    vantor::DecoderState &state = replay_state();
    Replay result;
    const int n = symbol.size;
    const double tolerance = std::max(1.5, o.module_px * 0.75);
    const Point eye_at[3] = {module_centre(o, n, 3, 3), module_centre(o, n, n - 4, 3),
                             module_centre(o, n, 3, n - 4)};
    state.trace_file = nullptr;
    state.image_width = width;
    state.image_height = height;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if (!state.work_bitmap.allocate(count))
        return result;
    for (int pass = 0; pass < 7; ++pass) {
        if (pass <= 2)
            vantor::threshold_global(state, pass, pixels, static_cast<std::uint16_t>(depth));
        else
            vantor::threshold_local(state, pass - 3, pixels, width, height);
        if (!vantor::find_eye_patterns(state, state.eye_pick, state)) {
            Reading r;
            r.pass = pass;
            result.readings.push_back(r);
        } else {
            // Which picked eye sits on which true eye (-1: none).
            int slot_of[3];
            int own = 0;
            for (int s = 0; s < 3; ++s) {
                const vantor::EyePattern &e = state.eyes.items[state.eye_pick[s]];
                slot_of[s] = -1;
                for (int t = 0; t < 3; ++t)
                    if (near(e.x, e.y, eye_at[t], tolerance))
                        slot_of[s] = t;
                own += slot_of[s] >= 0;
            }
            bool all_found = true;
            for (int t = 0; t < 3; ++t) {
                bool found = false;
                for (int i = 0; i < state.eye_count; ++i)
                    found = found || near(state.eyes.items[i].x, state.eyes.items[i].y, eye_at[t], tolerance);
                all_found = all_found && found;
            }
            const bool in_place = slot_of[0] == 0 && slot_of[1] == 1 && slot_of[2] == 2;
            for (int j = 0; j < 2; ++j) {
                Reading r;
                r.pass = pass;
                r.j = j;
                r.own_eyes = own;
                r.true_eyes_found = all_found;
                r.outcome = own < 3 ? Outcome::eyes_not_own
                            : !in_place ? Outcome::eyes_misoriented
                                        : Outcome::version_failed;
                state.version = r.version = whole_state::determine_version(state, j);
                r.version_off_rule = rule_version(j) != r.version;
                const bool judged = r.outcome == Outcome::version_failed;
                if (judged && state.version >= 1)
                    r.outcome = state.version == symbol.version ? Outcome::alignment_failed
                                                                : Outcome::version_wrong;
                if (state.version < 1) {
                    result.readings.push_back(r);
                    continue;
                }
                const bool built = whole_state::grid_build(state) != 0;
                r.alignment_off_rule = check_alignments(built);
                if (!built) {
                    vantor::grid_free(state);
                    result.readings.push_back(r);
                    continue;
                }
                for (int i = 0; i < state.grid_points.count; ++i) {
                    const vantor::GridPoint &g = state.grid_points.items[i];
                    const Point want = module_centre(o, n, g.col, g.row);
                    r.point_error = std::max(r.point_error, std::hypot(g.x - want.x, g.y - want.y));
                    if (r.outcome == Outcome::alignment_failed && i >= 3 && !near(g.x, g.y, want, tolerance))
                        r.outcome = Outcome::alignment_misfound;
                }
                if (r.outcome == Outcome::alignment_failed)
                    r.outcome = Outcome::sample_failed;
                if (!vantor::grid_sample(state, state)) {
                    vantor::grid_free(state);
                    result.readings.push_back(r);
                    continue;
                }
                if (r.outcome == Outcome::sample_failed) {
                    for (int i = 0; i < n * n; ++i) {
                        const std::uint8_t got = state.module_matrix[static_cast<std::size_t>(i)];
                        if (got == (expected[static_cast<std::size_t>(i)] ? 64 : 0))
                            continue;
                        if (++r.wrong_modules <= 8)
                            r.wrong_at.push_back(i);
                        const Point p = rule_position(i % n, i / n);
                        const Point truth = module_centre(o, n, i % n, i / n);
                        r.worst_offset = std::max(r.worst_offset, std::hypot(p.x - truth.x, p.y - truth.y) / o.module_px);
                        // The value must be that of the pixel under the rules' place;
                        // a place within rounding of a pixel edge may take either side.
                        bool read_there = false;
                        for (double ex : {-1e-3, 1e-3})
                            for (double ey : {-1e-3, 1e-3}) {
                                const double fx = std::floor(p.x + ex), fy = std::floor(p.y + ey);
                                read_there = read_there ||
                                             (fx >= 0 && fy >= 0 && fx < width && fy < height &&
                                              (got & 0x40) == (state.work_bitmap[static_cast<std::size_t>(fy) * width +
                                                                                 static_cast<std::size_t>(fx)] & 0x40));
                            }
                        r.off_rule += !read_there;
                    }
                    r.outcome = r.wrong_modules ? Outcome::mismatch : Outcome::match;
                }
                for (std::size_t i = 0; i < count; ++i)
                    state.work_bitmap[i] &= static_cast<std::uint8_t>(~0x10);
                vantor::read_format_info(state, state);
                vantor::unmask(state);
                vantor::reorder_codewords(state, state, &state);
                const char *text = vantor::decode_data(state, state.version, state);
                vantor::grid_free(state);
                vantor::release_codewords(state);
                r.text = text != nullptr;
                r.text_right = text && symbol.text == text;
                result.readings.push_back(r);
                if (stop_at_match && r.outcome == Outcome::match)
                    break;
            }
        }
        vantor::free_eye_patterns(state);
        if (depth == 1 || (stop_at_match && result.best() == Outcome::match))
            break;
    }
    state.contrast_map.reset();
    state.work_bitmap.reset();
    return result;
}

inline std::vector<std::uint8_t> transposed(const vt::Symbol &s) {
    std::vector<std::uint8_t> t(s.modules.size());
    for (int r = 0; r < s.size; ++r)
        for (int c = 0; c < s.size; ++c)
            t[static_cast<std::size_t>(r) * s.size + c] = s.dark(r, c);
    return t;
}

} // namespace e2e
