// Test symbols of the other QR kinds, written by independent encoders:
// Micro QR by libqrencode and by zint.
#pragma once

#include <optional>
#include <string_view>

#include "qr_symbols.h"

namespace vantor::testing {

// A Micro QR symbol M1..M4 (version 1..4) from libqrencode. Byte and
// numeric/alphanumeric text is split into modes by the encoder; Mode::kanji
// takes Shift JIS pairs. `mask` is -1: libqrencode does not report it. Empty
// when the text does not fit or the level does not exist for the version.
std::optional<Symbol> make_micro_qrencode(std::string_view text, int version, Level level, Mode mode);

// The same from zint, the bytes taken as they are; zint picks its own modes
// and may raise the level where the data leaves room.
std::optional<Symbol> make_micro_zint(std::string_view text, int version, Level level);

} // namespace vantor::testing
