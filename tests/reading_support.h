// Helpers shared by the symbol reading tests: trace capture and an
// independent Reed-Solomon encoder over GF(256) (x^8 + x^4 + x^3 + x^2 + 1).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "3_model2/classic/state.h"

namespace reading_test {

// Collects the trace a state's stages write.
class LogCapture {
public:
    explicit LogCapture(vantor::DecoderState &s) : state_(s) {
        file_ = open_memstream(&buf_, &len_);
        state_.trace_file = file_;
    }
    ~LogCapture() {
        state_.trace_file = nullptr;
        std::fclose(file_);
        std::free(buf_);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;
    std::string text() {
        std::fflush(file_);
        return std::string(buf_, len_);
    }

private:
    vantor::DecoderState &state_;
    char *buf_ = nullptr;
    std::size_t len_ = 0;
    std::FILE *file_ = nullptr;
};

// Shift-and-add multiplication, independent of any table.
inline std::uint8_t gf_mul(std::uint8_t a, std::uint8_t b) {
    unsigned r = 0, x = a;
    for (int i = 0; i < 8; ++i) {
        if (b >> i & 1)
            r ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11D;
    }
    return static_cast<std::uint8_t>(r);
}

inline std::uint8_t gf_pow2(int e) {
    std::uint8_t r = 1;
    for (int i = 0; i < e; ++i)
        r = gf_mul(r, 2);
    return r;
}

// The block polynomial (first byte highest degree) at alpha^i.
inline std::uint8_t syndrome(const std::vector<std::uint8_t> &block, int i) {
    const std::uint8_t x = gf_pow2(i);
    std::uint8_t s = 0;
    for (std::uint8_t c : block)
        s = static_cast<std::uint8_t>(gf_mul(s, x) ^ c);
    return s;
}

// Systematic encoding with the generator (x - alpha^0)...(x - alpha^(ec-1)):
// the data followed by ec check codewords.
inline std::vector<std::uint8_t> rs_encode(const std::vector<std::uint8_t> &data, int ec) {
    std::vector<std::uint8_t> gen{1};
    for (int i = 0; i < ec; ++i) {
        std::vector<std::uint8_t> next(gen.size() + 1, 0);
        const std::uint8_t root = gf_pow2(i);
        for (std::size_t j = 0; j < gen.size(); ++j) {
            next[j] ^= gen[j];
            next[j + 1] ^= gf_mul(gen[j], root);
        }
        gen = next;
    }
    std::vector<std::uint8_t> rem(static_cast<std::size_t>(ec), 0);
    for (std::uint8_t d : data) {
        const std::uint8_t f = d ^ rem[0];
        rem.erase(rem.begin());
        rem.push_back(0);
        for (int j = 0; j < ec; ++j)
            rem[static_cast<std::size_t>(j)] ^= gf_mul(f, gen[static_cast<std::size_t>(j) + 1]);
    }
    std::vector<std::uint8_t> block = data;
    block.insert(block.end(), rem.begin(), rem.end());
    return block;
}

} // namespace reading_test
