/* Vantor image input: reads BMP, JPEG, GIF, PNG, TIFF, WebP and Netpbm files
 * into one process-wide grey image. Not re-entrant; vantor_image_read in
 * vantor.h reads the same files into images of the caller's. */
#ifndef VANTOR_IMAGE_H
#define VANTOR_IMAGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GrayImage {
    int32_t width;
    int32_t height;
    unsigned char *pixels; /* width x height bytes, top row first; NULL when empty */
    uint16_t depth;        /* 1: two-level source (pixels 0 or 255); 8 otherwise */
} GrayImage;

/* The image of the latest read. */
extern GrayImage gray_image;

/* Why the latest read failed ("" when the reader gave no reason). */
extern char read_message[1024];

/* Reads the file at path, recognised by its leading bytes. Nonzero on
 * success. After a failure gray_image.pixels may still hold a buffer: call
 * release_image in every case. */
int read_image(const char *path);

/* Frees gray_image.pixels and sets it to NULL. */
void release_image(void);

#ifdef __cplusplus
}
#endif

#endif
