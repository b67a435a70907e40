// The function patterns of an rMQR symbol: which modules they take and the
// colour each has in every symbol of a size.
#pragma once

namespace vantor::rmqr {

// True for a module of a function pattern or of the format information of
// a symbol height x width: the eye and its separator, the sub-eye,
// the corner eye patterns, the timing patterns on all four edges, the
// alignment patterns with the timing columns between them, and both
// format copies.
bool function_module(int height, int width, int col, int row);

// True for a format information module (either copy).
bool format_module(int height, int width, int col, int row);

// Whether a function module outside the format information is dark. The
// timing patterns are dark on even columns (top and bottom rows) and even
// rows (edge and alignment columns).
bool function_dark(int height, int width, int col, int row);

} // namespace vantor::rmqr
