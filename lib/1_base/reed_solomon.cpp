// Reed-Solomon block correction by direct solution of the error locator
// equations (Peterson-Gorenstein-Zierler): from the largest allowed number of
// errors downwards, solve for the locator, find its roots by trying every
// position, solve for the error values, and keep the correction only when
// the corrected block is a codeword.
#include "reed_solomon.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "heap_array.h"
#include "trace.h"

namespace vantor {
namespace {

// Powers alpha^0..alpha^254 of GF(256) over x^8 + x^4 + x^3 + x^2 + 1, alpha = 2.
constexpr std::array<std::uint8_t, 255> gf_exp = [] {
    std::array<std::uint8_t, 255> exp{};
    unsigned v = 1;
    for (std::size_t i = 0; i < 255; ++i) {
        exp[i] = static_cast<std::uint8_t>(v);
        v <<= 1;
        if (v & 0x100)
            v ^= 0x11D;
    }
    return exp;
}();

// Logarithm of every non-zero element; entry 0 is never used as one.
constexpr std::array<std::int16_t, 256> gf_log = [] {
    std::array<std::int16_t, 256> log{};
    log[0] = -1;
    for (std::size_t i = 0; i < 255; ++i)
        log[gf_exp[i]] = static_cast<std::int16_t>(i);
    return log;
}();

std::uint8_t alpha_pow(long exponent) {
    long e = exponent % 255;
    if (e < 0)
        e += 255;
    return gf_exp[static_cast<std::size_t>(e)];
}

std::uint8_t gf_mul(std::uint8_t a, std::uint8_t b) {
    if (a == 0 || b == 0)
        return 0;
    return gf_exp[static_cast<std::size_t>((gf_log[a] + gf_log[b]) % 255)];
}

std::uint8_t gf_div(std::uint8_t a, std::uint8_t b) {
    if (a == 0)
        return 0;
    return gf_exp[static_cast<std::size_t>((gf_log[a] + 255 - gf_log[b]) % 255)];
}

// The block polynomial at alpha^0 .. alpha^(count - 1), count at most 255
// (byte j is the coefficient of x^(n-1-j)). Each non-zero codeword adds its
// term to every syndrome, so the sums are independent of one another and
// the table lookups need not wait for each other as Horner's rule would.
void syndromes(const std::uint8_t *block, int n, int count, std::uint8_t *out) {
    std::fill(out, out + count, 0);
    for (int j = 0; j < n; ++j) {
        if (block[j] == 0)
            continue;
        const int step = (n - 1 - j) % 255;
        int e = gf_log[block[j]];
        for (int i = 0; i < count; ++i) {
            out[i] ^= gf_exp[static_cast<std::size_t>(e)];
            e += step;
            if (e >= 255)
                e -= 255;
        }
    }
}

} // namespace

bool rs_syndromes_zero(const std::uint8_t *block, int n, int count) {
    if (count <= 0 || n <= 0)
        return true;
    if (!block)
        return false;
    // alpha^255 = 1: the syndromes repeat after 255.
    std::array<std::uint8_t, 255> syn;
    const int distinct = std::min(count, 255);
    syndromes(block, n, distinct, syn.data());
    return std::all_of(syn.begin(), syn.begin() + distinct, [](std::uint8_t s) { return s == 0; });
}

bool gf_solve(std::uint8_t **rows, int m) {
    if (!rows || m <= 0)
        return false;
    for (int i = 0; i < m; ++i) {
        if (rows[i][i] == 0) {
            int j = i + 1;
            while (j < m && rows[j][i] == 0)
                ++j;
            if (j == m)
                return false;
            std::swap(rows[i], rows[j]);
        }
        const std::uint8_t pivot = rows[i][i];
        for (int j = i; j <= m; ++j)
            rows[i][j] = gf_div(rows[i][j], pivot);
        for (int k = i + 1; k < m; ++k) {
            const std::uint8_t f = rows[k][i];
            if (f == 0)
                continue;
            for (int j = i; j <= m; ++j)
                rows[k][j] ^= gf_mul(f, rows[i][j]);
        }
    }
    for (int j = m - 1; j >= 1; --j)
        for (int k = 0; k < j; ++k)
            if (rows[k][j] != 0)
                rows[k][m] ^= gf_mul(rows[k][j], rows[j][m]);
    return true;
}

int rs_correct_checked(std::uint8_t *block, int n, int check, int t) {
    const int changed = rs_correct_block(block, n, t).errors;
    return rs_syndromes_zero(block, n, check) ? changed : -1;
}

BlockCorrection rs_correct_block(std::uint8_t *block, int n, int t, const TraceSink *sink) {
    BlockCorrection out;
    if (!block || n <= 0 || t <= 0)
        return out;
    const std::size_t tt = static_cast<std::size_t>(t);

    HeapArray<std::uint8_t> syn;
    if (!syn.allocate(2 * tt))
        return out;
    // alpha^255 = 1: the syndromes repeat after 255.
    for (int i = 0; i < 2 * t; i += 255)
        syndromes(block, n, std::min(2 * t - i, 255), syn.get() + i);
    if (std::all_of(syn.get(), syn.get() + 2 * tt, [](std::uint8_t s) { return s == 0; }))
        return out;

    HeapArray<std::uint8_t> matrix;
    HeapArray<std::uint8_t *> rows;
    if (!matrix.allocate(tt * (tt + 1)) || !rows.allocate(tt))
        return out;
    out.attempted = true;

    // Per attempt: the locator coefficients, the positions found, and a copy
    // of the block on which the correction is tried before it is kept.
    HeapArray<std::uint8_t> locator;
    HeapArray<int> positions;
    HeapArray<std::uint8_t> trial;
    if (!locator.allocate(tt) || !positions.allocate(tt) ||
        !trial.allocate(static_cast<std::size_t>(n)))
        return out;

    for (int nu = t; nu >= 1; --nu) {
        const std::size_t width = static_cast<std::size_t>(nu) + 1;
        for (int k = 0; k < nu; ++k) {
            std::uint8_t *row = matrix.get() + static_cast<std::size_t>(k) * width;
            for (int c = 0; c <= nu; ++c)
                row[c] = syn[static_cast<std::size_t>(k + c)];
            rows[static_cast<std::size_t>(k)] = row;
        }
        if (!gf_solve(rows.get(), nu))
            continue;
        for (int m = 0; m < nu; ++m)
            locator[static_cast<std::size_t>(m)] = rows[static_cast<std::size_t>(m)][nu];

        // Lambda(alpha^-p) = 1 + sum x_m alpha^((nu - m)(255 - p)).
        int found = 0;
        for (int p = 0; p < n; ++p) {
            std::uint8_t value = 1;
            const long inverse = 255 - p % 255;
            for (int m = 0; m < nu; ++m) {
                const std::uint8_t x = locator[static_cast<std::size_t>(m)];
                if (x)
                    value ^= gf_mul(x, alpha_pow(static_cast<long>(nu - m) * inverse));
            }
            if (value != 0)
                continue;
            if (found == nu)
                return out; // more roots than errors: the block is given up
            positions[static_cast<std::size_t>(found++)] = p;
        }
        if (found < nu)
            continue;

        for (int m = 0; m < nu; ++m) {
            std::uint8_t *row = matrix.get() + static_cast<std::size_t>(m) * width;
            for (int d = 0; d < nu; ++d)
                row[d] = alpha_pow(static_cast<long>(positions[static_cast<std::size_t>(d)]) * m);
            row[nu] = syn[static_cast<std::size_t>(m)];
            rows[static_cast<std::size_t>(m)] = row;
        }
        if (!gf_solve(rows.get(), nu))
            continue;

        // A locator with all its roots inside the block is found for many
        // error patterns beyond the capacity; only a result that is a
        // codeword is taken as a correction.
        std::copy(block, block + n, trial.get());
        for (int d = 0; d < nu; ++d)
            trial[static_cast<std::size_t>(n - 1 - positions[static_cast<std::size_t>(d)])] ^=
                rows[static_cast<std::size_t>(d)][nu];
        if (!rs_syndromes_zero(trial.get(), n, 2 * t))
            continue;

        std::copy(trial.get(), trial.get() + n, block);
        if (sink && sink->tracing()) {
            for (int d = 0; d < nu; ++d)
                trace(*sink, "error at %d val %d\n",
                             positions[static_cast<std::size_t>(d)],
                             rows[static_cast<std::size_t>(d)][nu]);
            trace(*sink, "total %d errors\n", nu);
        }
        out.corrected = true;
        out.errors = nu;
        return out;
    }
    return out;
}

} // namespace vantor
