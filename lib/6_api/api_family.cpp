// Results of the other QR kinds in the public symbol record.
#include "api_family.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "1_base/display_text.h"
#include "5_microqr/locate.h"
#include "5_rmqr/locate.h"
#include "5_rmqr/symbols.h"
#include "2_image/lone_eyes.h"

namespace vantor {
namespace {

vantor_kind public_kind(SymbolKind kind) {
    switch (kind) {
    case SymbolKind::micro: return VANTOR_KIND_MICRO_QR;
    case SymbolKind::model1: return VANTOR_KIND_QR_MODEL1;
    case SymbolKind::rmqr: return VANTOR_KIND_RMQR;
    default: return VANTOR_KIND_QR;
    }
}

// Model 1 symbols when Model 2 is not asked for (otherwise the Model 2
// search reads them): the search with Model 1 asked for, its Model 2
// symbols dropped.
bool model1_alone_symbols(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                           Found &results) {
    if (!(options.kinds & (1u << VANTOR_KIND_QR_MODEL1)) || (options.kinds & (1u << VANTOR_KIND_QR)))
        return false;
    thorough::SearchOptions search_options;
    search_options.all_symbols = options.all_symbols;
    search_options.model1 = true;
    bool added = false;
    for (const Located &f : thorough::search(pixels, width, height, width, {}, search_options))
        if (f.kind == SymbolKind::model1) {
            add_located(results, f);
            added = true;
        }
    return added;
}

// The row matches of one polarity (`inverted`) outside the symbols already
// read in it: inside, a match is the symbol's own eye pattern or its data,
// and a picture of many symbols would otherwise fill the lone-eye candidates
// with them.
void drop_read(std::vector<thorough::RowMatch> &matches, const Found &results, bool inverted) {
    std::vector<std::array<Position, 4>> read;
    for (const auto &owned : results.symbols)
        if (owned->view.inverted == inverted) {
            const vantor_point *c = owned->view.corners;
            read.push_back({library_point(c[0]), library_point(c[1]), library_point(c[2]), library_point(c[3])});
        }
    if (read.empty())
        return;
    std::erase_if(matches, [&](const thorough::RowMatch &m) {
        return std::any_of(read.begin(), read.end(), [&](const auto &q) { return thorough::inside(q, m.x, m.y); });
    });
}

} // namespace

OwnedSymbol &add_located(Found &results, const Located &located) {
    const SymbolRead &r = located.symbol;
    OwnedSymbol &owned = results.add_symbol(std::string(r.content.bytes.begin(), r.content.bytes.end()));
    owned.set_text(eci_text(r.content));
    vantor_symbol &sym = owned.view;
    sym.version = r.version;
    sym.level = r.level;
    sym.mask = r.mask;
    for (int k = 0; k < 4; ++k)
        sym.corners[k] = public_point(located.corners[static_cast<std::size_t>(k)]);
    sym.corrected = r.corrected;
    sym.pass = -1;
    sym.reading = -1;
    sym.mirrored = r.mirrored;
    sym.inverted = located.inverted;
    set_facts(sym, r.content.facts);
    if (located.kind != SymbolKind::model2)
        set_kind(sym, public_kind(located.kind), r.version);
    return owned;
}

void set_facts(vantor_symbol &sym, const Facts &facts) {
    sym.eci = facts.eci;
    sym.sa_index = facts.sa_index;
    sym.sa_count = facts.sa_count;
    sym.sa_parity = facts.sa_parity;
    sym.fnc1 = facts.fnc1;
    sym.fnc1_application = facts.fnc1_application;
}

void set_kind(vantor_symbol &symbol, vantor_kind kind, int version) {
    symbol.kind = kind;
    if (kind == VANTOR_KIND_RMQR) {
        std::snprintf(symbol.version_name, sizeof symbol.version_name, "%s", rmqr::size_name(version - 1).c_str());
        return;
    }
    const char *form = kind == VANTOR_KIND_MICRO_QR ? "M%d" : "%d";
    std::snprintf(symbol.version_name, sizeof symbol.version_name, form, version);
}

void name_model2_symbols(Found &results) {
    for (auto &owned : results.symbols)
        if (owned->view.version_name[0] == 0)
            set_kind(owned->view, VANTOR_KIND_QR, owned->view.version);
}

bool lone_eye_kinds(const vantor_options &options) {
    return options.kinds & ((1u << VANTOR_KIND_MICRO_QR) | (1u << VANTOR_KIND_RMQR));
}

std::vector<Located> lone_eye_symbols(const thorough::GreyView &grey, const thorough::Binary &binary,
                                      std::span<const thorough::RowMatch> matches,
                                      const vantor_options &options) {
    const bool micro = options.kinds & (1u << VANTOR_KIND_MICRO_QR);
    const bool rectangular = options.kinds & (1u << VANTOR_KIND_RMQR);
    std::vector<Located> read;
    if (!micro && !rectangular)
        return read;
    // Each outline is asked of Micro QR, then of rMQR, unless a symbol
    // already read covers it. Every outline of the polarity is read, so that
    // the first symbol reported is the first in reading order, as with every
    // symbol.
    lone_eyes::for_each_outline(grey, binary, matches, [&](const lone_eyes::Outline &o) {
        if (std::any_of(read.begin(), read.end(), [&](const Located &s) {
                return s.inverted == o.grey.inverted && thorough::inside(s.corners, o.centre.x, o.centre.y);
            }))
            return true;
        std::optional<Located> at = micro ? microqr::read_outline(o) : std::nullopt;
        if (!at && rectangular)
            at = rmqr::read_outline(o);
        if (at)
            read.push_back(std::move(*at));
        return true;
    });
    return read;
}

bool family_symbols(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     Found &results, LoneEyeFinds finds, const thorough::SearchMemory *searched) {
    const bool model1 = model1_alone_symbols(pixels, width, height, options, results);
    if (model1 && !options.all_symbols)
        return true;
    if (!lone_eye_kinds(options))
        return model1;
    // One eye pass serves both kinds, the picture first, then its
    // inverse; the first symbol ends it unless all are asked for.
    bool added = false;
    for (std::size_t p = 0; p < finds.size() && (!added || options.all_symbols); ++p) {
        std::vector<Located> read;
        if (finds[p]) {
            read = std::move(*finds[p]);
        } else if (pixels && lone_eyes::fits(width, height)) {
            const thorough::GreyView grey{pixels, width, height, width, p == 1};
            const thorough::SearchMemory::View *kept = searched ? &searched->views[p] : nullptr;
            std::optional<thorough::Binary> own;
            if (!kept || !kept->binary)
                own.emplace(grey);
            const thorough::Binary &binary = own ? *own : *kept->binary;
            std::vector<thorough::RowMatch> matches = own ? thorough::row_matches(binary) : kept->matches;
            drop_read(matches, results, p == 1);
            read = lone_eye_symbols(grey, binary, matches, options);
        }
        for (const Located &symbol : read)
            add_located(results, symbol);
        added = added || !read.empty();
    }
    return model1 || added;
}

} // namespace vantor
