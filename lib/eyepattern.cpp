// Eye pattern stage: run-length tables of the work bitmap, 1:1:3:1:1 window
// matches along rows and columns, their grouping into candidates, and the
// choice and orientation of three of them. The alignment pattern search
// reuses the run tables and the hit lists of the same pass.
#include "eyepattern.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>
#include <optional>
#include <set>
#include <span>
#include <vector>

namespace vantor {

namespace {

constexpr std::uint8_t dark = 64;
constexpr std::uint8_t sampled_mark = 0x10; // toggled by the sampling grid
// Run entries are 16-bit, so no line may be longer than this.
constexpr int max_line = 32767;

// Five-run window proportions (ideal 1:1:3:1:1), bounds inclusive, as
// fractions num / den so that run / total is compared without dividing:
// run / total >= num / den exactly when run * den >= num * total. (A
// quotient of run lengths that differs from a bound differs by at least
// 1 / (den * total), far more than a rounding, so this is the comparison of
// the floating-point quotients too.)
struct Fraction {
    int num;
    int den;
};
constexpr Fraction outer_min{1, 15};
constexpr Fraction outer_max{3, 13};
constexpr Fraction centre_min{1, 3};
constexpr Fraction centre_max{7, 13};

// Where a crossing line may cut a hit, as a fraction of its length.
constexpr double cross_min = 0.2;
constexpr double cross_max = 11.0 / 13;

// Full pattern width (7 modules) from the diagonal of its 3-module centre
// block: 7 / (3 * sqrt 2).
constexpr double size_factor = 1.6499158255372215;

// Shape and similarity limits of the candidate filter.
constexpr double aspect_max = 1.2;
constexpr double aspect_min = 0.8;
constexpr float aspect_slack = 2.0f; // pixels
constexpr double similar_min = 0.71;
constexpr double similar_max = 1.4;
constexpr double similar_slack = 2.0; // pixels

constexpr double far_away = 10000000; // start of the nearest-to-centroid search

void log_malloc_failed(const DecoderState &s) { trace(s, "malloc() failed.\n"); }

// True when the image size is within the run tables' range and the work
// bitmap holds every pixel of it.
bool bitmap_covers_image(const DecoderState &s) {
    const int w = s.image_width;
    const int h = s.image_height;
    if (w <= 0 || h <= 0 || w > max_line || h > max_line || !s.work_bitmap)
        return false;
    return s.work_bitmap.size() >= static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
}

bool is_dark(const DecoderState &s, int x, int y) {
    return s.work_bitmap[static_cast<std::size_t>(y) * s.image_width + x] == dark;
}

// One line of a run table: its runs end at the first negative entry or at the
// end of the line's entries, whichever comes first.
class RunLine {
public:
    RunLine(const std::int16_t *runs, int line_length, int line)
        : entries_(static_cast<std::size_t>(line_length) + 2),
          runs_(runs + static_cast<std::size_t>(line) * entries_) {}

    // The run's length, or -1 past the last run.
    int operator[](std::size_t i) const { return i < entries_ && runs_[i] >= 0 ? runs_[i] : -1; }

private:
    std::size_t entries_;
    const std::int16_t *runs_;
};

// Encodes `count` pixels, `step` bytes apart, as runs: entry 0 dark, then
// alternating, -1 after the last run. `out` has count + 2 entries.
void encode_line(const std::uint8_t *pixels, std::size_t step, int count, std::int16_t *out,
                 std::uint8_t ignored = 0) {
    std::fill(out, out + count + 2, std::int16_t{0});
    bool current_dark = true;
    int k = 0;
    for (int i = 0; i < count; ++i) {
        const bool d = (pixels[static_cast<std::size_t>(i) * step] & ~ignored) == dark;
        if (d != current_dark) {
            current_dark = d;
            ++k;
        }
        ++out[k];
    }
    out[k + 1] = -1;
}

// Eight bitmap bytes at once: bit 7 of byte i set when pixel i is dark
// (exactly 64 once the `ignored` bits are cleared; with none ignored a
// marked pixel counts as light), every other bit clear.
std::uint64_t dark_bytes(const std::uint8_t *pixels, std::uint8_t ignored) {
    std::uint64_t w;
    std::memcpy(&w, pixels, sizeof w);
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap64(w); // byte i of memory in bits 8i..8i+7
    w &= ~(ignored * 0x0101010101010101u);
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = w ^ 0x4040404040404040u;   // zero bytes where dark
    const std::uint64_t nonzero = ((x & low7) + low7) | x; // bit 7 set where x != 0
    return ~nonzero & 0x8080808080808080u;
}

constexpr std::uint64_t all_dark_bytes = 0x8080808080808080u;

// encode_line for one image row, eight pixels at a time while they go on
// with the current run; the `ignored` bits of each byte do not count.
void encode_row(const std::uint8_t *pixels, int count, std::int16_t *out, std::uint8_t ignored = 0) {
    bool current_dark = true;
    int k = 0;
    int run_start = 0;
    int i = 0;
    while (i < count) {
        if (i + 8 <= count) {
            const std::uint64_t change = dark_bytes(pixels + i, ignored) ^ (current_dark ? all_dark_bytes : 0);
            if (change == 0) {
                i += 8;
                continue;
            }
            i += std::countr_zero(change) / 8;
        } else if (((pixels[i] & ~ignored) == dark) == current_dark) {
            ++i;
            continue;
        }
        // Pixel i begins the next run.
        out[k++] = static_cast<std::int16_t>(i - run_start);
        run_start = i;
        current_dark = !current_dark;
    }
    out[k] = static_cast<std::int16_t>(count - run_start);
    out[k + 1] = -1;
    std::fill(out + k + 2, out + count + 2, std::int16_t{0});
}

// The run lines of columns first .. first + count - 1 into `table`, one
// line of image_height + 2 entries each; the `ignored` bits of each byte do
// not count. Columns eight at a time, row by row, so the bitmap is read in
// memory order: a row's eight bytes are compared with the colours of the
// eight runs in progress, and only the columns whose colour changes are
// visited. Sixty-four columns (a cache line of the bitmap) per sweep.
void encode_columns(const DecoderState &s, int first, int count, std::int16_t *table, std::uint8_t ignored) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    const std::uint8_t *bitmap = s.work_bitmap.get();
    constexpr int group = 8;
    constexpr int groups_per_sweep = 8;
    const int groups = count / group;
    int run_index[group * groups_per_sweep];
    int run_start[group * groups_per_sweep];
    std::uint64_t colour[groups_per_sweep]; // bit 7 of byte b: column b's run is dark
    for (int g0 = 0; g0 < groups; g0 += groups_per_sweep) {
        const int ng = std::min(groups_per_sweep, groups - g0);
        const int x0 = g0 * group;
        for (int c = 0; c < ng * group; ++c) {
            run_index[c] = 0;
            run_start[c] = 0;
        }
        std::fill(colour, colour + ng, all_dark_bytes);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t *row = bitmap + static_cast<std::size_t>(y) * w + first + x0;
            for (int g = 0; g < ng; ++g) {
                std::uint64_t change = dark_bytes(row + g * group, ignored) ^ colour[g];
                colour[g] ^= change;
                for (; change != 0; change &= change - 1) {
                    const int c = g * group + std::countr_zero(change) / 8;
                    std::int16_t *out = table + static_cast<std::size_t>(x0 + c) * entries;
                    out[run_index[c]++] = static_cast<std::int16_t>(y - run_start[c]);
                    run_start[c] = y;
                }
            }
        }
        for (int c = 0; c < ng * group; ++c) {
            std::int16_t *out = table + static_cast<std::size_t>(x0 + c) * entries;
            out[run_index[c]] = static_cast<std::int16_t>(h - run_start[c]);
            out[run_index[c] + 1] = -1;
            std::fill(out + run_index[c] + 2, out + entries, std::int16_t{0});
        }
    }
    // The last few columns one at a time.
    for (int x = groups * group; x < count; ++x)
        encode_line(bitmap + first + x, static_cast<std::size_t>(w), h, table + static_cast<std::size_t>(x) * entries,
                    ignored);
}

