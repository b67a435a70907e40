// The cheap-first strategy of the default and fast efforts: where a quick
// look finds no eye patterns that could make a symbol, the expensive
// readings never run.
#pragma once

#include <cstdint>

#include "api_types.h"

namespace vantor {

// Decodes pixels laid out row after row as options.effort asks (default or
// fast), adding the readings that ran, the symbols and the reason to
// results.
void cheap_first_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                          vantor_results &results);

} // namespace vantor
