// Refinement of the eye pattern candidates: each candidate's centre becomes
// the centroid of the dark region its centre pixel lies in, and its size the
// region's extent.
//
// From the seed span, the walk takes one span per row: the first dark pixel
// of the previous span (its last column excepted) extended left, and the
// last dark pixel at or left of the previous span's right end extended
// right. Both ends are therefore ends of dark runs, and a span holds whole
// dark runs.
//
// Reading the pixels of every span (the tests keep that plain walk as their
// reference) is slow where it matters: a walk through a large dark
// region (noise, or look-alikes joined by dark areas) is as wide as the image
// and as long as it is high, and every candidate seeded in that region walks
// it again. The sweep follows all walks of one direction together, row by
// row, on the bitmap packed a bit a pixel: a walk's new ends are found by
// scanning words for the first and last dark pixel of its span, and its
// counts come from the row's running totals per word, so a row costs its
// words and its walks, however many runs it holds. Walks that reach the same
// span merge. The records come out the same.
#include "refine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "bitmap.h"
#include "runs.h"

namespace vantor {
namespace {

// Full pattern width (7 modules) from the diagonal of its 3-module centre
// block: 7 / (3 * sqrt 2).
constexpr double size_factor = 1.6499158255372215;

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

// The seed pixel of a record, or nothing when the record is to be dropped.
std::optional<std::pair<int, int>> seed_pixel(const PassBuffers &s, const EyePattern &eye) {
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

// The work bitmap packed a bit a pixel (set: exactly dark), so that the
// walks find the ends of runs sixty-four pixels at a time whatever their
// lengths. Bits past the last column are clear.
struct DarkBits {
    int width = 0;
    std::size_t words_per_row = 0;
    std::vector<std::uint64_t> words;

    explicit DarkBits(const PassBuffers &s)
        : width(s.image_width), words_per_row((static_cast<std::size_t>(s.image_width) + 63) / 64),
          words(words_per_row * static_cast<std::size_t>(s.image_height), 0) {
        const std::size_t w = static_cast<std::size_t>(width);
        for (int y = 0; y < s.image_height; ++y) {
            const std::uint8_t *pixels = s.work_bitmap.get() + static_cast<std::size_t>(y) * w;
            std::uint64_t *out = words.data() + static_cast<std::size_t>(y) * words_per_row;
            std::size_t x = 0;
            for (; x + 64 <= w; x += 64)
                out[x / 64] = dark_mask64(pixels + x);
            for (; x < w; ++x)
                out[x / 64] |= static_cast<std::uint64_t>(pixels[x] == dark) << (x % 64);
        }
    }
    const std::uint64_t *row(int y) const { return words.data() + static_cast<std::size_t>(y) * words_per_row; }
    static bool dark_at(const std::uint64_t *row, int x) { return (row[x / 64] >> (x % 64)) & 1; }
    // The first pixel at or after x and before `limit` that is dark (or
    // light); `limit` when there is none.
    static int next(const std::uint64_t *row, int x, bool want_dark, int limit) {
        if (x >= limit)
            return limit;
        const std::uint64_t flip = want_dark ? 0 : ~std::uint64_t{0};
        int i = x / 64;
        std::uint64_t word = (row[i] ^ flip) & (~std::uint64_t{0} << (x % 64));
        while (word == 0) {
            if (++i * 64 >= limit)
                return limit;
            word = row[i] ^ flip;
        }
        return std::min(i * 64 + std::countr_zero(word), limit);
    }
    // The first pixel of the dark run that holds the dark pixel x.
    static int run_begin(const std::uint64_t *row, int x) {
        int i = x / 64;
        std::uint64_t light = ~row[i] & ((std::uint64_t{1} << (x % 64)) - 1); // light pixels before x
        while (light == 0) {
            if (i == 0)
                return 0;
            light = ~row[--i];
        }
        return i * 64 + 63 - std::countl_zero(light) + 1;
    }
    // The last pixel of the dark run that holds the dark pixel x.
    int run_end(const std::uint64_t *row, int x) const { return next(row, x, false, width) - 1; }
    // The last dark pixel at or before x; -1 when there is none.
    static int last_dark(const std::uint64_t *row, int x) {
        int i = x / 64;
        std::uint64_t word = row[i] & (~std::uint64_t{0} >> (63 - x % 64));
        while (word == 0) {
            if (i == 0)
                return -1;
            word = row[--i];
        }
        return i * 64 + 63 - std::countl_zero(word);
    }
};

// The set bits of word i: how many, and the sum of their columns (each bit
// of the position within the word counted by one masked popcount).
[[gnu::always_inline]] inline std::pair<std::int64_t, std::int64_t> word_totals(std::uint64_t w, int i) {
    constexpr std::uint64_t position_bit[6] = {0xAAAAAAAAAAAAAAAAu, 0xCCCCCCCCCCCCCCCCu, 0xF0F0F0F0F0F0F0F0u,
                                               0xFF00FF00FF00FF00u, 0xFFFF0000FFFF0000u, 0xFFFFFFFF00000000u};
    const std::int64_t n = std::popcount(w);
    std::int64_t sum = std::int64_t{64} * i * n;
    for (int k = 0; k < 6; ++k)
        sum += std::int64_t{std::popcount(w & position_bit[k])} << k;
    return {n, sum};
}

// Running totals of a row's words: count[i] and sum_x[i] cover words 0..i-1.
[[gnu::always_inline]] inline void fill_row_totals(const std::uint64_t *words, std::size_t n, std::int64_t *count,
                                                   std::int64_t *sum_x) {
    count[0] = sum_x[0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto [c, sum] = word_totals(words[i], static_cast<int>(i));
        count[i + 1] = count[i] + c;
        sum_x[i + 1] = sum_x[i] + sum;
    }
}

// The totals of columns a..b of a row from its running totals.
[[gnu::always_inline]] inline std::pair<std::int64_t, std::int64_t>
span_totals(const std::uint64_t *words, const std::int64_t *count, const std::int64_t *sum_x, int a, int b) {
    const int wa = a / 64, wb = b / 64;
    const std::uint64_t from_a = ~std::uint64_t{0} << (a % 64);
    const std::uint64_t to_b = ~std::uint64_t{0} >> (63 - b % 64);
    if (wa == wb)
        return word_totals(words[wa] & from_a & to_b, wa);
    const auto first = word_totals(words[wa] & from_a, wa), last = word_totals(words[wb] & to_b, wb);
    return {first.first + (count[wb] - count[wa + 1]) + last.first,
            first.second + (sum_x[wb] - sum_x[wa + 1]) + last.second};
}

// The two counting functions compiled twice: plain, where a popcount is a
// library call slow enough here to matter, and with the processor's popcount
// instruction, taken when it has one. The choice is made once, in code, not
// by the loader (whose early choice sanitizers cannot follow).
struct Counting {
    void (*fill)(const std::uint64_t *, std::size_t, std::int64_t *, std::int64_t *);
    std::pair<std::int64_t, std::int64_t> (*span)(const std::uint64_t *, const std::int64_t *, const std::int64_t *,
                                                  int, int);
};

void fill_plain(const std::uint64_t *words, std::size_t n, std::int64_t *count, std::int64_t *sum_x) {
    fill_row_totals(words, n, count, sum_x);
}
std::pair<std::int64_t, std::int64_t> span_plain(const std::uint64_t *words, const std::int64_t *count,
                                                 const std::int64_t *sum_x, int a, int b) {
    return span_totals(words, count, sum_x, a, b);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("popcnt"))) void fill_popcnt(const std::uint64_t *words, std::size_t n, std::int64_t *count,
                                                   std::int64_t *sum_x) {
    fill_row_totals(words, n, count, sum_x);
}
__attribute__((target("popcnt"))) std::pair<std::int64_t, std::int64_t>
span_popcnt(const std::uint64_t *words, const std::int64_t *count, const std::int64_t *sum_x, int a, int b) {
    return span_totals(words, count, sum_x, a, b);
}
#endif

const Counting &counting() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const Counting chosen =
        __builtin_cpu_supports("popcnt") ? Counting{fill_popcnt, span_popcnt} : Counting{fill_plain, span_plain};
#else
    static const Counting chosen{fill_plain, span_plain};
#endif
    return chosen;
}

// The dark pixels of one row of DarkBits and the sum of their columns, word
// by word, so that any span's sums take two lookups and its two partial
// words.
class RowTotals {
public:
    void make(const DarkBits &bits, int y) {
        row_ = y;
        words_ = bits.row(y);
        count_.resize(bits.words_per_row + 1);
        sum_x_.resize(bits.words_per_row + 1);
        counting().fill(words_, bits.words_per_row, count_.data(), sum_x_.data());
    }
    int row() const { return row_; }
    // Dark pixels of columns a..b and their sums.
    RowSums sums(int a, int b) const {
        const auto [n, sum] = counting().span(words_, count_.data(), sum_x_.data(), a, b);
        return {n, n * row_, sum};
    }

private:
    int row_ = -1;
    const std::uint64_t *words_ = nullptr;
    std::vector<std::int64_t> count_;
    std::vector<std::int64_t> sum_x_;
};

// One walk of the sweep: its span (first and last column) in the row it last
// reached, what it added since it started, and the records that follow it.
// Walks that reach the same span in the same row go on alike, so they are
// merged into one; each record keeps what its walk had added before the merge
// as an offset against the merged walk's sums.
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
void sweep_walks(const PassBuffers &s, const DarkBits &bits, const std::vector<Seed> &seeds, int step,
                 std::vector<WalkRest> &rests, std::vector<RowSums> *seed_rows) {
    const int h = s.image_height;
    RowTotals before, here;
    // Ordered by left end: the first dark pixel at or after a left end only
    // grows with it, so moving the walks keeps the order.
    std::vector<SweepWalk> active;
    std::vector<int> next_member(rests.size(), -1);
    std::vector<RowSums> offset(rests.size());
    auto finish = [&](const SweepWalk &w, int row) {
        const Reach last{row, w.left, w.right};
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
        here.make(bits, y);
        const std::uint64_t *words = bits.row(y);
        std::size_t kept = 0;
        for (SweepWalk &w : active) {
            // The first dark pixel of the span, its last column excepted.
            const int first = DarkBits::next(words, w.left, true, w.right);
            if (first >= w.right) {
                finish(w, before.row());
                continue;
            }
            w.left = DarkBits::run_begin(words, first);
            w.right = bits.run_end(words, DarkBits::last_dark(words, w.right));
            w.sums = w.sums + here.sums(w.left, w.right);
            if (&active[kept] != &w) // most walks go on: no copy onto itself
                active[kept] = w;
            ++kept;
        }
        active.resize(kept);
        const std::size_t walked = active.size();
        for (; next_seed < seeds.size() && seeds[next_seed].row == y; ++next_seed) {
            const Seed &seed = seeds[next_seed];
            const int left = DarkBits::run_begin(words, seed.col), right = bits.run_end(words, seed.col);
            if (seed_rows)
                (*seed_rows)[static_cast<std::size_t>(seed.eye)] = here.sums(left, right);
            active.push_back({left, right, {}, seed.eye, seed.eye, 1});
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
            auto by_right = [](const SweepWalk &a, const SweepWalk &b) { return a.right < b.right; };
            const auto first = active.begin() + static_cast<std::ptrdiff_t>(g);
            const auto last = active.begin() + static_cast<std::ptrdiff_t>(e);
            if (e - g > 1 && !std::is_sorted(first, last, by_right))
                std::sort(first, last, by_right);
            for (std::size_t k = g; k < e; ++k) {
                if (k > g && active[out - 1].right == active[k].right)
                    merge(active[out - 1], active[k]);
                else if (out++ != k)
                    active[out - 1] = active[k];
            }
            g = e;
        }
        active.resize(out);
        y += step;
        if (y < 0 || y >= h) {
            for (const SweepWalk &w : active)
                finish(w, here.row());
            active.clear();
        }
        std::swap(before, here);
    }
}

// All records through the sweep; false (records untouched) when memory ran
// out.
bool refine_swept(PassBuffers &s) {
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
        if (!seeds.empty()) {
            const DarkBits bits(s);
            sweep_walks(s, bits, seeds, -1, up, &seed_rows);
            std::reverse(seeds.begin(), seeds.end());
            sweep_walks(s, bits, seeds, +1, down, nullptr);
        }
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

void drop_marked_eyes(PassBuffers &s) {
    int kept = 0;
    for (int i = 0; i < s.eye_count; ++i) {
        const EyePattern &eye = s.eyes.items[i];
        if (eye.h_hits > 0 && eye.v_hits > 0)
            s.eyes.items[kept++] = eye;
    }
    s.eye_count = kept;
    s.eyes.count = kept;
}

void refine_eyes(PassBuffers &s, const TraceSink &sink) {
    if (!refine_swept(s)) {
        trace_malloc_failed(sink);
        for (int i = 0; i < s.eye_count; ++i)
            drop_eye(s.eyes.items[i]);
    }
    drop_marked_eyes(s);
}

} // namespace vantor