// Runs r[0..4] (each at most 32767 pixels) against the proportions.
bool window_matches(const std::int16_t *r, int total) {
    if (total <= 0)
        return false;
    auto within = [total](int run, Fraction lo, Fraction hi) {
        return run * lo.den >= lo.num * total && run * hi.den <= hi.num * total;
    };
    return within(r[0], outer_min, outer_max) && within(r[1], outer_min, outer_max) &&
           within(r[2], centre_min, centre_max) && within(r[3], outer_min, outer_max) &&
           within(r[4], outer_min, outer_max);
}

// --- Pairing row hits with column hits ------------------------------------
//
// A row hit R and a column hit C cross when C's line falls in a window of R
// and R's line in a window of C. Crossing pairs are labelled in list order:
// an unlabelled C takes R's label, or both take a new one; an unlabelled R
// takes C's; two different labels merge into the smaller one everywhere.
//
// The all-pairs loop does exactly that. The sweep below gives the same
// labels without visiting every pair: the final groups are the connected
// components of the crossing graph; a new label is issued at a pair (R, C)
// exactly when C is R's first crossing column and R is C's first crossing
// row; and each group ends with the label issued at its first row hit.

// Inclusive range of partner lines that a hit accepts.
struct LineRange {
    std::int64_t lo;
    std::int64_t hi;
};

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

constexpr int no_hit = INT32_MAX;

// Minimum over a range of slots, with point updates.
class MinTree {
public:
    explicit MinTree(std::size_t n) {
        while (leaves_ < n)
            leaves_ *= 2;
        tree_.assign(2 * leaves_, no_hit);
    }
    void set(std::size_t slot, int value) {
        std::size_t p = slot + leaves_;
        tree_[p] = value;
        for (p /= 2; p > 0; p /= 2)
            tree_[p] = std::min(tree_[2 * p], tree_[2 * p + 1]);
    }
    // Minimum over slots [lo, hi).
    int min(std::size_t lo, std::size_t hi) const {
        int m = no_hit;
        for (lo += leaves_, hi += leaves_; lo < hi; lo /= 2, hi /= 2) {
            if (lo & 1)
                m = std::min(m, tree_[lo++]);
            if (hi & 1)
                m = std::min(m, tree_[--hi]);
        }
        return m;
    }

private:
    std::size_t leaves_ = 1;
    std::vector<int> tree_;
};

class DisjointSets {
public:
    explicit DisjointSets(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0); }
    int find(int v) {
        while (parent_[v] != v) {
            parent_[v] = parent_[parent_[v]];
            v = parent_[v];
        }
        return v;
    }
    void join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<int> parent_;
};

// Joins a hit with every active partner in a range of slots without visiting
// each one: it keeps the neighbouring active slot pairs not yet known to be
// joined, and joins only those.
class RangeJoiner {
public:
    RangeJoiner(DisjointSets &sets, const std::vector<int> &node_of_slot)
        : sets_(sets), node_of_slot_(node_of_slot) {}

    void activate(int slot) {
        auto it = active_.insert(slot).first;
        if (it != active_.begin())
            unjoined_.insert(*std::prev(it));
        if (std::next(it) != active_.end())
            unjoined_.insert(slot);
    }

    void deactivate(int slot) {
        auto it = active_.find(slot);
        if (it == active_.end())
            return;
        const bool has_prev = it != active_.begin();
        const bool has_next = std::next(it) != active_.end();
        const int prev = has_prev ? *std::prev(it) : -1;
        active_.erase(it);
        unjoined_.erase(slot);
        if (has_prev) {
            if (has_next)
                unjoined_.insert(prev);
            else
                unjoined_.erase(prev);
        }
    }

    // Joins `node` with every active slot in [lo, hi); false when none.
    bool join_range(int node, int lo, int hi) {
        auto first = active_.lower_bound(lo);
        if (first == active_.end() || *first >= hi)
            return false;
        sets_.join(node, node_of_slot_[*first]);
        for (auto it = unjoined_.lower_bound(*first); it != unjoined_.end();) {
            const int slot = *it;
            auto next = active_.upper_bound(slot);
            if (slot >= hi || next == active_.end() || *next >= hi)
                break;
            sets_.join(node_of_slot_[slot], node_of_slot_[*next]);
            it = unjoined_.erase(it);
        }
        return true;
    }

private:
    DisjointSets &sets_;
    const std::vector<int> &node_of_slot_;
    std::set<int> active_;
    std::set<int> unjoined_; // slot s: s and the next active slot may be apart
};

// For each hit of `a`, the lowest index of a hit of `b` that crosses it, or
// -1. With a joiner, also joins every crossing pair (b's nodes numbered
// after a's, from `b_node_base`).
std::vector<int> first_partners(std::span<const RunHit> a, std::span<const LineRange> a_range,
                                std::span<const RunHit> b, std::span<const LineRange> b_range,
                                DisjointSets *sets, int b_node_base) {
    const std::size_t na = a.size();
    const std::size_t nb = b.size();
    std::vector<int> first(na, -1);

    // Slots: b's hits ordered by line (ties by index).
    std::vector<int> hit_of_slot(nb);
    std::iota(hit_of_slot.begin(), hit_of_slot.end(), 0);
    std::stable_sort(hit_of_slot.begin(), hit_of_slot.end(),
                     [&](int p, int q) { return b[p].line < b[q].line; });
    std::vector<int> slot_of_hit(nb);
    std::vector<std::int64_t> line_of_slot(nb);
    std::vector<int> node_of_slot(nb);
    for (std::size_t slot = 0; slot < nb; ++slot) {
        slot_of_hit[hit_of_slot[slot]] = static_cast<int>(slot);
        line_of_slot[slot] = b[hit_of_slot[slot]].line;
        node_of_slot[slot] = b_node_base + hit_of_slot[slot];
    }

    // b's hit is active while the sweep line is inside its range.
    std::vector<int> by_lo;
    for (std::size_t j = 0; j < nb; ++j)
        if (b_range[j].lo <= b_range[j].hi)
            by_lo.push_back(static_cast<int>(j));
    std::vector<int> by_hi = by_lo;
    std::stable_sort(by_lo.begin(), by_lo.end(),
                     [&](int p, int q) { return b_range[p].lo < b_range[q].lo; });
    std::stable_sort(by_hi.begin(), by_hi.end(),
                     [&](int p, int q) { return b_range[p].hi < b_range[q].hi; });

    std::vector<int> a_order(na);
    std::iota(a_order.begin(), a_order.end(), 0);
    std::stable_sort(a_order.begin(), a_order.end(),
                     [&](int p, int q) { return a[p].line < a[q].line; });

    MinTree tree(nb);
    std::optional<RangeJoiner> joiner;
    if (sets)
        joiner.emplace(*sets, node_of_slot);
    std::size_t next_on = 0;
    std::size_t next_off = 0;
    for (const int i : a_order) {
        const std::int64_t y = a[i].line;
        for (; next_on < by_lo.size() && b_range[by_lo[next_on]].lo <= y; ++next_on) {
            const int j = by_lo[next_on];
            tree.set(slot_of_hit[j], j);
            if (joiner)
                joiner->activate(slot_of_hit[j]);
        }
        for (; next_off < by_hi.size() && b_range[by_hi[next_off]].hi < y; ++next_off) {
            const int j = by_hi[next_off];
            tree.set(slot_of_hit[j], no_hit);
            if (joiner)
                joiner->deactivate(slot_of_hit[j]);
        }
        const auto lo = std::lower_bound(line_of_slot.begin(), line_of_slot.end(), a_range[i].lo) -
                        line_of_slot.begin();
        const auto hi = std::upper_bound(line_of_slot.begin(), line_of_slot.end(), a_range[i].hi) -
                        line_of_slot.begin();
        if (lo >= hi)
            continue;
        const int m = tree.min(static_cast<std::size_t>(lo), static_cast<std::size_t>(hi));
        if (m == no_hit)
            continue;
        first[i] = m;
        if (joiner)
            joiner->join_range(i, static_cast<int>(lo), static_cast<int>(hi));
    }
    return first;
}

