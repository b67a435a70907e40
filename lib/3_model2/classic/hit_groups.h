// Grouping of crossing row and column hits.
#pragma once

#include "1_base/memchunk.h"
#include "state.h"

namespace vantor {

// Label every crossing row and column hit in place: hits that cross share a
// label, in list order, merged groups taking the smaller label. Every hit
// must be unlabelled (-1) on entry. They return the next unused label
// (eye hits count from 0, alignment hits from 1), or -1 when memory ran out
// or the hits lie beyond the image range; the lists are then unlabelled.
//
// Eye hits cross when each line cuts the other hit between 0.2 and 11/13 of
// its length.
int label_eye_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols);
// Alignment hits cross when each line meets the other's dark run.
int label_alignment_hits(MemChunk<RunHit> &rows, MemChunk<RunHit> &cols);

} // namespace vantor
