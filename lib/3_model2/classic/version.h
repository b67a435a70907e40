// Version determination and the module step vectors.
#pragma once

#include <cstdint>

#include "state.h"

namespace vantor {

enum class VersionBlock { along, down }; // beside the along eye, beside the down eye

// A reading's version and the module step vectors it found.
struct VersionEstimate {
    int version; // 1..40; 0 or below (-1: no version information block matched) on failure
    StepUnits units; // final on success, the preliminary ones on failure
};

// The version from the picked eye patterns, measured with module-size
// estimate try_index (0: the run widths, 1: the centre block), and the step
// vectors; version 7 and above is read from the version information blocks
// of the bitmap.
VersionEstimate determine_version(const PassBuffers &s, const PickedEyes &eyes, int try_index,
                                  const TraceSink &sink);
// The version a version information block gives, -1 when none matches.
int read_version_info(const PassBuffers &s, const PickedEyes &eyes, StepUnits units, VersionBlock block,
                      const TraceSink &sink);
// The version whose code word is within three bits of value (-1 when none)
// and the bits that differ.
struct VersionMatch {
    int version;
    int wrong_bits;
};
VersionMatch match_version_info(std::uint32_t value);

} // namespace vantor
