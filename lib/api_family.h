// The other kinds of the QR family, read through the reentrant API when the
// Model 2 readings found nothing.
#pragma once

#include <cstdint>

#include "api_types.h"

namespace vantor {

// Adds the Micro QR symbols of the grey image (rows `width` bytes apart) to
// the results; the first only unless the options ask for all. Returns true
// when it added any.
bool family_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     vantor_results &results);

} // namespace vantor