// The all-pairs labelling over only the pairs that can cross. A column hit
// crosses a row hit only when its line lies in the row hit's partner range
// and its own window holds the row hit's line, so its start lies at most
// the longest column hit's length before that line. With the column hits in
// order of line and, within a line, of start (as the column scan makes
// them), those are a few short runs of indices, tried in index order as the
// all-pairs loop does. Merged labels are kept in a disjoint-set forest (each
// merge points the larger label at the smaller) and written back at the
// end, instead of being rewritten in both lists at every merge. The labels
// come out exactly as label_all_pairs gives them. False (lists untouched)
// when a hit is labelled already, the column hits are out of order, or the
// pairs to try are so many that the sweep is the better way.
template <class Crosses, class RangeOf>
bool label_by_candidates(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, int first_label, int &next_label,
                         Crosses crosses, RangeOf range_of) {
    try {
        const std::span<RunHit> r(rows.items, static_cast<std::size_t>(std::max(rows.count, 0)));
        const std::span<RunHit> c(cols.items, static_cast<std::size_t>(std::max(cols.count, 0)));
        for (const RunHit &h : r)
            if (h.label != -1)
                return false;
        std::int64_t longest = 0;
        for (std::size_t j = 0; j < c.size(); ++j) {
            if (c[j].label != -1 || c[j].length < 0)
                return false;
            if (j > 0 && (c[j].line < c[j - 1].line || (c[j].line == c[j - 1].line && c[j].start < c[j - 1].start)))
                return false;
            longest = std::max<std::int64_t>(longest, c[j].length);
        }
        next_label = first_label;
        if (r.empty() || c.empty())
            return true;
        // first_of[x - low]: index of the first column hit on line x or after.
        const std::int64_t low = c.front().line, high = c.back().line;
        if (high - low > (std::int64_t{1} << 22))
            return false;
        std::vector<int> first_of(static_cast<std::size_t>(high - low + 2));
        for (std::size_t j = c.size(), x = first_of.size(); x-- > 0;) {
            while (j > 0 && c[j - 1].line >= low + static_cast<std::int64_t>(x))
                --j;
            first_of[x] = static_cast<int>(j);
        }
        // Calls f(j) for every column hit j that may cross row hit h, in
        // ascending j (lines widened by one on each side; the crossing test
        // decides).
        auto for_candidates = [&](const RunHit &h, auto f) {
            const LineRange range = range_of(h);
            const std::int64_t from = std::max(range.lo - 1, low), to = std::min(range.hi + 1, high);
            const std::int64_t start_lo = std::int64_t{h.line} - longest - 1, start_hi = std::int64_t{h.line} + 1;
            for (std::int64_t x = from; x <= to; ++x) {
                const auto begin = c.begin() + first_of[static_cast<std::size_t>(x - low)];
                const auto end = c.begin() + first_of[static_cast<std::size_t>(x - low + 1)];
                auto it = std::lower_bound(begin, end, start_lo,
                                           [](const RunHit &v, std::int64_t at) { return v.start < at; });
                for (; it != end && it->start <= start_hi; ++it)
                    if (!f(static_cast<std::size_t>(it - c.begin())))
                        return false;
            }
            return true;
        };
        // Beyond this many pairs the sweep is the better way: the labels
        // written so far are cleared again for it.
        const std::int64_t limit = 32 * static_cast<std::int64_t>(r.size() + c.size()) + 4096;
        std::int64_t pairs = 0;
        auto clear_labels = [&] {
            for (RunHit &h : r)
                h.label = -1;
            for (RunHit &h : c)
                h.label = -1;
        };

        std::vector<int> parent; // parent[label - first_label]
        auto find = [&](int label) {
            while (parent[static_cast<std::size_t>(label - first_label)] != label) {
                int &up = parent[static_cast<std::size_t>(label - first_label)];
                up = parent[static_cast<std::size_t>(up - first_label)];
                label = up;
            }
            return label;
        };
        int next = first_label;
        for (RunHit &row : r) {
            const bool within_limit = for_candidates(row, [&](std::size_t j) {
                if (++pairs > limit)
                    return false;
                RunHit &col = c[j];
                if (!crosses(row, col))
                    return true;
                if (col.label < 0) {
                    if (row.label >= 0) {
                        col.label = row.label;
                    } else {
                        row.label = col.label = next;
                        parent.push_back(next);
                        ++next;
                    }
                } else if (row.label < 0) {
                    row.label = col.label;
                } else {
                    const int a = find(row.label), b = find(col.label);
                    if (a != b)
                        parent[static_cast<std::size_t>(std::max(a, b) - first_label)] = std::min(a, b);
                }
                return true;
            });
            if (!within_limit) {
                clear_labels();
                return false;
            }
        }
        for (RunHit &h : r)
            if (h.label >= 0)
                h.label = find(h.label);
        for (RunHit &h : c)
            if (h.label >= 0)
                h.label = find(h.label);
        next_label = next;
        return true;
    } catch (const std::bad_alloc &) {
        // Only labels were written, so clear them for the way that follows.
        for (int i = 0; i < rows.count; ++i)
            rows.items[i].label = -1;
        for (int i = 0; i < cols.count; ++i)
            cols.items[i].label = -1;
        return false;
    }
}

