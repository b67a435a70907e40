// Grouping of crossing row and column hits: the eye pattern candidates and
// the alignment pattern search both label the hits whose lines cross each
// other, a group per connected set.
#include "hit_groups.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <numeric>
#include <optional>
#include <set>
#include <span>
#include <vector>

namespace vantor {
namespace {

// Where a crossing line may cut a hit, as a fraction of its length.
constexpr double cross_min = 0.2;
constexpr double cross_max = 11.0 / 13;

// --- Pairing row hits with column hits ------------------------------------
//
// A row hit R and a column hit C cross when C's line falls in a window of R
// and R's line in a window of C. Crossing pairs are labelled in list order:
// an unlabelled C takes R's label, or both take a new one; an unlabelled R
// takes C's; two different labels merge into the smaller one everywhere.
//
// Visiting every pair does exactly that (the tests keep that plain form as
// their reference). The sweep below gives the same labels without visiting
// every pair: the final groups are the connected
// components of the crossing graph; a new label is issued at a pair (R, C)
// exactly when C is R's first crossing column and R is C's first crossing
// row; and each group ends with the label issued at its first row hit.

// Inclusive range of partner lines that a hit accepts.
struct LineRange {
    std::int64_t lo;
    std::int64_t hi;
};

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
// all-pairs loop does; with the row hits in order of line too, the first of
// those on each column line only moves on. Merged labels are kept in a disjoint-set forest (each
// merge points the larger label at the smaller) and written back at the
// end, instead of being rewritten in both lists at every merge. The labels
// come out exactly as the all-pairs loop gives them. False (lists untouched)
// when a hit is labelled already, the hits are out of order, or the pairs to
// try are so many that the sweep is the better way.
template <class Crosses, class RangeOf>
bool label_by_candidates(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols, int first_label, int &next_label,
                         Crosses crosses, RangeOf range_of) {
    try {
        const std::span<RunHit> r(rows.items, static_cast<std::size_t>(std::max(rows.count, 0)));
        const std::span<RunHit> c(cols.items, static_cast<std::size_t>(std::max(cols.count, 0)));
        for (std::size_t i = 0; i < r.size(); ++i)
            if (r[i].label != -1 || (i > 0 && r[i].line < r[i - 1].line))
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
        // cursor[x - low]: the first hit on line x that starts late enough for
        // the row hits so far; later row hits need no earlier one.
        std::vector<int> cursor = first_of;
        // Calls f(j) for every column hit j that may cross row hit h, in
        // ascending j (lines widened by one on each side; the crossing test
        // decides).
        auto for_candidates = [&](const RunHit &h, auto f) {
            const LineRange range = range_of(h);
            const std::int64_t from = std::max(range.lo - 1, low), to = std::min(range.hi + 1, high);
            const std::int64_t start_lo = std::int64_t{h.line} - longest - 1, start_hi = std::int64_t{h.line} + 1;
            for (std::int64_t x = from; x <= to; ++x) {
                int &j = cursor[static_cast<std::size_t>(x - low)];
                const int end = first_of[static_cast<std::size_t>(x - low + 1)];
                while (j < end && c[static_cast<std::size_t>(j)].start < start_lo)
                    ++j;
                for (int k = j; k < end && c[static_cast<std::size_t>(k)].start <= start_hi; ++k)
                    if (!f(static_cast<std::size_t>(k)))
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

// The sweep labelling; false (lists untouched) when it cannot run (a hit
// labelled already, or no memory).
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

} // namespace

int label_eye_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols) {
    int next = 0;
    if (!eye_sweep_applies(rows) || !eye_sweep_applies(cols))
        return -1;
    if (label_by_candidates(rows, cols, 0, next, eye_hits_cross, eye_partner_range) ||
        label_by_sweep(rows, cols, 0, next, eye_partner_range))
        return next;
    return -1;
}

int label_alignment_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols) {
    int next = 1;
    if (label_by_candidates(rows, cols, 1, next, alignment_hits_cross, alignment_partner_range) ||
        label_by_sweep(rows, cols, 1, next, alignment_partner_range))
        return next;
    return -1;
}

} // namespace vantor
