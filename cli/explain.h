// --explain: what the decoder saw, pass by pass, read back from its trace
// log, and why a file gave no text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::cli {

// The Reed-Solomon blocks of one reading, worked out from the two codeword
// dumps (as read, and de-interleaved after correction).
struct BlockReport {
    bool known = false; // false when the dumps do not fit any block layout
    int blocks = 0;
    int clean = 0;     // no error
    int corrected = 0; // had errors and now checks out
    int beyond = 0;    // still has errors: more than the block can repair
    // First mode indicator of the corrected data (-1 when unknown).
    int first_mode = -1;
};

// One try of a pass: version, grid, format information and codewords.
struct Reading {
    int version = 0;
    bool version_seen = false;
    std::vector<unsigned long> version_info; // blocks read, upper right first
    int version_bits_wrong = -1;             // -1: no block matched
    int alignment_found = 0;
    std::vector<int> format_bits_fixed;
    bool format_first_copy = false; // the copy by the corner eye pattern decoded
    int ecc_level = -1;             // format value: 1 L, 0 M, 3 Q, 2 H
    int mask = -1;
    std::vector<std::uint8_t> raw;       // codewords as read
    std::vector<std::uint8_t> corrected; // de-interleaved, data corrected
    int dumps = 0;
    std::vector<int> block_errors; // errors of each corrected block, in order
    BlockReport blocks;

    bool grid_sampled() const { return dumps > 0 || ecc_level >= 0 || !format_bits_fixed.empty(); }
    // The format was taken from one of the two copies.
    bool format_read() const;
};

// One binarisation pass.
struct Pass {
    int labels = -1;     // crossing groups before refinement
    int only_found = -1; // set when fewer than three candidates survived
    int candidates = 0;  // listed candidates (three or more)
    int picked = 0;
    std::vector<Reading> readings;
};

struct Trace {
    std::vector<Pass> passes;
    bool out_of_memory = false;
};

// How far the decoder got, the furthest stage any reading reached.
enum class Stage {
    no_eye_patterns,    // no pass found three eye pattern candidates
    orientation,        // three or more found, but never in a symbol's arrangement
    version,            // no version could be determined
    grid,               // the module grid could not be sampled
    format,             // the format information could not be read
    codewords,          // blocks had more errors than they can repair
    data,               // codewords fine, but the data gives no text
};

Trace parse_trace(std::string_view log);

// Reads the block layout back from the two dumps of a reading.
BlockReport analyse_blocks(const std::vector<std::uint8_t> &raw,
                           const std::vector<std::uint8_t> &corrected);

// The stage whose failure explains a file that gave no text.
Stage failure_stage(const Trace &trace);

// The summary: one line per pass and per reading, then the result or the
// reason for failure.
std::vector<std::string> explain(const Trace &trace, bool decoded);

} // namespace vantor::cli
