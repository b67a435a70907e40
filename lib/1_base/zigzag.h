// The order in which every square and rectangular kind places its codeword
// bits: two-module columns from the right edge leftwards, up and down in
// turn, the right module of a pair before the left. One column may be
// stepped over whole (Model 2's vertical timing pattern, rMQR's right edge).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor {

// No column stepped over.
constexpr int no_skipped_column = -1;

// Visits each module of a width x height matrix in placement order, function
// modules included, until `visit(col, row)` returns false. Returns false
// when the visit stopped the walk, true when it ran through every module.
template <class Visit> bool walk_zigzag(int width, int height, int skipped_column, Visit &&visit) {
    bool upward = true;
    int right = width - 1;
    if (right == skipped_column)
        --right;
    for (; right >= 1; upward = !upward) {
        for (int step = 0; step < height; ++step) {
            const int row = upward ? height - 1 - step : step;
            if (!visit(right, row) || !visit(right - 1, row))
                return false;
        }
        right -= 2;
        if (right == skipped_column)
            --right;
    }
    return true;
}

// The `count` codewords read along the walk from the modules `is_function`
// does not name, each module's bit `bit_at(col, row)`, most significant bit
// first; word `short_word` (-1 for none) holds only its first 4 bits. Empty
// when the walk ends before every word is read.
template <class IsFunction, class BitAt>
std::vector<std::uint8_t> zigzag_codewords(int width, int height, int skipped_column, std::size_t count,
                                           int short_word, IsFunction &&is_function, BitAt &&bit_at) {
    std::vector<std::uint8_t> words(count, 0);
    if (words.empty())
        return words;
    std::size_t word = 0;
    int bit = 0; // bits of `word` filled
    walk_zigzag(width, height, skipped_column, [&](int col, int row) {
        if (is_function(col, row))
            return true;
        words[word] = static_cast<std::uint8_t>(words[word] | (bit_at(col, row) << (7 - bit)));
        if (++bit == (static_cast<int>(word) == short_word ? 4 : 8)) {
            bit = 0;
            ++word;
        }
        return word < words.size();
    });
    if (word != words.size())
        return {};
    return words;
}

} // namespace vantor
