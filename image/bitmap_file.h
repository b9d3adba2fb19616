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

// The largest pixel block the viewer handles: what a 32-bit process can
// address in one piece, and well inside the file's 32-bit size field.
constexpr uint64_t MAX_IMAGE_BYTES = 0x7FFFFFFF;

// True when width x height is a size the viewer's image buffer and its saved
// file can hold: both sides at least 1 and at most MAX_IMAGE_BYTES of pixels.
bool IsValidImageSize(int64_t width, int64_t height);

// Image widths are kept to multiples of 4 pixels: width + 3 with its two
// lowest bits cleared.
inline int64_t RoundUpImageWidth(int64_t width)
{
    return (width + 3) & ~int64_t{3};
}

// True when a bitmap file can describe the size, the limit of mandel-render,
// which holds a band of rows at a time: each side from 1 to 2^31 - 1 (the
// header's signed fields) and the whole file within its 32-bit size field,
// just under 4 GiB.
bool BitmapFileCanHold(int64_t width, int64_t height);

// The 54 header bytes for an image of a size BitmapFileCanHold takes.
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

// The same into a file the caller opened: writes, then puts the file in place.
BitmapWriteResult WriteBitmapFile(ReplacingFile& file, int32_t width, int32_t height,
                                  const uint32_t* pixels);

// Writes a bitmap file a band of rows at a time, for mandel-render, which
// opens the file before a long render. Holds no pixels; one thread.
class BitmapFileWriter {
public:
    // The size must be one BitmapFileCanHold takes. Nothing is written yet.
    BitmapFileWriter(ReplacingFile& file, int32_t width, int32_t height);

    // Writes the next count rows as they lie in the image buffer (bottom row
    // first, as the file stores them), after the headers before the first.
    // False on a failed write, and from then on.
    bool WriteRows(const uint32_t* rows, int32_t count);
    // Puts the file in place; false, with the file not put in place, when a
    // step failed or rows are missing.
    bool Finish();

private:
    ReplacingFile& file_;
    int32_t width_, height_;
    int32_t rowsWritten_ = 0;
    bool failed_ = false;
};
