// The cheap-first strategy of the default and fast efforts: where a quick
// look finds no eye patterns that could make a symbol, the expensive
// readings never run.
#pragma once

#include <cstdint>
#include <span>

#include "api_types.h"
#include "1_base/function_ref.h"
#include "2_image/eye_scan.h"
#include "2_image/image.h"

namespace vantor {

// Called with one polarity of the picture that the quick look saw no symbol
// in (its grey, its binarisation, and the row matches of its rows near the
// even rows' matches), so a later pass can use the look's work before it is
// freed.
using PolarityScanned = FunctionRef<void(const thorough::GreyView &grey, const thorough::Binary &binary,
                                         std::span<const thorough::RowMatch> matches)>;

// Decodes pixels laid out row after row as options.effort asks (default or
// fast), adding the readings that ran, the symbols and the reason to
// results. With `looked`, the quick look also scans the odd rows of each
// polarity near its even rows' matches, and hands each polarity it saw no
// symbol in to it.
void cheap_first_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                          vantor_results &results, const PolarityScanned *looked = nullptr);

} // namespace vantor
