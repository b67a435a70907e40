// The reentrant API's options and results objects, their accessors, and the
// texts of its status codes.
#include <cstring>
#include <new>

#include "api_types.h"
#include "1_base/display_text.h"

void vantor::OwnedSymbol::set_text(std::string own) {
    if (own.empty())
        return;
    text = std::move(own);
    view.text = text.c_str();
    view.text_length = text.size();
}

vantor::OwnedSymbol &vantor::Found::add_symbol(std::string bytes) {
    auto owned = std::make_unique<vantor::OwnedSymbol>();
    owned->bytes = std::move(bytes);
    owned->text = vantor::text_for_display(owned->bytes);
    owned->view.bytes = reinterpret_cast<const unsigned char *>(owned->bytes.c_str());
    owned->view.length = owned->bytes.size();
    owned->view.text = owned->text.c_str();
    owned->view.text_length = owned->text.size();
    owned->view.eci = -1;
    owned->view.sa_index = -1;
    symbols.push_back(std::move(owned));
    return *symbols.back();
}

extern "C" {

vantor_options *vantor_options_new(void) { return new (std::nothrow) vantor_options; }

void vantor_options_free(vantor_options *options) { delete options; }

void vantor_options_set_trace_file(vantor_options *options, FILE *stream) {
    if (!options)
        return;
    options->trace_file = stream;
    options->trace_fn = nullptr;
    options->trace_user = nullptr;
}

void vantor_options_set_trace_callback(vantor_options *options, vantor_trace_fn fn, void *user) {
    if (!options)
        return;
    options->trace_fn = fn;
    options->trace_user = fn ? user : nullptr;
    options->trace_file = nullptr;
}

void vantor_options_set_debug_dir(vantor_options *options, const char *dir) {
    if (options)
        options->debug_dir = dir ? dir : "";
}

void vantor_options_set_thorough(vantor_options *options, int on) {
    if (options)
        options->thorough = on != 0;
}

void vantor_options_set_all_symbols(vantor_options *options, int on) {
    if (options)
        options->all_symbols = on != 0;
}

int vantor_options_set_kinds(vantor_options *options, unsigned kinds) {
    if (!options || (kinds & VANTOR_KINDS_ALL) == 0 || (kinds & ~VANTOR_KINDS_ALL) != 0)
        return 0;
    options->kinds = kinds;
    return 1;
}

const char *vantor_kind_name(vantor_kind kind) {
    switch (kind) {
    case VANTOR_KIND_QR: return "QRCode";
    case VANTOR_KIND_QR_MODEL1: return "QRCodeModel1";
    case VANTOR_KIND_MICRO_QR: return "MicroQRCode";
    case VANTOR_KIND_RMQR: return "rMQRCode";
    }
    return "";
}

vantor_kind vantor_symbol_kind(const vantor_symbol *symbol) {
    return symbol ? static_cast<vantor_kind>(symbol->kind) : VANTOR_KIND_QR;
}

const char *vantor_symbol_version_name(const vantor_symbol *symbol) { return symbol ? symbol->version_name : ""; }

int vantor_options_set_effort(vantor_options *options, vantor_effort effort) {
    if (effort != VANTOR_EFFORT_DEFAULT && effort != VANTOR_EFFORT_FAST && effort != VANTOR_EFFORT_EXHAUSTIVE)
        return 0;
    if (options)
        options->effort = effort;
    return options ? 1 : 0;
}

const char *vantor_effort_name(vantor_effort effort) {
    switch (effort) {
    case VANTOR_EFFORT_DEFAULT: return "default";
    case VANTOR_EFFORT_FAST: return "fast";
    case VANTOR_EFFORT_EXHAUSTIVE: return "exhaustive";
    }
    return "unknown";
}

int vantor_effort_from_name(const char *name, vantor_effort *effort) {
    if (!name || !effort)
        return 0;
    for (vantor_effort e : {VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_FAST, VANTOR_EFFORT_EXHAUSTIVE}) {
        if (std::strcmp(name, vantor_effort_name(e)) == 0) {
            *effort = e;
            return 1;
        }
    }
    return 0;
}

void vantor_results_free(vantor_results *results) { delete results; }

int vantor_results_searched(const vantor_results *results) { return results && results->searched ? 1 : 0; }

int vantor_results_count(const vantor_results *results) {
    return results ? static_cast<int>(results->symbols.size()) : 0;
}

const vantor_symbol *vantor_results_symbol(const vantor_results *results, int i) {
    if (!results || i < 0 || i >= static_cast<int>(results->symbols.size()))
        return nullptr;
    return &results->symbols[static_cast<std::size_t>(i)]->view;
}

vantor_reason vantor_results_reason(const vantor_results *results) {
    return results ? results->reason : VANTOR_INVALID_ARGUMENT;
}

vantor_stage vantor_results_stage(const vantor_results *results) {
    return results ? results->stage : VANTOR_STAGE_NONE;
}

const unsigned char *vantor_results_joined(const vantor_results *results, size_t *length) {
    if (!results || !results->joined)
        return nullptr;
    if (length)
        *length = results->joined->size();
    return reinterpret_cast<const unsigned char *>(results->joined->c_str());
}

int vantor_results_reading_count(const vantor_results *results) {
    return results ? static_cast<int>(results->readings.size()) : 0;
}

const vantor_reading *vantor_results_reading(const vantor_results *results, int i) {
    if (!results || i < 0 || i >= static_cast<int>(results->readings.size()))
        return nullptr;
    return &results->readings[static_cast<std::size_t>(i)];
}

const char *vantor_reason_text(vantor_reason reason) {
    switch (reason) {
    case VANTOR_OK: return "symbol found";
    case VANTOR_NO_EYE_PATTERNS: return "no eye patterns found";
    case VANTOR_EYES_NOT_A_SYMBOL: return "eye patterns found, but never in a symbol's arrangement";
    case VANTOR_VERSION_UNREADABLE: return "version unreadable";
    case VANTOR_GRID_FAILED: return "alignment or module grid failed";
    case VANTOR_FORMAT_UNREADABLE: return "format information unreadable";
    case VANTOR_TOO_MANY_ERRORS: return "too many codeword errors to correct";
    case VANTOR_UNSUPPORTED_CONTENT: return "unsupported content (ECI, structured append, FNC1 or another mode)";
    case VANTOR_BAD_DATA: return "the data gives no text";
    case VANTOR_INVALID_ARGUMENT: return "invalid argument";
    case VANTOR_OUT_OF_MEMORY: return "out of memory";
    case VANTOR_NO_SYMBOL: return "no symbol found";
    }
    return "unknown reason";
}

const char *vantor_stage_text(vantor_stage stage) {
    switch (stage) {
    case VANTOR_STAGE_NONE: return "nothing located";
    case VANTOR_STAGE_EYES: return "eye pattern candidates";
    case VANTOR_STAGE_ARRANGED: return "three eye patterns arranged";
    case VANTOR_STAGE_VERSION: return "version determined";
    case VANTOR_STAGE_GRID: return "module grid sampled";
    case VANTOR_STAGE_FORMAT: return "format information read";
    case VANTOR_STAGE_CODEWORDS: return "codewords corrected";
    case VANTOR_STAGE_TEXT: return "text decoded";
    }
    return "unknown stage";
}

const char *vantor_version(void) { return decoder_version(); }

size_t vantor_display_text(const void *bytes, size_t length, char *out, size_t out_size) {
    const std::string text =
        bytes ? vantor::text_for_display({static_cast<const char *>(bytes), length}) : std::string();
    if (out && out_size > 0) {
        std::size_t n = text.size() < out_size ? text.size() : out_size - 1;
        // Cut at a character boundary, never inside a UTF-8 sequence.
        while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return text.size();
}

} // extern "C"
