// The PNG file mandel-render writes when asked for one: an 8-bit RGB image of
// the same pixels as the bitmap file, top row first, deflated with zlib one
// row at a time. The file-layout half of image/: no window, any thread.
#pragma once

#include <cstdint>

#include "image/bitmap_file.h"
#include "image/replacing_file.h"

// Encodes width x height pixels (bottom row first, as in the image buffer)
// into file and puts it in place. Beside the image it holds one row,
// zlib's state and a 256 KB chunk buffer. InvalidSize for sizes IsValidImageSize refuses; on any
// failure the file is not put in place.
BitmapWriteResult WritePngFile(ReplacingFile& file, int32_t width, int32_t height,
                               const uint32_t* pixels);