// The sweep labelling; false (lists untouched) when it cannot run, so the
// caller falls back to the all-pairs loop.
template <class RangeOf>
bool label_by_sweep(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, int first_label, int &next_label,
                    RangeOf range_of) {
    try {
        const std::span<RunHit> r(rows.items, static_cast<std::size_t>(std::max(rows.count, 0)));
        const std::span<RunHit> c(cols.items, static_cast<std::size_t>(std::max(cols.count, 0)));
        for (const RunHit &h : r)
            if (h.label != -1)
                return false;
        for (const RunHit &h : c)
            if (h.label != -1)
                return false;
        next_label = first_label;
        if (r.empty() || c.empty())
            return true;

        std::vector<LineRange> r_range(r.size());
        std::vector<LineRange> c_range(c.size());
        for (std::size_t i = 0; i < r.size(); ++i)
            r_range[i] = range_of(r[i]);
        for (std::size_t j = 0; j < c.size(); ++j)
            c_range[j] = range_of(c[j]);

        const int nr = static_cast<int>(r.size());
        DisjointSets sets(r.size() + c.size());
        const std::vector<int> first_col = first_partners(r, r_range, c, c_range, &sets, nr);
        const std::vector<int> first_row = first_partners(c, c_range, r, r_range, nullptr, 0);

        std::vector<int> group_label(r.size() + c.size(), -1);
        int issued = first_label;
        for (int i = 0; i < nr; ++i) {
            if (first_col[i] < 0)
                continue;
            int label = -1;
            if (first_row[first_col[i]] == i)
                label = issued++;
            int &group = group_label[sets.find(i)];
            if (group < 0)
                group = label;
        }
        std::vector<int> row_label(r.size(), -1);
        std::vector<int> col_label(c.size(), -1);
        for (int i = 0; i < nr; ++i)
            if (first_col[i] >= 0 && (row_label[i] = group_label[sets.find(i)]) < 0)
                return false;
        for (std::size_t j = 0; j < c.size(); ++j)
            if (first_row[j] >= 0 && (col_label[j] = group_label[sets.find(nr + static_cast<int>(j))]) < 0)
                return false;
        for (std::size_t i = 0; i < r.size(); ++i)
            r[i].label = row_label[i];
        for (std::size_t j = 0; j < c.size(); ++j)
            c[j].label = col_label[j];
        next_label = issued;
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// Crossing of eye pattern hits: each line cuts the other hit between 0.2
// and 11/13 of its length.
bool within_eye_window(int at, const RunHit &h) {
    if (h.length == 0)
        return false;
    const double q = (static_cast<double>(at) - h.start) / h.length;
    return q >= cross_min && q <= cross_max;
}

bool eye_hits_cross(const RunHit &r, const RunHit &c) {
    return within_eye_window(c.line, r) && within_eye_window(r.line, c);
}

// The same window in integers. Exact while the values stay far below the
// point where the floating-point quotient could round across a bound.
constexpr int sweep_length_limit = 1 << 20;
constexpr int sweep_position_limit = 1 << 24;

bool eye_sweep_applies(const MemChunk<RunHit> &list) {
    for (int i = 0; i < list.count; ++i) {
        const RunHit &h = list.items[i];
        if (h.length <= 0 || h.length > sweep_length_limit || h.start < -sweep_position_limit ||
            h.start > sweep_position_limit || h.line < -sweep_position_limit ||
            h.line > sweep_position_limit)
            return false;
    }
    return true;
}

LineRange eye_partner_range(const RunHit &h) {
    const std::int64_t length = h.length;
    return {h.start + (length + 4) / 5, h.start + 11 * length / 13};
}

// Crossing of alignment hits: each line meets the other's dark run.
bool alignment_hits_cross(const RunHit &r, const RunHit &c) {
    return r.start <= c.line && c.line <= static_cast<std::int64_t>(r.start) + r.length &&
           c.start <= r.line && r.line <= static_cast<std::int64_t>(c.start) + c.length;
}

LineRange alignment_partner_range(const RunHit &h) {
    return {h.start, static_cast<std::int64_t>(h.start) + h.length};
}

// Per-label extremes of hit lines, for the consistency score.
struct LineSpan {
    int lo = INT32_MAX;
    int hi = INT32_MIN;
    void add(int line) {
        lo = std::min(lo, line);
        hi = std::max(hi, line);
    }
};

// 0 <= (line - start) / length <= 1.
bool inside_hit(int line, const RunHit &h) {
    if (h.length == 0)
        return false;
    const double q = (static_cast<double>(line) - h.start) / h.length;
    return q >= 0 && q <= 1;
}

// Every partner line lies inside the hit; since the test is an interval of
// lines, the extremes decide it.
bool span_inside_hit(const LineSpan &partners, const RunHit &h) {
    if (partners.lo > partners.hi)
        return true; // no partners
    return inside_hit(partners.lo, h) && inside_hit(partners.hi, h);
}

// Scores every record that is still in: the hits of its group whose window
// holds every crossing line of the other direction.
void score_eyes(DecoderState &s) {
    const int n = s.eye_count;
    int labels = 0;
    for (int i = 0; i < s.row_hits.count; ++i)
        labels = std::max(labels, s.row_hits.items[i].label + 1);
    for (int i = 0; i < s.col_hits.count; ++i)
        labels = std::max(labels, s.col_hits.items[i].label + 1);

    HeapArray<LineSpan> row_lines;
    HeapArray<LineSpan> col_lines;
    HeapArray<int> consistent;
    const bool indexed = labels > 0 && row_lines.allocate(labels) && col_lines.allocate(labels) &&
                         consistent.allocate_zeroed(labels);
    if (indexed) {
        // One pass over each list for all records at once.
        std::fill(row_lines.get(), row_lines.get() + labels, LineSpan{});
        std::fill(col_lines.get(), col_lines.get() + labels, LineSpan{});
        for (int i = 0; i < s.row_hits.count; ++i)
            if (const RunHit &h = s.row_hits.items[i]; h.label >= 0)
                row_lines[h.label].add(h.line);
        for (int i = 0; i < s.col_hits.count; ++i)
            if (const RunHit &h = s.col_hits.items[i]; h.label >= 0)
                col_lines[h.label].add(h.line);
        for (int i = 0; i < s.row_hits.count; ++i)
            if (const RunHit &h = s.row_hits.items[i]; h.label >= 0 && span_inside_hit(col_lines[h.label], h))
                ++consistent[h.label];
        for (int i = 0; i < s.col_hits.count; ++i)
            if (const RunHit &h = s.col_hits.items[i]; h.label >= 0 && span_inside_hit(row_lines[h.label], h))
                ++consistent[h.label];
        for (int e = 0; e < n; ++e) {
            EyePattern &eye = s.eyes.items[e];
            if (eye.score >= 0 && eye.id >= 0 && eye.id < labels)
                eye.score += consistent[eye.id];
        }
        return;
    }
    // Out of memory for the tables: the same count record by record.
    for (int e = 0; e < n; ++e) {
        EyePattern &eye = s.eyes.items[e];
        if (eye.score < 0)
            continue;
        LineSpan row_span;
        LineSpan col_span;
        for (int i = 0; i < s.row_hits.count; ++i)
            if (s.row_hits.items[i].label == eye.id)
                row_span.add(s.row_hits.items[i].line);
        for (int i = 0; i < s.col_hits.count; ++i)
            if (s.col_hits.items[i].label == eye.id)
                col_span.add(s.col_hits.items[i].line);
        for (int i = 0; i < s.row_hits.count; ++i)
            if (s.row_hits.items[i].label == eye.id && span_inside_hit(col_span, s.row_hits.items[i]))
                ++eye.score;
        for (int i = 0; i < s.col_hits.count; ++i)
            if (s.col_hits.items[i].label == eye.id && span_inside_hit(row_span, s.col_hits.items[i]))
                ++eye.score;
    }
}

// Keeps, in order, the records with hits in both directions.
void drop_marked_eyes(DecoderState &s) {
    int kept = 0;
    for (int i = 0; i < s.eye_count; ++i) {
        const EyePattern &eye = s.eyes.items[i];
        if (eye.h_hits > 0 && eye.v_hits > 0)
            s.eyes.items[kept++] = eye;
    }
    s.eye_count = kept;
    s.eyes.count = kept;
}

bool pick_is_valid(const DecoderState &s, int slot) {
    const int i = s.eye_pick[slot];
    return s.eyes.items && i >= 0 && i < s.eye_count && i < s.eyes.count;
}

// The scan window of an alignment search along one direction: `lines`
// lines from `first` across it, `span` pixels from `start` along it.
struct AlignmentWindow {
    int first;
    int lines;
    int start;
    int span;
};

// False when the window leaves the image on any side or is not a number.
bool alignment_window(double across, double across_step, double along, double along_step,
                      int across_limit, int along_limit, AlignmentWindow &out) {
    const double first = std::ceil(across - 1.5 * across_step);
    const double lines = std::ceil(3 * across_step);
    const double start = std::ceil(along - 2.5 * along_step);
    const double span = std::ceil(5 * along_step);
    // Negated tests so that NaN fails too.
    if (!(first >= 0 && start >= 0 && lines >= 0 && span >= 0))
        return false;
    if (!(first + lines <= across_limit && start + span <= along_limit))
        return false;
    out = {static_cast<int>(first), static_cast<int>(lines), static_cast<int>(start),
           static_cast<int>(span)};
    return true;
}

bool table_covers(const HeapArray<std::int16_t> &table, int line_length, int lines) {
    return table && table.size() >= (static_cast<std::size_t>(line_length) + 2) * static_cast<std::size_t>(lines);
}

// One line of an alignment window, from the work bitmap with the sampled
// mark ignored (the line as it was when the pass had just written it, before
// a failed sampling grid of the same pass marked pixels), written so that
// scan_alignment_runs reads from it what it would read from the whole line.
// That scan walks from the line start to the first run that begins at or
// after `start`, then reads only runs that begin before the window's end,
// and a run longer than `accepted` pixels is refused whatever its length.
// So the line is written as a stand-in prefix that brings the walk to that
// run at the same position and with the same colour, then the runs from
// there up to `stop` (at least `accepted` + 1 pixels past the window's end,
// the last one cut there), then the terminator. `pixels` is the line's first
// pixel, `step` the distance between its pixels.
void encode_window_line(const std::uint8_t *pixels, std::size_t step, int start, int stop,
                        std::int16_t *out) {
    auto dark_at = [&](int i) { return (pixels[static_cast<std::size_t>(i) * step] & ~sampled_mark) == dark; };
    int k = 0;
    int run_start = 0;
    bool current_dark = true; // entry 0 is dark
    if (start > 0) {
        int first = start;
        while (first < stop && dark_at(first) == dark_at(first - 1))
            ++first;
        if (first >= stop) {
            // No run begins in reach: the scan takes nothing from this line.
            out[0] = 0;
            out[1] = -1;
            return;
        }
        current_dark = dark_at(first);
        if (current_dark)
            out[k++] = 0; // a dark run is an even entry
        out[k++] = static_cast<std::int16_t>(first);
        run_start = first;
    }
    for (int i = run_start; i < stop; ++i) {
        if (dark_at(i) != current_dark) {
            out[k++] = static_cast<std::int16_t>(i - run_start);
            run_start = i;
            current_dark = !current_dark;
        }
    }
    out[k++] = static_cast<std::int16_t>(stop - run_start);
    out[k] = -1;
}

// scan_alignment_runs over the window's lines of the row (or column) table.
// Without the full tables, those lines are made by encode_window_line.
bool scan_window(DecoderState &s, bool along_rows, bool full_tables, const AlignmentWindow &win, double unit,
                 MemChunk<RunHit> &hits) {
    const int w = s.image_width;
    const int h = s.image_height;
    const int line_length = along_rows ? w : h;
    if (full_tables)
        return scan_alignment_runs(s, win.first, (along_rows ? s.row_runs : s.col_runs).get(),
                                   line_length, hits, win.start, win.lines, win.span, unit) != 0;
    if (win.lines <= 0)
        return false;
    const std::size_t entries = static_cast<std::size_t>(line_length) + 2;
    HeapArray<std::int16_t> lines;
    if (!lines.allocate(entries * static_cast<std::size_t>(win.lines))) {
        log_malloc_failed(s);
        return false;
    }
    // Runs longer than this are refused by the scan (the same bound as its own).
    const double accepted = std::ceil(unit * 1.5);
    int stop = line_length;
    if (accepted >= 0 && accepted < line_length)
        stop = static_cast<int>(std::min<std::int64_t>(
            line_length, std::int64_t{win.start} + win.span + static_cast<std::int64_t>(accepted) + 1));
    const std::uint8_t *bitmap = s.work_bitmap.get();
    for (int i = 0; i < win.lines; ++i) {
        const int line = win.first + i;
        if (along_rows)
            encode_window_line(bitmap + static_cast<std::size_t>(line) * w, 1, win.start, stop,
                               lines.get() + i * entries);
        else
            encode_window_line(bitmap + line, static_cast<std::size_t>(w), win.start, stop,
                               lines.get() + i * entries);
    }
    const int before = hits.count;
    if (!scan_alignment_runs(s, 0, lines.get(), line_length, hits, win.start, win.lines, win.span, unit))
        return false;
    for (int i = before; i < hits.count; ++i)
        hits.items[i].line += win.first;
    return true;
}

// Drops the old table and allocates `lines` lines of `entries` each (a line's
// runs, its terminator and one spare); false when there is no bitmap for the
// image or no memory.
bool prepare_run_table(const DecoderState &s, HeapArray<std::int16_t> &table, std::size_t entries, int lines) {
    table.reset();
    if (!bitmap_covers_image(s))
        return false;
    if (!table.allocate(entries * lines)) {
        log_malloc_failed(s);
        return false;
    }
    return true;
}

} // namespace

int label_eye_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, bool all_pairs) {
    int next = 0;
    if (!all_pairs && eye_sweep_applies(rows) && eye_sweep_applies(cols) &&
        (label_by_candidates(rows, cols, 0, next, eye_hits_cross, eye_partner_range) ||
         label_by_sweep(rows, cols, 0, next, eye_partner_range)))
        return next;
    return label_all_pairs(rows, cols, 0, eye_hits_cross);
}

