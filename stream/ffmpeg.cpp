#include "ffmpeg.h"

#include <dlfcn.h>

extern "C" {
#include <libavdevice/version_major.h>
#include <libavformat/version_major.h>
#include <libswscale/version_major.h>
}

namespace vantor::stream {
namespace {

// The sonames the headers were built against: a library of another major
// version may differ in its structures' layout.
std::string soname(const char *library, int major) {
    return std::string("lib") + library + ".so." + std::to_string(major);
}

struct Loaded {
    Ffmpeg functions;
    std::string missing; // empty when every function was found
};

// The libraries, in the order they are loaded (each after those it needs),
// named as VANTOR_FFMPEG_FUNCTIONS names them.
enum Library { avutil, avcodec, avformat, swscale, library_count };

Loaded load() {
    const std::string names[library_count] = {
        soname("avutil", LIBAVUTIL_VERSION_MAJOR), soname("avcodec", LIBAVCODEC_VERSION_MAJOR),
        soname("avformat", LIBAVFORMAT_VERSION_MAJOR), soname("swscale", LIBSWSCALE_VERSION_MAJOR)};
    Loaded loaded;
    void *handles[library_count] = {};
    for (int i = 0; i < library_count; ++i) {
        // Kept for the process: the functions are called until it ends.
        handles[i] = dlopen(names[i].c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handles[i]) {
            loaded.missing = names[i];
            return loaded;
        }
    }
#define VANTOR_FFMPEG_RESOLVE(library, name)                                                                      \
    loaded.functions.name = reinterpret_cast<decltype(&::name)>(dlsym(handles[library], #name));                  \
    if (!loaded.functions.name && loaded.missing.empty())                                                         \
        loaded.missing = names[library] + " (" #name ")";
    VANTOR_FFMPEG_FUNCTIONS(VANTOR_FFMPEG_RESOLVE)
#undef VANTOR_FFMPEG_RESOLVE
    return loaded;
}

} // namespace

const Ffmpeg *ffmpeg(std::string *missing) {
    static const Loaded loaded = load();
    if (missing)
        *missing = loaded.missing;
    return loaded.missing.empty() ? &loaded.functions : nullptr;
}

std::string devices_missing() {
    static const std::string missing = []() -> std::string {
        const std::string name = soname("avdevice", LIBAVDEVICE_VERSION_MAJOR);
        void *library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        void *register_all = library ? dlsym(library, "avdevice_register_all") : nullptr;
        if (!register_all)
            return name;
        reinterpret_cast<void (*)()>(register_all)();
        return {};
    }();
    return missing;
}

} // namespace vantor::stream
