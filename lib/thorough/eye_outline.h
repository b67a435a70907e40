// The outer square of an eye pattern: where its outer dark ring meets the
// light around it, traced along rays from its centre and fitted with four
// lines.
#pragma once

#include <array>
#include <optional>

#include "image.h"
#include "projective.h"

namespace vantor::thorough {

// The outline's corners in the order top-left, top-right, bottom-right,
// bottom-left of the pattern, "right" along row_dir and "down" along
// col_dir (unit vectors of the symbol's rows and columns near the pattern);
// `module` is the pattern's module size in pixels. Nothing when the rays do
// not find a square of about the right size.
std::optional<std::array<Point, 4>> eye_outline(const Binary &binary, Point centre, Point row_dir, Point col_dir,
                                                double module);

} // namespace vantor::thorough
