// Results of the other QR kinds in the public symbol record.
#include "api_family.h"

#include <cstdio>
#include <string>

#include "microqr/locate.h"

namespace vantor {

void fill_searched(vantor_symbol &sym, const thorough::FoundSymbol &f) {
    sym.version = f.version;
    sym.level = f.level;
    sym.mask = f.mask;
    for (int k = 0; k < 4; ++k)
        sym.corners[k] = {f.corners[static_cast<std::size_t>(k)][0] + 0.5f, f.corners[static_cast<std::size_t>(k)][1] + 0.5f};
    sym.corrected = f.corrected;
    sym.pass = -1;
    sym.reading = -1;
    sym.mirrored = f.mirrored;
    sym.inverted = f.inverted;
    set_facts(sym, f.facts);
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
    const char *form = kind == VANTOR_KIND_MICRO_QR ? "M%d" : "%d";
    std::snprintf(symbol.version_name, sizeof symbol.version_name, form, version);
}

void name_model2_symbols(vantor_results &results) {
    for (auto &owned : results.symbols)
        if (owned->view.version_name[0] == 0)
            set_kind(owned->view, VANTOR_KIND_QR, owned->view.version);
}

namespace {

// Model 1 symbols when Model 2 is not asked for (otherwise the Model 2
// search reads them): the search with Model 1 readings, its Model 2
// readings dropped.
bool model1_alone_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                           vantor_results &results) {
    if (!(options.kinds & (1u << VANTOR_KIND_QR_MODEL1)) || (options.kinds & (1u << VANTOR_KIND_QR)))
        return false;
    thorough::SearchOptions search_options;
    search_options.all_symbols = options.all_symbols;
    search_options.model1 = true;
    bool added = false;
    for (const thorough::FoundSymbol &f : thorough::search(pixels, width, height, width, {}, search_options)) {
        if (!f.model1)
            continue;
        OwnedSymbol &owned = results.add_symbol(std::string(f.bytes.begin(), f.bytes.end()));
        fill_searched(owned.view, f);
        set_kind(owned.view, VANTOR_KIND_QR_MODEL1, f.version);
        added = true;
    }
    return added;
}

} // namespace

bool family_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     vantor_results &results) {
    if (model1_alone_readings(pixels, width, height, options, results))
        return true;
    if (!(options.kinds & (1u << VANTOR_KIND_MICRO_QR)))
        return false;
    const std::vector<microqr::Located> found = microqr::locate(pixels, width, height, width, options.all_symbols);
    for (const microqr::Located &f : found) {
        const microqr::Reading &r = f.reading;
        OwnedSymbol &owned = results.add_symbol(std::string(r.content.bytes.begin(), r.content.bytes.end()));
        thorough::FoundSymbol as_found;
        as_found.version = r.version;
        as_found.level = r.level;
        as_found.mask = r.mask;
        as_found.corners = f.corners;
        as_found.corrected = r.corrected;
        as_found.mirrored = r.mirrored;
        as_found.inverted = f.inverted;
        fill_searched(owned.view, as_found);
        set_kind(owned.view, VANTOR_KIND_MICRO_QR, r.version);
    }
    return !found.empty();
}

} // namespace vantor
