// Reading a sampled matrix, both ways round.
#include "reader.h"

#include "1_base/symbol_tables.h"

namespace vantor::thorough {
namespace {

std::optional<SymbolRead> read_as_is(const ModuleMatrix &m) {
    const int version = size_version(m.width);
    if (version < 1 || version > 40)
        return std::nullopt;
    const std::vector<FormatInfo> formats = read_format(m);
    if (formats.empty())
        return std::nullopt;
    if (version >= 7 && read_version_blocks(m) != version)
        return std::nullopt;
    // Where the copies disagree, each is tried; the codewords judge.
    for (const FormatInfo &format : formats) {
        const auto corrected = correct_codewords(m, version, format);
        if (auto content = corrected ? parse_bitstream(corrected->data, version) : std::nullopt)
            return SymbolRead{std::move(*content), version, format.level, format.mask, corrected->corrected, false};
    }
    return std::nullopt;
}

} // namespace

std::optional<SymbolRead> read_matrix(const ModuleMatrix &matrix) {
    return read_either_way(matrix, [](const ModuleMatrix &m) { return read_as_is(m); });
}

} // namespace vantor::thorough
