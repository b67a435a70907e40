// The format readers behind read_image. Each takes the open stream, owns it
// and closes it before returning; nonzero on success.
#pragma once

#include <cstdio>

namespace vantor {

int read_bmp(std::FILE *file);
int read_jpeg(std::FILE *file);
int read_gif(std::FILE *file);

// Writes a failure text into read_message, cut to fit.
void set_read_message(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace vantor
