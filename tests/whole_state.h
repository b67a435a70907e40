// The classic stages that build on the picked eyes, run on one whole state
// as the pass loop runs them: the picks the state holds handed on as a
// value, the step vectors kept in it. Picks that are not candidates give
// what the pass loop never reaches: no version, no grid, no pattern.
#pragma once

#include "3_model2/classic/alignment.h"
#include "3_model2/classic/eyepattern.h"
#include "3_model2/classic/grid.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/version.h"

namespace whole_state {

inline int determine_version(vantor::DecoderState &s, int try_index) {
    const auto eyes = vantor::picked_eyes(s, s.eye_pick);
    if (!eyes)
        return 0;
    const vantor::VersionEstimate e = vantor::determine_version(s, *eyes, try_index, s);
    s.units = e.units;
    return e.version;
}

inline int read_version_info(const vantor::DecoderState &s, vantor::VersionBlock block) {
    const auto eyes = vantor::picked_eyes(s, s.eye_pick);
    return eyes ? vantor::read_version_info(s, *eyes, s.units, block, s) : -1;
}

inline bool grid_build(vantor::DecoderState &s) {
    const auto eyes = vantor::picked_eyes(s, s.eye_pick);
    if (!eyes) {
        // The matrix size is set before the picks are needed.
        if (s.version >= 1 && s.version <= 40)
            s.matrix_width = s.matrix_height = 4 * s.version + 17;
        return false;
    }
    return vantor::grid_build(s, *eyes, s, s);
}

inline bool find_alignment(vantor::DecoderState &s, vantor::AlignmentProbe &probe) {
    const auto eyes = vantor::picked_eyes(s, s.eye_pick);
    return eyes && vantor::find_alignment(s, *eyes, s.units, probe, s);
}

} // namespace whole_state
