// Alignment patterns found in module space: the 5x5 pattern (dark centre,
// light ring, dark ring) matched against the module greys around the place
// a grid predicts.
#pragma once

#include <optional>

#include "image.h"
#include "projective.h"

namespace vantor::thorough {

struct AlignmentHit {
    Position module; // module-space centre, as the guess maps it
    Position image;  // where that lies in the image
    double score; // light ring minus dark cells, grey levels
};

// The best match within `radius` modules of `expected` (a module-space
// centre), the guess mapping module space onto the image; nothing when no
// position reaches `min_score`.
std::optional<AlignmentHit> find_alignment(const GreyView &grey, const Projective &guess, Position expected,
                                           double radius, double min_score);

struct EyeContrast {
    double difference = 0; // light ring minus dark modules, grey levels
    double separation = 0; // the difference over the spread within each kind
};

// How an eye pattern centred at `centre`, whose module steps along its rows
// and columns are x_step and y_step, stands out: its light ring against its
// dark centre and outer ring. Zero off the image.
EyeContrast eye_contrast(const GreyView &grey, Position centre, Position x_step, Position y_step);

// How far an eye pattern must stand out (`difference`, grey levels) to be
// taken: noise and texture make candidates that do not.
constexpr double min_eye_contrast = 12;

} // namespace vantor::thorough