int label_alignment_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, bool all_pairs) {
    int next = 1;
    if (!all_pairs && (label_by_candidates(rows, cols, 1, next, alignment_hits_cross, alignment_partner_range) ||
                       label_by_sweep(rows, cols, 1, next, alignment_partner_range)))
        return next;
    return label_all_pairs(rows, cols, 1, alignment_hits_cross);
}

int build_row_runs(DecoderState &s) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(w) + 2;
    if (!prepare_run_table(s, s.row_runs, entries, h))
        return 0;
    for (int y = 0; y < h; ++y)
        encode_row(s.work_bitmap.get() + static_cast<std::size_t>(y) * w, w,
                   s.row_runs.get() + y * entries);
    return -1;
}

int build_col_runs(DecoderState &s) {
    const int w = s.image_width;
    const int h = s.image_height;
    const std::size_t entries = static_cast<std::size_t>(h) + 2;
    if (!prepare_run_table(s, s.col_runs, entries, w))
        return 0;
    encode_columns(s, 0, w, s.col_runs.get(), 0);
    return -1;
}

int scan_runs(const DecoderState &s, const std::int16_t *runs, int line_length, int lines, MemChunk<RunHit> &hits) {
    if (!runs || line_length <= 0 || lines <= 0)
        return runs ? -1 : 0;
    const std::size_t entries = static_cast<std::size_t>(line_length) + 2;
    for (int line = 0; line < lines; ++line) {
        const std::int16_t *r = runs + static_cast<std::size_t>(line) * entries;
        // The line's runs end at the first negative entry or with its entries.
        std::size_t n = 0;
        while (n < entries && r[n] >= 0)
            ++n;
        if (n < 5)
            continue;
        // The window always starts on a dark run and moves two runs at a
        // time; its sum is carried along instead of recounted.
        int total = r[0] + r[1] + r[2] + r[3] + r[4];
        int pos = 0;
        for (std::size_t k = 0;; k += 2) {
            if (window_matches(r + k, total) &&
                !memchunk_append(hits, RunHit{line, pos, total, -1})) {
                log_malloc_failed(s);
                return 0;
            }
            pos += r[k] + r[k + 1];
            if (k + 6 >= n) // run k + 5 or k + 6 missing
                break;
            total += r[k + 5] + r[k + 6] - r[k] - r[k + 1];
        }
    }
    return -1;
}

void cross_hits(DecoderState &s) {
    const int labels = label_eye_hits(s.row_hits, s.col_hits);
    trace(s, "cross %d \n", labels);

    memchunk_clear(s.eyes);
    s.eye_count = 0;
    for (int label = 0; label < labels; ++label) {
        const EyePattern empty{0.0f, 0.0f, 0.0f, 0.0f, 0, 0, label, 0,
                               s.image_height, 0, s.image_width, 0, 0.0f};
        if (!memchunk_append(s.eyes, empty)) {
            log_malloc_failed(s);
            memchunk_clear(s.eyes);
            return;
        }
    }
    for (int i = 0; i < s.row_hits.count; ++i) {
        const RunHit &h = s.row_hits.items[i];
        if (h.label < 0 || h.label >= labels)
            continue;
        EyePattern &eye = s.eyes.items[h.label];
        eye.x += static_cast<float>(h.start + h.length * 0.5);
        eye.h_hits += 1;
        eye.width += static_cast<float>(h.length);
        eye.min_x = std::min(eye.min_x, h.start);
        eye.max_x = std::max(eye.max_x, h.start + h.length);
    }
    for (int i = 0; i < s.col_hits.count; ++i) {
        const RunHit &h = s.col_hits.items[i];
        if (h.label < 0 || h.label >= labels)
            continue;
        EyePattern &eye = s.eyes.items[h.label];
        eye.y += static_cast<float>(h.start + h.length * 0.5);
        eye.v_hits += 1;
        eye.height += static_cast<float>(h.length);
        eye.min_y = std::min(eye.min_y, h.start);
        eye.max_y = std::max(eye.max_y, h.start + h.length);
    }
    // Labels merged away left empty records; they go, the rest keep their id.
    s.eye_count = labels;
    drop_marked_eyes(s);
    for (int i = 0; i < s.eye_count; ++i) {
        EyePattern &eye = s.eyes.items[i];
        eye.width = static_cast<float>(static_cast<double>(eye.width) / eye.h_hits);
        eye.x = static_cast<float>(static_cast<double>(eye.x) / eye.h_hits);
        eye.height = static_cast<float>(static_cast<double>(eye.height) / eye.v_hits);
        eye.y = static_cast<float>(static_cast<double>(eye.y) / eye.v_hits);
    }
}

