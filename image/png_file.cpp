// PNG encoding (see png_file.h): the signature and the chunks are laid out
// here, around zlib's deflate and crc32, and written as they are produced, so
// that the file goes through the same replace-when-complete file as the bitmap.
//
// Every row is filtered with Up (each byte minus the byte above it) and
// deflated with run-length matches only (Z_RLE). The pictures are wide flat
// bands of colour whose edges move little from row to row: Up turns most of a
// row into zeros, which runs take whole. On the default view and on views near
// the set's boundary this gave smaller files than zlib's full match search
// (level 6, any single filter) and than a general encoder that chooses a
// filter for each row, in a fraction of either's time.
#include "image/png_file.h"

#include <zlib.h>

#include <new>
#include <vector>

namespace {

const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const uint8_t FILTER_UP = 2;
// The most deflated bytes held before they go out as one IDAT chunk.
const size_t IDAT_BYTES = size_t{1} << 18;
const int ZLIB_MEMORY_LEVEL = 8;

void PutBigEndian32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// One chunk: length, type, data, and the CRC of the type and data.
bool WriteChunk(ReplacingFile& file, const char type[4], const uint8_t* data, uint32_t bytes)
{
    uint8_t head[8];
    PutBigEndian32(head, bytes);
    for (int i = 0; i < 4; ++i)
        head[4 + i] = static_cast<uint8_t>(type[i]);
    uLong crc = crc32(0L, head + 4, 4);
    if (bytes > 0)  // crc32 of a null pointer restarts at 0
        crc = crc32(crc, data, bytes);
    uint8_t tail[4];
    PutBigEndian32(tail, static_cast<uint32_t>(crc));
    return file.Write(head, sizeof head) && (bytes == 0 || file.Write(data, bytes)) &&
           file.Write(tail, sizeof tail);
}

// Row `row` of the picture (0 at the top) as PNG's Up-filtered RGB bytes,
// after the filter-type byte. The image buffer holds the picture bottom row
// first, so the row above lies one row further on; the top row has zeros above.
void FilterRow(const uint32_t* pixels, int32_t width, int32_t height, int32_t row, uint8_t* out)
{
    const uint32_t* in = pixels + static_cast<size_t>(height - 1 - row) * width;
    const uint32_t* above = row == 0 ? nullptr : in + width;
    *out++ = FILTER_UP;
    for (int32_t x = 0; x < width; ++x, out += 3) {
        const uint32_t up = above ? above[x] : 0;
        out[0] = static_cast<uint8_t>((in[x] >> 16) - (up >> 16));
        out[1] = static_cast<uint8_t>((in[x] >> 8) - (up >> 8));
        out[2] = static_cast<uint8_t>(in[x] - up);
    }
}

// Deflates the rows into IDAT chunks. False on a failed write or a zlib error.
bool WriteImageData(ReplacingFile& file, int32_t width, int32_t height, const uint32_t* pixels,
                    z_stream& stream, std::vector<uint8_t>& row, std::vector<uint8_t>& chunk)
{
    for (int32_t y = 0; y < height; ++y) {
        FilterRow(pixels, width, height, y, row.data());
        const int flush = y == height - 1 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = row.data();
        stream.avail_in = static_cast<uInt>(row.size());
        for (;;) {
            const int status = deflate(&stream, flush);
            // Every call has input or room to finish into, so anything else
            // (even "no progress") is an error, never a reason to call again.
            if (status != Z_OK && status != Z_STREAM_END)
                return false;
            const bool finished = status == Z_STREAM_END;
            if (stream.avail_out == 0 || (finished && stream.avail_out < chunk.size())) {
                const uint32_t bytes = static_cast<uint32_t>(chunk.size() - stream.avail_out);
                if (!WriteChunk(file, "IDAT", chunk.data(), bytes))
                    return false;
                stream.next_out = chunk.data();
                stream.avail_out = static_cast<uInt>(chunk.size());
            }
            if (finished || (flush == Z_NO_FLUSH && stream.avail_in == 0))
                break;
        }
    }
    return true;
}

}  // namespace

BitmapWriteResult WritePngFile(ReplacingFile& file, int32_t width, int32_t height,
                               const uint32_t* pixels)
{
    if (!IsValidImageSize(width, height))
        return BitmapWriteResult::InvalidSize;
    std::vector<uint8_t> row, chunk;
    try {
        row.resize(1 + static_cast<size_t>(width) * 3);
        chunk.resize(IDAT_BYTES);
    } catch (const std::bad_alloc&) {
        return BitmapWriteResult::WriteFailed;
    }
    z_stream stream{};
    // zlib's default window and memory level (about 256 KB of state); with
    // Z_RLE the level only has to be above 0.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, MAX_WBITS, ZLIB_MEMORY_LEVEL, Z_RLE) != Z_OK)
        return BitmapWriteResult::WriteFailed;
    stream.next_out = chunk.data();
    stream.avail_out = static_cast<uInt>(chunk.size());

    uint8_t header[13] = {};
    PutBigEndian32(header, static_cast<uint32_t>(width));
    PutBigEndian32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;  // bits per channel
    header[9] = 2;  // RGB; compression, filter method and interlace stay 0
    const bool written = file.Write(PNG_SIGNATURE, sizeof PNG_SIGNATURE) &&
                         WriteChunk(file, "IHDR", header, sizeof header) &&
                         WriteImageData(file, width, height, pixels, stream, row, chunk) &&
                         WriteChunk(file, "IEND", nullptr, 0);
    deflateEnd(&stream);
    // A file the encoder gave up on is never put in place: the destructor
    // removes it.
    if (!written)
        return BitmapWriteResult::WriteFailed;
    return file.Commit() ? BitmapWriteResult::Written : BitmapWriteResult::WriteFailed;
}
