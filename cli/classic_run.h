// --compat: the files read with read_image and decoded with decode_image one
// after another, as the first releases did, so that the decoder's carried
// state and every message stay what they were.
#pragma once

#include "options.h"

namespace vantor::cli {

// Decodes opt.files in order and writes the classic output; returns the
// exit status.
int run_classic(const Options &opt);

} // namespace vantor::cli
