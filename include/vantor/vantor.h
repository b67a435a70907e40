/* Vantor: reads the text of a QR Code symbol out of a grey image.
 *
 * The decoder keeps process-wide state, so it is not re-entrant: run one
 * decode at a time. The returned text belongs to the library and stays valid
 * until the next call of decode_image. */
#ifndef VANTOR_VANTOR_H
#define VANTOR_VANTOR_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Decodes the symbol in an 8-bit grey image (row-major, width x height bytes,
 * 0 = black). depth 1 marks a two-level source whose pixels are 0 or 255.
 * With a non-null log_stream the stages write trace lines to it and debug
 * images ("sample1-%d.bmp", ...) are written into the current directory.
 * Returns the zero-terminated text (bytes as the symbol carries them; kanji
 * as Shift JIS pairs) or NULL when no symbol could be read. */
const char *decode_image(const unsigned char *pixels, int width, int height,
                         unsigned short depth, FILE *log_stream);

/* The decoder's version text, "1.2". */
const char *decoder_version(void);

#ifdef __cplusplus
}
#endif

#endif
