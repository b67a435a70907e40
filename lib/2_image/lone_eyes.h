// The lone eye patterns of a grey picture, outlined: the one step that
// Micro QR and rMQR, whose symbols each carry one 7 x 7 eye pattern,
// share, so a picture is binarised and scanned once for both kinds.
//
// Reentrant: all state lives in the call.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "1_base/function_ref.h"
#include "1_base/point.h"
#include "eye_scan.h"
#include "image.h"
#include "projective.h"

namespace vantor::lone_eyes {

struct Outline {
    const thorough::GreyView &grey;
    const thorough::Binary &binary;
    Position centre;
    // The pattern's outer corners, going round it; which is the symbol's
    // outer corner, and which way the symbol runs, is for the kind to find.
    std::array<Position, 4> corners;
    double module; // the scan's module width estimate, pixels
};

// Whether a picture of this size can be searched for lone eye patterns.
bool fits(int width, int height);

// Calls `visit` with each eye pattern outlined in one polarity of a
// picture, `grey` with its binarisation and the row matches of its rows,
// most scan hits first, until `visit` returns false; returns false when it
// did.
bool for_each_outline(const thorough::GreyView &grey, const thorough::Binary &binary,
                      std::span<const thorough::RowMatch> matches, FunctionRef<bool(const Outline &)> visit);

// Calls `visit` with each eye pattern outlined in the grey image (rows
// `stride` bytes apart, 0 black), then in its inverse, most scan hits first,
// until `visit` returns false. Bad arguments visit none.
void for_each_outline(const std::uint8_t *pixels, int width, int height, int stride,
                      FunctionRef<bool(const Outline &)> visit);

} // namespace vantor::lone_eyes
