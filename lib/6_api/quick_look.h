// The quick look of the default and fast efforts: whether the eye patterns a
// cheap scan of the picture shows could make a symbol, so that the
// expensive readings run only where they could.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "2_image/eye_scan.h"
#include "2_image/image.h"
#include "3_model2/search/candidate_pool.h"
#include "api_types.h"

namespace vantor {

// The quick look scans every second row: the 3-module centre of an eye
// pattern of the smallest readable modules (1.5 pixels) still spans two.
constexpr int look_row_step = 2;

// Every row across an eye pattern's 3-module centre shows its 1:1:3:1:1
// runs, and the centre of readable modules (1.5 pixels and more) spans two
// scanned rows or more. Dense noise and fine texture match the runs by
// chance on one row, most at the smallest sizes, where such candidates
// fill the look's pool and make thousands of triples to judge. In a full
// pool a candidate of modules under this size seen on one scanned row only
// is not looked at; larger chance matches are rare, and a symbol turned by
// 45 degrees shows its eyes' runs on fewer rows. A pool that is not full
// keeps them all: blur may leave a small symbol's eyes on one row.
constexpr float min_lone_row_module = 2.0f;

// The scanned candidates the look takes, from a scan that kept at most
// `limit`: all of them, or when the scan filled its limit, all but those
// seen on one scanned row only whose modules are under
// `min_lone_row_module`.
std::vector<thorough::ScoredCandidate> seen_twice_when_small(std::vector<thorough::ScoredCandidate> scanned,
                                                             std::size_t limit);

// What a quick look at one binarisation saw: no eye pattern candidate that
// counts, candidates that could not make a symbol, a clutter of triples
// whose eyes stand out but show no timing patterns (texture of sharp
// look-alikes, which blur does not make), or a possible symbol.
enum class Look { nothing, candidates, clutter, symbol };

// A quick look at one binarisation, with the candidates `pooled` from the
// first pass: whether its eye pattern candidates could make a symbol, only
// candidates that could not (of modules wide enough that blur may hide
// more), a clutter of them, or none that count. `measured` asks the look to measure, as the
// search would sample a grid, whether the eyes stand out from the grey
// around them and a grid through them reads timing patterns; unmeasured,
// the geometry alone decides. The look takes the
// row matches of every `look_row_step`th row of `binary` from `matches`,
// which may hold more rows. The first triple that stands out goes to
// `stood`. An eye pattern stands out by at least `min_contrast` grey
// levels.
Look could_make_symbol(const thorough::GreyView &grey, const thorough::Binary &binary,
                       std::span<const thorough::RowMatch> matches, std::span<const thorough::Candidate> pooled,
                       bool measured, std::optional<thorough::StandingEyes> *stood = nullptr,
                       double min_contrast = thorough::min_eye_contrast);

// Whether the first pass's readings decide, without a look, that the picture
// holds a symbol's structure: a version determined, with format information
// read twice alike or a block that checks. Texture reaches a version too,
// but no more: then, when a sharpened look follows, the look decides.
bool first_pass_decides(const Found &first_pass, bool sharpened_look);

// The first pass's candidates the plain look takes with its own: the
// strongest, those its readings took, when the first pass reached a version.
std::span<const thorough::Candidate> eyes_to_look_at(const Found &first_pass,
                                                     std::span<const thorough::Candidate> strongest);

// Whether a look at the sharpened picture (rows `width` bytes apart) sees
// eye patterns that could make a symbol: blur closes their light ring in
// any binarisation of the picture as it is. The sharpened picture is looked
// at as it is binarised usually (`usual`), and (`dim`, for a dim picture:
// see dim_picture) as binarised by FlatRule::by_level, where eye patterns
// that stand out by dim_min_contrast count.
bool sharpened_look_sees_symbol(const std::uint8_t *pixels, int width, int height, bool usual, bool dim);

} // namespace vantor
