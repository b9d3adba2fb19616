// The Windows bitmap file the program writes: a 14-byte file header, the
// 40-byte BITMAPINFOHEADER of a bottom-up 32-bit image, then the pixel rows as
// they lie in memory (bottom row first), no colour table, no padding. Used by
// the save command and by mandel-render. The file-layout half of image/
// (with replacing_file.h): plain computation and file output, no window, any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/replacing_file.h"

constexpr uint32_t BITMAP_FILE_HEADER_SIZE = 14;
constexpr uint32_t BITMAP_INFO_HEADER_SIZE = 40;
constexpr uint32_t BITMAP_HEADERS_SIZE = BITMAP_FILE_HEADER_SIZE + BITMAP_INFO_HEADER_SIZE;

// The largest pixel block the program handles: what a 32-bit process can
// address in one piece, and well inside the file's 32-bit size field.
constexpr uint64_t MAX_IMAGE_BYTES = 0x7FFFFFFF;

// True when width x height is a size the image buffer and the file can hold:
// both sides at least 1 and at most MAX_IMAGE_BYTES of pixels.
bool IsValidImageSize(int64_t width, int64_t height);

// Image widths are kept to multiples of 4 pixels: width + 3 with its two
// lowest bits cleared.
inline int64_t RoundUpImageWidth(int64_t width)
{
    return (width + 3) & ~int64_t{3};
}

// The 54 header bytes for an image of the given (valid) size.
void BuildBitmapHeaders(int32_t width, int32_t height, uint8_t headers[BITMAP_HEADERS_SIZE]);

enum class BitmapWriteResult {
    Written,
    CannotCreate,  // the file could not be created or opened for writing
    WriteFailed,   // a write failed or was cut short; any old file is untouched
    InvalidSize,   // no bitmap file can describe the size; nothing was touched
};

// Writes the headers and width x height pixels (bottom row first) to path.
// An existing file is replaced only once the new one is complete; on any
// failure it keeps its old content and no partial file is left.
BitmapWriteResult WriteBitmapFile(const char* path, int32_t width, int32_t height,
                                  const uint32_t* pixels);

// The same into a file the caller opened (and so could check before a long
// render): writes, then puts the file in place.
BitmapWriteResult WriteBitmapFile(ReplacingFile& file, int32_t width, int32_t height,
                                  const uint32_t* pixels);