namespace {

// --- Refinement ----------------------------------------------------------------
//
// From the seed span, the walk takes one span per row: the first dark pixel
// of the previous span (its last column excepted) extended left, and the
// last dark pixel at or left of the previous span's right end extended
// right. Both ends are therefore ends of dark runs, and a span holds whole
// dark runs.
//
// The plain walk reads the pixels of every span. A walk through a large dark
// region (noise, or look-alikes joined by dark areas) is as wide as the image
// and as long as it is high, and every candidate seeded in that region walks
// it again. The sweep follows all walks of one direction together, row by
// row: it lists each row's dark runs once, maps the runs of the row before
// onto them once, and then moves every walk on in constant time, taking the
// counts from the runs' running totals. The records come out the same.

struct Reach {
    int row;
    int left;
    int right;
};

// Dark pixels of rows and their coordinate sums.
struct RowSums {
    std::int64_t count = 0;
    std::int64_t sum_y = 0;
    std::int64_t sum_x = 0;
};

// What the rows after the seed add to a refinement, and where they end.
struct WalkRest {
    RowSums sums;
    Reach last{};
};

RowSums count_row_pixels(const DecoderState &s, int y, int left, int right) {
    RowSums sums;
    for (int x = left; x <= right; ++x) {
        if (is_dark(s, x, y)) {
            ++sums.count;
            sums.sum_y += y;
            sums.sum_x += x;
        }
    }
    return sums;
}

// The span of the row after `from` (step -1 up, +1 down) read pixel by pixel,
// or nothing when the walk stops there.
std::optional<Reach> next_span_pixels(const DecoderState &s, const Reach &from, int step) {
    const int y = from.row + step;
    if (y < 0 || y >= s.image_height)
        return std::nullopt;
    // The previous span's last column is not searched.
    int found = -1;
    for (int x = from.left; x < from.right; ++x) {
        if (is_dark(s, x, y)) {
            found = x;
            break;
        }
    }
    if (found < 0)
        return std::nullopt;
    int left = found;
    while (left > 0 && is_dark(s, left - 1, y))
        --left;
    int right = from.right;
    while (right > left && !is_dark(s, right, y))
        --right;
    while (right + 1 < s.image_width && is_dark(s, right + 1, y))
        ++right;
    return Reach{y, left, right};
}

WalkRest walk_pixels(const DecoderState &s, const Reach &seed, int step) {
    WalkRest rest{{}, seed};
    for (std::optional<Reach> next = next_span_pixels(s, seed, step); next;
         next = next_span_pixels(s, *next, step)) {
        const RowSums row = count_row_pixels(s, next->row, next->left, next->right);
        rest.sums.count += row.count;
        rest.sums.sum_y += row.sum_y;
        rest.sums.sum_x += row.sum_x;
        rest.last = *next;
    }
    return rest;
}

// The seed pixel of a record, or nothing when the record is to be dropped.
std::optional<std::pair<int, int>> seed_pixel(const DecoderState &s, const EyePattern &eye) {
    const double seed_y = std::ceil(static_cast<double>(eye.y));
    const double seed_x = std::ceil(static_cast<double>(eye.x));
    if (!(seed_y >= 0 && seed_y < s.image_height && seed_x >= 0 && seed_x < s.image_width))
        return std::nullopt;
    const int r = static_cast<int>(seed_y);
    const int c = static_cast<int>(seed_x);
    if (!is_dark(s, c, r))
        return std::nullopt;
    return std::pair{r, c};
}

// The record from its seed row, and what the walks up and down added.
void set_refined(EyePattern &eye, const RowSums &seed_row, const WalkRest &up, const WalkRest &down) {
    const Reach top = up.last;
    const Reach bottom = down.last;
    const std::int64_t count = seed_row.count + up.sums.count + down.sums.count;
    const std::int64_t sum_y = seed_row.sum_y + up.sums.sum_y + down.sums.sum_y;
    const std::int64_t sum_x = seed_row.sum_x + up.sums.sum_x + down.sums.sum_x;

    eye.y = static_cast<float>(static_cast<double>(sum_y / count) + 0.5);
    eye.x = static_cast<float>(static_cast<double>(sum_x / count) + 0.5);

    auto squared = [](double v) { return v * v; };
    const double rows = squared(std::abs(top.row - bottom.row) + 1);
    const double d1 = squared(std::abs(top.right - bottom.left) + 1) + rows;
    const double d2 = squared(std::abs(top.left - bottom.right) + 1) + rows;
    eye.size = static_cast<float>(std::sqrt(std::max(d1, d2)) * size_factor);
}

void drop_eye(EyePattern &eye) {
    eye.h_hits = 0;
    eye.v_hits = 0;
}

// One record, pixel by pixel.
void refine_plain(const DecoderState &s, EyePattern &eye) {
    if (!bitmap_covers_image(s))
        return drop_eye(eye);
    const auto seed = seed_pixel(s, eye);
    if (!seed)
        return drop_eye(eye);
    const auto [r, c] = *seed;
    int seed_left = c;
    while (seed_left > 0 && is_dark(s, seed_left - 1, r))
        --seed_left;
    int seed_right = c;
    while (seed_right + 1 < s.image_width && is_dark(s, seed_right + 1, r))
        ++seed_right;
    const Reach start{r, seed_left, seed_right};
    set_refined(eye, count_row_pixels(s, r, seed_left, seed_right), walk_pixels(s, start, -1),
                walk_pixels(s, start, +1));
}

// The dark runs of one row, in order, with the dark pixels and the sum of
// their columns before each run (one more entry at the end).
struct DarkRuns {
    int row = -1;
    std::vector<int> start;
    std::vector<int> end;
    std::vector<std::int64_t> count;
    std::vector<std::int64_t> sum_x;

