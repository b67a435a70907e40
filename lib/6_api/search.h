// The thorough search: reads the symbols of a grey image that the classic
// readings could not, by trying other eye pattern triples, perspective
// sampling, mirrored and inverted symbols, and content the classic rules
// refuse (ECI, structured append, FNC1). Every symbol it returns passed the
// Reed-Solomon check of every block, the format and version information
// checks and the strict rules of the data bit stream.
//
// Reentrant: all state lives in the call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "1_base/symbol_read.h"
#include "3_model2/search/candidate_pool.h"
#include "3_model2/search/grids.h"
#include "2_image/eye_scan.h"
#include "2_image/image.h"

namespace vantor::thorough {

struct SearchOptions {
    bool all_symbols = false; // every distinct symbol, not just the first
    int max_triples = 60;     // eye pattern triples tried per binarisation
    int max_candidates = 48;  // candidates paired per binarisation, strongest first; with
                              // all_symbols the rest form the crowd
    bool model1 = false;      // a triple Model 2 cannot read is read as Model 1
    bool dim = false;         // a dim picture is binarised for its faint edges last
};

// The local binarisation of the image as it is (not its inverse) and the
// row matches of its every row, made by a caller that looked at the image
// before the search; with a triple of eye patterns that stood out there,
// which the search tries first.
struct ScannedView {
    Binary binary;
    std::vector<RowMatch> matches;
    std::optional<StandingEyes> stood;
    BlockGreys blocks; // the picture's, which its inverse's binarisation takes too
};

// What a search over a picture leaves for a later search over the same
// picture, so that the later one makes none of it again: the binarisation
// and row matches of each view (the picture, its inverse, the sharpened
// picture) and the triples tried in vain with the grids each took, whose
// trial would come out the same. A later search skips such a triple and
// spends its grids as the trial did, so that it reads what it would have.
struct SearchMemory {
    struct View {
        std::vector<std::uint8_t> pixels; // the sharpened picture's own
        std::optional<Binary> binary;
        std::vector<RowMatch> matches;
    };
    struct Tried {
        int view;
        bool model1;
        double contrast;
        Eyes eyes;
        int grids;
    };
    // A view without the classic candidates (the inverse, the sharpened
    // picture) searched whole in vain, with no symbol read before it: a
    // later search with the same options forms the same triples from the
    // same candidates and tries them in the same order, so it reads
    // nothing there either, and spends its grids as this one did.
    struct Vain {
        int view;
        bool all_symbols;
        bool model1;
        int max_triples;
        int grids;
    };
    View views[4]; // the picture, its inverse, sharpened, dim
    BlockGreys blocks;       // the picture's (views 0 and 1), once counted
    BlockGreys sharp_blocks; // the sharpened picture's (views 2 and 3)
    std::vector<Tried> tried;
    std::vector<Vain> vain;
    // With every symbol asked for: whether the last search left, in the
    // picture as it is, two candidates no symbol read took that could be
    // two eyes of one more.
    bool unread_pair = false;
};

// Searches the grey image (rows `stride` bytes apart, 0 black) for symbols.
// `pooled` are eye pattern candidates found elsewhere (the classic passes);
// the search adds its own, from a local binarisation of the image and of its
// inverse; `plain`, when given, is that of the image. Without `memory` each
// view's binarisation is freed once its pass is done; with it, what the
// search made stays there for the next search of the same pixels, and what
// a search before made is taken from it. Returns the symbols read, the
// first only unless all_symbols, Model 2's or Model 1's, with their corners
// in the coordinates of Candidate. Bad arguments give an empty result.
std::vector<Located> search(const std::uint8_t *pixels, int width, int height, int stride,
                            std::span<const Candidate> pooled, const SearchOptions &opt,
                            std::optional<ScannedView> plain = std::nullopt, SearchMemory *memory = nullptr);

// The bytes of a structured-append set joined in index order, when `symbols`
// hold every part of a set (same count and parity) once; otherwise nothing.
std::optional<std::vector<std::uint8_t>> join_structured_append(std::span<const Located> symbols);

} // namespace vantor::thorough
