// The other kinds of the QR family, read through the reentrant API when the
// Model 2 readings found nothing or every symbol is asked for.
#pragma once

#include <cstdint>

#include "api_types.h"
#include "thorough/search.h"

namespace vantor {

// The record of a symbol a search found (not a classic reading): its
// version, level, mask, corners (pixel-index coordinates, moved to the
// classic stages' pixel edges), corrections, flags and declared facts.
void fill_searched(vantor_symbol &symbol, const thorough::FoundSymbol &found);

// What a data bit stream declared besides its characters.
void set_facts(vantor_symbol &symbol, const Facts &facts);

// Sets the symbol's kind and the name of its version within the kind.
void set_kind(vantor_symbol &symbol, vantor_kind kind, int version);

// Names the kind and version of every symbol not yet named: Model 2's.
void name_model2_symbols(vantor_results &results);

// Adds the symbols of the other kinds the options ask for (Micro QR, rMQR,
// and Model 1 when Model 2 is not asked for) in the grey image (rows
// `width` bytes apart) to the results; the first only
// unless the options ask for all. Returns true when it added any.
bool family_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     vantor_results &results);

} // namespace vantor