    void make(const DecoderState &s, int y) {
        row = y;
        start.clear();
        end.clear();
        count.assign(1, 0);
        sum_x.assign(1, 0);
        const int w = s.image_width;
        const std::uint8_t *pixels = s.work_bitmap.get() + static_cast<std::size_t>(y) * w;
        // The first pixel at or after x that is dark (or light), eight
        // pixels at a time.
        auto next = [&](int x, bool want_dark) {
            for (; x + 8 <= w; x += 8) {
                const std::uint64_t other = dark_bytes(pixels + x, 0) ^ (want_dark ? 0 : all_dark_bytes);
                if (other != 0)
                    return x + std::countr_zero(other) / 8;
            }
            while (x < w && (pixels[x] == dark) != want_dark)
                ++x;
            return x;
        };
        for (int x = next(0, true); x < w; x = next(x, true)) {
            const int first = x;
            x = next(x, false);
            const std::int64_t n = x - first;
            start.push_back(first);
            end.push_back(x - 1);
            count.push_back(count.back() + n);
            sum_x.push_back(sum_x.back() + (std::int64_t{first} + x - 1) * n / 2);
        }
    }
    int runs() const { return static_cast<int>(start.size()); }
    // Dark pixels of runs a..b and their sums.
    RowSums sums(int a, int b) const {
        const std::int64_t n = count[b + 1] - count[a];
        return {n, n * row, sum_x[b + 1] - sum_x[a]};
    }
    // The run that holds the dark pixel x.
    int run_at(int x) const {
        return static_cast<int>(std::upper_bound(start.begin(), start.end(), x) - start.begin()) - 1;
    }
};

// One walk of the sweep: its span as run indices of the row it last reached,
// what it added since it started, and the records that follow it. Walks
// that reach the same span in the same row go on alike, so they are merged
// into one; each record keeps what its walk had added before the merge as an
// offset against the merged walk's sums.
struct SweepWalk {
    int left;
    int right;
    RowSums sums;
    int head;    // first record following the walk
    int tail;    // last record
    int members; // records following the walk
};

struct Seed {
    int eye;
    int row;
    int col;
};

RowSums operator+(const RowSums &a, const RowSums &b) {
    return {a.count + b.count, a.sum_y + b.sum_y, a.sum_x + b.sum_x};
}
RowSums operator-(const RowSums &a, const RowSums &b) {
    return {a.count - b.count, a.sum_y - b.sum_y, a.sum_x - b.sum_x};
}

// Follows the walks of all seeds in one direction, row by row; `seeds` are
// in sweep order (descending rows going up, ascending going down). Fills
// rests[eye] and, going up, seed_rows[eye].
void sweep_walks(const DecoderState &s, const std::vector<Seed> &seeds, int step, std::vector<WalkRest> &rests,
                 std::vector<RowSums> *seed_rows) {
    const int h = s.image_height;
    DarkRuns before, here;
    // Ordered by left end: the next left end only grows with the one before.
    std::vector<SweepWalk> active;
    std::vector<int> next_member(rests.size(), -1);
    std::vector<RowSums> offset(rests.size());
    std::vector<int> first_reaching; // per run before: first run here ending at or right of its start
    std::vector<int> last_starting;  // per run before: last run here starting at or left of its end
    auto finish = [&](const SweepWalk &w, const DarkRuns &runs) {
        const Reach last{runs.row, runs.start[w.left], runs.end[w.right]};
        for (int m = w.head; m >= 0; m = next_member[m])
            rests[static_cast<std::size_t>(m)] = {offset[m] + w.sums, last};
    };
    // Folds walk b into walk a (same span): the smaller list moves.
    auto merge = [&](SweepWalk &a, SweepWalk &b) {
        if (a.members < b.members)
            std::swap(a, b);
        const RowSums shift = b.sums - a.sums;
        for (int m = b.head; m >= 0; m = next_member[m])
            offset[m] = offset[m] + shift;
        next_member[a.tail] = b.head;
        a.tail = b.tail;
        a.members += b.members;
    };
    std::size_t next_seed = 0;
    int y = seeds.empty() ? 0 : seeds[0].row;
    while (next_seed < seeds.size() || !active.empty()) {
        if (active.empty())
            y = seeds[next_seed].row; // no walk in between: go straight to the next seed
        here.make(s, y);
        if (!active.empty()) {
            // Map the runs of the row before onto this row's: in one pass over
            // both rows, or run by run when few walks need it.
            const int nb = before.runs(), nh = here.runs();
            const bool whole_rows = active.size() * 16 >= static_cast<std::size_t>(nb);
            if (whole_rows) {
                first_reaching.assign(static_cast<std::size_t>(nb), -1);
                last_starting.assign(static_cast<std::size_t>(nb), -1);
                for (int i = 0, p = 0; i < nb; ++i) {
                    while (p < nh && here.end[p] < before.start[i])
                        ++p;
                    first_reaching[i] = p < nh ? p : -1;
                }
                for (int j = 0, q = 0; j < nb; ++j) {
                    while (q < nh && here.start[q] <= before.end[j])
                        ++q;
                    last_starting[j] = q - 1;
                }
            }
            auto reaching = [&](int i) {
                if (whole_rows)
                    return first_reaching[i];
                const auto p = std::lower_bound(here.end.begin(), here.end.end(), before.start[i]) - here.end.begin();
                return p < nh ? static_cast<int>(p) : -1;
            };
            auto starting = [&](int j) {
                if (whole_rows)
                    return last_starting[j];
                return static_cast<int>(std::upper_bound(here.start.begin(), here.start.end(), before.end[j]) -
                                        here.start.begin()) -
                       1;
            };
            std::size_t kept = 0;
            for (SweepWalk &w : active) {
                const int i = reaching(w.left);
                // The first dark pixel of the span, its last column excepted.
                if (i < 0 || std::max(here.start[i], before.start[w.left]) >= before.end[w.right]) {
                    finish(w, before);
                    continue;
                }
                const int j = starting(w.right);
                w.sums = w.sums + here.sums(i, j);
                w.left = i;
                w.right = j;
                active[kept++] = w;
            }
            active.resize(kept);
        }
        const std::size_t walked = active.size();
        for (; next_seed < seeds.size() && seeds[next_seed].row == y; ++next_seed) {
            const Seed &seed = seeds[next_seed];
            const int k = here.run_at(seed.col);
            if (seed_rows)
                (*seed_rows)[static_cast<std::size_t>(seed.eye)] = here.sums(k, k);
            active.push_back({k, k, {}, seed.eye, seed.eye, 1});
        }
        if (active.size() > walked) {
            auto by_left = [](const SweepWalk &a, const SweepWalk &b) { return a.left < b.left; };
            std::stable_sort(active.begin() + static_cast<std::ptrdiff_t>(walked), active.end(), by_left);
            std::inplace_merge(active.begin(), active.begin() + static_cast<std::ptrdiff_t>(walked),
                               active.end(), by_left);
        }
        // Merge the walks that share a span: among those with one left end,
        // ordered by right end, neighbours.
        std::size_t out = 0;
        for (std::size_t g = 0; g < active.size();) {
            std::size_t e = g + 1;
            while (e < active.size() && active[e].left == active[g].left)
                ++e;
            if (e - g > 1)
                std::sort(active.begin() + static_cast<std::ptrdiff_t>(g),
                          active.begin() + static_cast<std::ptrdiff_t>(e),
                          [](const SweepWalk &a, const SweepWalk &b) { return a.right < b.right; });
            for (std::size_t k = g; k < e; ++k) {
                if (k > g && active[out - 1].right == active[k].right)
                    merge(active[out - 1], active[k]);
                else
                    active[out++] = active[k];
            }
            g = e;
        }
        active.resize(out);
        y += step;
        if (y < 0 || y >= h) {
            for (const SweepWalk &w : active)
                finish(w, here);
            active.clear();
        }
        std::swap(before, here);
    }
}

// All records through the sweep; false (records untouched) when memory ran
// out.
bool refine_swept(DecoderState &s) {
    try {
        const int n = s.eye_count;
        std::vector<Seed> seeds;
        std::vector<char> keep(static_cast<std::size_t>(n), 0);
        if (bitmap_covers_image(s)) {
            for (int i = 0; i < n; ++i) {
                if (const auto seed = seed_pixel(s, s.eyes.items[i])) {
                    seeds.push_back({i, seed->first, seed->second});
                    keep[static_cast<std::size_t>(i)] = 1;
                }
            }
        }
        std::vector<RowSums> seed_rows(static_cast<std::size_t>(n));
        std::vector<WalkRest> up(static_cast<std::size_t>(n)), down(static_cast<std::size_t>(n));
        std::stable_sort(seeds.begin(), seeds.end(), [](const Seed &a, const Seed &b) { return a.row > b.row; });
        sweep_walks(s, seeds, -1, up, &seed_rows);
        std::reverse(seeds.begin(), seeds.end());
        sweep_walks(s, seeds, +1, down, nullptr);
        for (int i = 0; i < n; ++i) {
            EyePattern &eye = s.eyes.items[i];
            const auto k = static_cast<std::size_t>(i);
            if (keep[k])
                set_refined(eye, seed_rows[k], up[k], down[k]);
            else
                drop_eye(eye);
        }
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace

void refine_eye(const DecoderState &s, EyePattern &eye) { refine_plain(s, eye); }

void refine_eyes(DecoderState &s, bool plain_walk) {
    // Out of memory for the sweep: the same walks pixel by pixel.
    if (plain_walk || !refine_swept(s))
        for (int i = 0; i < s.eye_count; ++i)
            refine_plain(s, s.eyes.items[i]);
    drop_marked_eyes(s);
}

int find_eye_patterns(DecoderState &s) {
    memchunk_init(s.row_hits);
    memchunk_init(s.col_hits);
    memchunk_init(s.eyes);
    s.eye_count = 0;

    // Each full table serves only its scan, so only one is alive at a time;
    // the alignment search encodes the few lines it reads by itself.
    if (!build_row_runs(s) ||
        !scan_runs(s, s.row_runs.get(), s.image_width, s.image_height, s.row_hits))
        return 0;
    s.row_runs.reset();
    if (!build_col_runs(s) ||
        !scan_runs(s, s.col_runs.get(), s.image_height, s.image_width, s.col_hits))
        return 0;
    s.col_runs.reset();

    cross_hits(s);
    refine_eyes(s);

    if (s.eye_count < 3) {
        trace(s, "only %d eye pattern found.\n", s.eye_count);
        return 0;
    }
    if (s.eye_count > 3)
        filter_eyes(s);
    pick_eyes(s);

    if (s.tracing()) {
        for (int i = 0; i < s.eye_count; ++i) {
            for (const int pick : s.eye_pick)
                if (pick == i)
                    trace(s, "*");
            const EyePattern &eye = s.eyes.items[i];
            trace(s, "Cross %d (%f,%f)-(%f,%f) %d\n", eye.id, eye.x, eye.y,
                         eye.width, eye.height, eye.score);
        }
    }
    return orient_eyes(s) ? -1 : 0;
}

void filter_eyes(DecoderState &s) {
    const int n = s.eye_count;
    EyePattern *eyes = s.eyes.items;
    if (!eyes || n <= 0)
        return;

    // Shape: off in both the ratio and the difference of its two widths.
    for (int i = 0; i < n; ++i) {
        EyePattern &eye = eyes[i];
        const double aspect = static_cast<double>(eye.width) / eye.height;
        const bool ratio_off = aspect > aspect_max || aspect < aspect_min;
        if (ratio_off && std::fabs(eye.width - eye.height) > aspect_slack)
            eye.score = -1;
    }

    // Similarity: a real eye pattern has two partners of about its size.
    // A rejection counts at once for the records after it. Only "fewer than
    // two" matters, so the count stops at two.
    auto close = [](float a, float b) {
        const double ratio = static_cast<double>(a) / b;
        return (ratio >= similar_min && ratio <= similar_max) ||
               std::fabs(static_cast<double>(a) - b) <= similar_slack;
    };
    for (int q = 0; q < n; ++q) {
        if (eyes[q].score < 0)
            continue;
        int similar = 0;
        for (int r = 0; r < n && similar < 2; ++r) {
            if (r == q || eyes[r].score < 0)
                continue;
            if (close(eyes[q].width, eyes[r].width) && close(eyes[q].height, eyes[r].height))
                ++similar;
        }
        if (similar < 2)
            eyes[q].score = -1;
    }

    score_eyes(s);
}

void pick_eyes(DecoderState &s) {
    for (int &pick : s.eye_pick)
        pick = -1;
    for (int slot = 0; slot < 3; ++slot) {
        int best = -1;
        int best_score = -1;
        for (int i = 0; i < s.eye_count; ++i) {
            if (std::find(s.eye_pick, s.eye_pick + slot, i) != s.eye_pick + slot)
                continue;
            if (s.eyes.items[i].score > best_score) {
                best_score = s.eyes.items[i].score;
                best = i;
            }
        }
        s.eye_pick[slot] = best < 0 ? 0 : best;
    }
}

int orient_eyes(DecoderState &s) {
    if (!pick_is_valid(s, 0) || !pick_is_valid(s, 1) || !pick_is_valid(s, 2))
        return 0;
    auto eye = [&s](int slot) -> const EyePattern & { return s.eyes.items[s.eye_pick[slot]]; };

    const double cx = (static_cast<double>(eye(0).x) + eye(1).x + eye(2).x) / 3;
    const double cy = (static_cast<double>(eye(0).y) + eye(1).y + eye(2).y) / 3;
    // The corner pattern is the one nearest the middle of the three.
    int corner = 0;
    double best = far_away;
    for (int slot = 0; slot < 3; ++slot) {
        const double dx = eye(slot).x - cx;
        const double dy = eye(slot).y - cy;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < best) {
            best = d;
            corner = slot;
        }
    }
    if (corner != 0)
        std::swap(s.eye_pick[0], s.eye_pick[corner]);

    const double abx = static_cast<double>(eye(1).x) - eye(0).x;
    const double aby = static_cast<double>(eye(1).y) - eye(0).y;
    const double acx = static_cast<double>(eye(2).x) - eye(0).x;
    const double acy = static_cast<double>(eye(2).y) - eye(0).y;
    // Distance of AB from AC turned a quarter turn either way; the turn that
    // brings them together tells which of B and C lies along the rows.
    const double da = std::sqrt((abx - acy) * (abx - acy) + (aby + acx) * (aby + acx));
    const double db = std::sqrt((abx + acy) * (abx + acy) + (aby - acx) * (aby - acx));
    if (da < db)
        return -1;
    if (db < da) {
        std::swap(s.eye_pick[1], s.eye_pick[2]);
        return -1;
    }
    return 0;
}

void free_eye_patterns(DecoderState &s) {
    memchunk_free(s.row_hits);
    memchunk_free(s.col_hits);
    memchunk_free(s.eyes);
    s.eye_count = 0;
    s.row_runs.reset();
    s.col_runs.reset();
}

int find_alignment(DecoderState &s, AlignmentProbe &probe) {
    memchunk_clear(s.row_hits);
    memchunk_clear(s.col_hits);
    if (!pick_is_valid(s, 0) || !pick_is_valid(s, 1) || !pick_is_valid(s, 2))
        return 0;
    const int w = s.image_width;
    const int h = s.image_height;
    const bool full_tables = table_covers(s.row_runs, w, h) && table_covers(s.col_runs, h, w);
    if (!full_tables && !bitmap_covers_image(s))
        return 0;

    const EyePattern &corner = s.eyes.items[s.eye_pick[0]];
    const EyePattern &along = s.eyes.items[s.eye_pick[1]];
    const EyePattern &down = s.eyes.items[s.eye_pick[2]];
    const Vec2f xu = s.x_unit;
    const Vec2f yu = s.y_unit;
    // The corner pattern's centre is module (3, 3).
    const double dc = static_cast<double>(probe.col) - 3;
    const double dr = static_cast<double>(probe.row) - 3;
    const double px = corner.x + dc * xu.x + dr * yu.x;
    const double py = corner.y + dc * xu.y + dr * yu.y;
    if (!(px >= 0 && py >= 0))
        return 0;
    // Pixel extent of one module step, horizontally and vertically.
    const double hx = std::fabs(static_cast<double>(xu.x)) + std::fabs(static_cast<double>(yu.x));
    const double hy = std::fabs(static_cast<double>(xu.y)) + std::fabs(static_cast<double>(yu.y));

    // Rows: three modules high, five wide, around the predicted centre.
    AlignmentWindow rows;
    if (!alignment_window(py, hy, px, hx, h, w, rows))
        return 0;
    const double row_unit = (static_cast<double>(corner.width) + along.width + down.width) / 21;
    if (!scan_window(s, true, full_tables, rows, row_unit, s.row_hits))
        return 0;

    AlignmentWindow cols;
    if (!alignment_window(px, hx, py, hy, w, h, cols))
        return 0;
    const double col_unit = (static_cast<double>(corner.height) + along.height + down.height) / 21;
    if (!scan_window(s, false, full_tables, cols, col_unit, s.col_hits))
        return 0;

    label_alignment_hits(s.row_hits, s.col_hits);

    // Only the group of the first crossing found counts.
    double sum_x = 0;
    int n_x = 0;
    for (int i = 0; i < s.row_hits.count; ++i) {
        const RunHit &hit = s.row_hits.items[i];
        if (hit.label == 1) {
            sum_x += hit.start + hit.length * 0.5;
            ++n_x;
        }
    }
    double sum_y = 0;
    int n_y = 0;
    for (int i = 0; i < s.col_hits.count; ++i) {
        const RunHit &hit = s.col_hits.items[i];
        if (hit.label == 1) {
            sum_y += hit.start + hit.length * 0.5;
            ++n_y;
        }
    }
    if (n_x == 0 || n_y == 0)
        return 0;
    probe.x = static_cast<float>(sum_x / n_x);
    probe.y = static_cast<float>(sum_y / n_y);
    return -1;
}

int scan_alignment_runs(const DecoderState &s, int first_line, const std::int16_t *runs, int line_length,
                        MemChunk<RunHit> &hits, int start, int lines, int span, double unit) {
    if (!runs || line_length <= 0 || first_line < 0 || lines <= 0 || lines > INT32_MAX - first_line)
        return 0;
    // Accepted run lengths, about one module: floor(unit / 2) .. ceil(unit * 3 / 2).
    const double lo = std::floor(unit * 0.5);
    const double hi = std::ceil(unit * 1.5);
    auto fits = [&](int run) { return run >= 0 && run >= lo && run <= hi; };
    const std::int64_t end = static_cast<std::int64_t>(start) + span;
    bool found = false;
    for (int line = first_line; line < first_line + lines; ++line) {
        const RunLine r(runs, line_length, line);
        // The first run that begins at or after the start position.
        std::size_t i = 0;
        std::int64_t pos = 0;
        while (r[i] >= 0 && pos < start)
            pos += r[i++];
        if (r[i] < 0)
            continue;
        if (i % 2 == 0) // dark: begin on the light run after it
            pos += r[i++];
        // Light, dark, light, each about one module: the centre of an
        // alignment pattern and the light ring on both sides of it.
        while (pos < end) {
            const int a = r[i];
            const int b = r[i + 1];
            if (a < 0 || b < 0 || pos + a + b > end)
                break;
            const int c = r[i + 2];
            if (fits(a) && fits(b) && fits(c)) {
                if (!memchunk_append(hits, RunHit{line, static_cast<int>(pos + a), b, -1})) {
                    log_malloc_failed(s);
                    return 0;
                }
                found = true;
            }
            pos += a + b;
            if (c < 0 || r[i + 3] < 0)
                break;
            i += 2;
        }
    }
    return found ? -1 : 0;
}

} // namespace vantor
