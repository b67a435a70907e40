// Version determination and the module step vectors.
#pragma once

#include <cstdint>

namespace vantor {

struct DecoderState;

enum class VersionBlock { along, down }; // beside the along eye, beside the down eye

// The version from the picked eye patterns, measured with module-size
// estimate try_index (0: the run widths, 1: the centre block), and the step
// vectors s.x_unit, s.y_unit. 1..40 on success; 0 or below (-1: no version
// information block matched) on failure, the preliminary vectors kept.
int determine_version(DecoderState &s, int try_index);
// The version a version information block gives, -1 when none matches.
int read_version_info(const DecoderState &s, VersionBlock block);
// The version whose code word is within three bits of value (-1 when none)
// and the bits that differ.
struct VersionMatch {
    int version;
    int wrong_bits;
};
VersionMatch match_version_info(std::uint32_t value);

} // namespace vantor
