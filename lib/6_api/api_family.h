// The other kinds of the QR family, read through the reentrant API when the
// Model 2 steps found nothing or every symbol is asked for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "api_types.h"
#include "1_base/bitstream.h"
#include "2_image/eye_scan.h"
#include "2_image/image.h"
#include "search.h"

namespace vantor {

// Adds a symbol a search or the lone-eye pass read (not a classic reading)
// to the results: its bytes and text, version, level, mask, corners (moved
// to the public records' pixel edges), corrections, flags and declared
// facts, and, but for Model 2's, its kind and version name.
OwnedSymbol &add_located(Found &results, const Located &located);

// What a data bit stream declared besides its characters.
void set_facts(vantor_symbol &symbol, const Facts &facts);

// Sets the symbol's kind and the name of its version within the kind.
void set_kind(vantor_symbol &symbol, vantor_kind kind, int version);

// Names the kind and version of every symbol not yet named: Model 2's.
void name_model2_symbols(Found &results);

// What the lone-eye pass read in each polarity of a picture (plain,
// then inverse): set for a polarity already searched.
using LoneEyeFinds = std::array<std::optional<std::vector<Located>>, 2>;

// Whether the options ask for a kind found from one eye pattern (Micro
// QR, rMQR).
bool lone_eye_kinds(const vantor_options &options);

// The Micro QR and rMQR symbols the options ask for in one polarity of a
// picture (`grey`, its binarisation and the row matches of its rows), each
// eye pattern asked of Micro QR, then of rMQR; the first only unless the
// options ask for all.
std::vector<Located> lone_eye_symbols(const thorough::GreyView &grey, const thorough::Binary &binary,
                                      std::span<const thorough::RowMatch> matches,
                                      const vantor_options &options);

// Adds the symbols of the other kinds the options ask for (Micro QR, rMQR,
// and Model 1 when Model 2 is not asked for) in the grey image (rows
// `width` bytes apart) to the results; the first only unless the options
// ask for all. A polarity set in `finds` was searched already: its symbols
// are taken from there. The binarisation of a polarity a search of the
// picture made is taken from `searched`. Returns true when it added any.
bool family_symbols(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                    Found &results, LoneEyeFinds finds = {}, const thorough::SearchMemory *searched = nullptr);

} // namespace vantor
