// Removes the data mask from module_matrix.
#pragma once

namespace vantor {

struct DecoderState;

void unmask(DecoderState &s);

} // namespace vantor
