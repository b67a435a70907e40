// Reading a sampled matrix, both ways round.
#include "reader.h"

namespace vantor::thorough {
namespace {

std::optional<Reading> read_as_is(const ModuleMatrix &m) {
    const int version = (m.size - 17) / 4;
    if (version < 1 || version > 40 || m.size != 4 * version + 17)
        return std::nullopt;
    const auto format = read_format(m);
    if (!format)
        return std::nullopt;
    if (version >= 7 && read_version_blocks(m) != version)
        return std::nullopt;
    const auto corrected = correct_codewords(m, version, *format);
    if (!corrected)
        return std::nullopt;
    auto content = parse_bitstream(corrected->data, version);
    if (!content)
        return std::nullopt;
    return Reading{std::move(*content), version, *format, corrected->corrected, false};
}

} // namespace

std::optional<Reading> read_matrix(const ModuleMatrix &matrix) {
    if (auto r = read_as_is(matrix))
        return r;
    auto r = read_as_is(matrix.transposed());
    if (r)
        r->mirrored = true;
    return r;
}

} // namespace vantor::thorough
