// Version determination and the module step vectors.
#pragma once

#include <cstdint>

namespace vantor {

enum class VersionBlock { upper_right, lower_left };

int determine_version(int try_index);
int read_version_info(VersionBlock block);
int match_version_info(std::uint32_t value);

} // namespace vantor
