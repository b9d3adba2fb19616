// The PNG file mandel-render writes when asked for one: an 8-bit RGB image of
// the same pixels as the bitmap file, top row first, deflated with zlib as
// the rows arrive, so that a picture of any size goes out a band at a time.
// The file-layout half of image/: no window, one thread per writer.
#pragma once

#include <cstdint>
#include <vector>

#include "image/replacing_file.h"

typedef struct z_stream_s z_stream;

// True when a PNG file can describe the size: each side from 1 to 2^31 - 1.
bool PngFileCanHold(int64_t width, int64_t height);

class PngFileWriter {
public:
    // Holds zlib's state (about 256 KB), a chunk of 256 KB, a piece of a
    // filtered row and one row of pixels, whatever the height; throws
    // std::bad_alloc when they cannot be had. The size must be one
    // PngFileCanHold takes. Nothing is written yet.
    PngFileWriter(ReplacingFile& file, int32_t width, int32_t height);
    ~PngFileWriter();
    PngFileWriter(const PngFileWriter&) = delete;
    PngFileWriter& operator=(const PngFileWriter&) = delete;

    // Encodes the next rows down the picture from the top. They come as they
    // lie in the image buffer, bottom row first: rows[count - 1] is the
    // highest of them and lies just below the rows written before. The
    // signature and header go out before the first rows. False on a failed
    // write or a zlib error, and from then on.
    bool WriteRows(const uint32_t* rows, int32_t count);
    // Ends the file and puts it in place; false, with the file not put in
    // place, when a step failed or rows are missing.
    bool Finish();

private:
    bool WriteRow(const uint32_t* row, const uint32_t* above, bool lastRow);
    // Deflates bytes of filtered row into IDAT chunks; flush is zlib's.
    bool Deflate(const uint8_t* data, size_t bytes, int flush);

    ReplacingFile& file_;
    int32_t width_, height_;
    int32_t rowsWritten_ = 0;
    bool failed_ = false;
    z_stream* stream_ = nullptr;
    std::vector<uint8_t> piece_;   // a filtered run of a row's pixels
    std::vector<uint8_t> chunk_;   // deflated bytes waiting for their IDAT chunk
    std::vector<uint32_t> above_;  // the last row written: the next one's Up filter
};
