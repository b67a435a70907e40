// Format information: error correction level and mask pattern.
#pragma once

namespace vantor {

int read_format_info();
int decode_format_bits(int word);

} // namespace vantor
