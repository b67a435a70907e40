// Version determination and the module step vectors.
#pragma once

#include <cstdint>

namespace vantor {

struct DecoderState;

enum class VersionBlock { upper_right, lower_left };

int determine_version(DecoderState &s, int try_index);
int read_version_info(const DecoderState &s, VersionBlock block);
int match_version_info(const DecoderState &s, std::uint32_t value);

} // namespace vantor
