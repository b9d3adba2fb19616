// The PNG file mandel-render writes when asked for one: an 8-bit RGB image of
// the same pixels as the bitmap file, top row first, written with the
// stb_image_write library. The file-layout half of image/: no window, any
// thread.
#pragma once

#include <cstdint>

#include "image/bitmap_file.h"
#include "image/replacing_file.h"

// True when the encoder, which counts bytes in int, can take the size: a
// valid image size whose filtered rows fit in 2 GiB.
bool IsValidPngSize(int64_t width, int64_t height);

// Encodes width x height pixels (bottom row first, as in the image buffer)
// into file and puts it in place. InvalidSize for sizes IsValidPngSize refuses.
BitmapWriteResult WritePngFile(ReplacingFile& file, int32_t width, int32_t height,
                               const uint32_t* pixels);
