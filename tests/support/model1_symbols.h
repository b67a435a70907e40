// QR Code Model 1 test symbols from our own encoder: no Debian library
// writes Model 1. Its placement, blocks and format word are stated here
// apart from the reader's, with a Reed-Solomon encoder of its own; the masks
// come from libqrencode's mask writer (masked_frame).
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "qr_symbols.h"

namespace vantor::testing {

// Data codewords of a Model 1 symbol of version 1..14 at a level; 0 for
// other versions.
int model1_data_codewords(int version, Level level);
// Check codewords of all its blocks (it corrects half as many codewords).
int model1_check_codewords(int version, Level level);

// A Model 1 symbol of the segments, in order, with mask 0..7; version 0
// picks the smallest that fits. Empty when the segments do not fit or a
// segment is invalid for its mode.
std::optional<Symbol> make_model1(std::span<const Segment> segments, int version, Level level, int mask = 0);
std::optional<Symbol> make_model1(std::string_view text, int version, Level level, Mode mode, int mask = 0);

} // namespace vantor::testing
