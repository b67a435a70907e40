// Model 1 symbols through the search's eye pattern triples: Model 1 has
// Model 2's three eye patterns and timing patterns but no alignment
// patterns, so a triple Model 2 could not read is sampled once more
// through the grid the eyes alone give and read as Model 1.
#pragma once

#include <optional>

#include "3_model2/search/grids.h"
#include "3_model2/search/reader.h"

namespace vantor::model1 {

// The Model 1 symbol the triple frames, read through the grids of the
// versions nearest the size the eyes measure; `guesses` are the triple's
// first guesses, shared with its Model 2 reading.
std::optional<Located> read_triple(const thorough::GreyView &grey, const thorough::Binary &binary,
                                   const thorough::Eyes &eyes, thorough::Guesses &guesses);

} // namespace vantor::model1
