// The objects behind the opaque handles of the reentrant API.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "1_base/point.h"

struct vantor_options {
    std::FILE *trace_file = nullptr;
    vantor_trace_fn trace_fn = nullptr;
    void *trace_user = nullptr;
    std::string debug_dir;
    bool thorough = true;
    bool all_symbols = false;
    unsigned kinds = VANTOR_KINDS_ALL; // bits 1u << vantor_kind
    vantor_effort effort = VANTOR_EFFORT_DEFAULT;
};

namespace vantor {

// The public records' positions lie on pixel edges (a pixel's top left at its
// index), the library's at pixel centres: the one conversion between them.
inline vantor_point public_point(Position p) {
    return {static_cast<float>(p.x) + 0.5f, static_cast<float>(p.y) + 0.5f};
}
inline Position library_point(vantor_point p) { return {p.x - 0.5f, p.y - 0.5f}; }

// A symbol with the storage its public record points into.
struct OwnedSymbol {
    std::string bytes;
    std::string text;
    vantor_symbol view{};

    // Takes the text the bit stream gives of its own (under ECI designators
    // or GB 2312 runs); an empty one leaves the text made from the bytes.
    void set_text(std::string own);
};

// What a decode call found, as its steps add to it; the entry hands it to
// the caller whole, as the public results, once every step has run.
struct Found {
    // Stable addresses: the public records point into each element.
    std::vector<std::unique_ptr<OwnedSymbol>> symbols;
    std::vector<vantor_reading> readings;
    vantor_reason reason = VANTOR_OK;
    vantor_stage stage = VANTOR_STAGE_NONE;
    bool searched = false; // the thorough search ran

    // The bytes of a whole structured-append set among the symbols.
    std::optional<std::string> joined;

    // Adds a symbol and points its public record at the owned bytes.
    OwnedSymbol &add_symbol(std::string bytes);
};

} // namespace vantor

struct vantor_results : vantor::Found {};
