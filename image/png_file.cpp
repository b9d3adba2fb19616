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

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const uint8_t FILTER_UP = 2;
// The most deflated bytes held before they go out as one IDAT chunk.
const size_t IDAT_BYTES = size_t{1} << 18;
// A row is filtered and deflated this many pixels at a time, so that a row
// of any width needs no more memory than this and fits zlib's 32-bit counts.
const int32_t PIECE_PIXELS = 1 << 16;
const int ZLIB_MEMORY_LEVEL = 8;
const int64_t PNG_MAX_SIDE = 0x7FFFFFFF;

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

// count pixels as PNG's Up-filtered RGB bytes.
void FilterPixels(const uint32_t* in, const uint32_t* above, int32_t count, uint8_t* out)
{
    for (int32_t x = 0; x < count; ++x, out += 3) {
        out[0] = static_cast<uint8_t>((in[x] >> 16) - (above[x] >> 16));
        out[1] = static_cast<uint8_t>((in[x] >> 8) - (above[x] >> 8));
        out[2] = static_cast<uint8_t>(in[x] - above[x]);
    }
}

}  // namespace

bool PngFileCanHold(int64_t width, int64_t height)
{
    return width >= 1 && height >= 1 && width <= PNG_MAX_SIDE && height <= PNG_MAX_SIDE;
}

PngFileWriter::PngFileWriter(ReplacingFile& file, int32_t width, int32_t height)
    : file_(file), width_(width), height_(height)
{
    if (static_cast<uint64_t>(width) > above_.max_size())
        throw std::bad_alloc();
    piece_.resize(1 + 3 * static_cast<size_t>(std::min(width, PIECE_PIXELS)));
    chunk_.resize(IDAT_BYTES);
    above_.assign(static_cast<size_t>(width), 0);  // the top row has zeros above
    stream_ = new z_stream{};
    // zlib's default window and memory level (about 256 KB of state); with
    // Z_RLE the level only has to be above 0.
    if (deflateInit2(stream_, Z_BEST_SPEED, Z_DEFLATED, MAX_WBITS, ZLIB_MEMORY_LEVEL, Z_RLE) !=
        Z_OK) {
        delete stream_;
        throw std::bad_alloc();
    }
    stream_->next_out = chunk_.data();
    stream_->avail_out = static_cast<uInt>(chunk_.size());
}

PngFileWriter::~PngFileWriter()
{
    deflateEnd(stream_);
    delete stream_;
}

bool PngFileWriter::Deflate(const uint8_t* data, size_t bytes, int flush)
{
    z_stream& stream = *stream_;
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = static_cast<uInt>(bytes);
    for (;;) {
        const int status = deflate(&stream, flush);
        // Every call has input or room to finish into, so anything else
        // (even "no progress") is an error, never a reason to call again.
        if (status != Z_OK && status != Z_STREAM_END)
            return false;
        const bool finished = status == Z_STREAM_END;
        if (stream.avail_out == 0 || (finished && stream.avail_out < chunk_.size())) {
            const uint32_t chunkBytes = static_cast<uint32_t>(chunk_.size() - stream.avail_out);
            if (!WriteChunk(file_, "IDAT", chunk_.data(), chunkBytes))
                return false;
            stream.next_out = chunk_.data();
            stream.avail_out = static_cast<uInt>(chunk_.size());
        }
        if (finished || (flush == Z_NO_FLUSH && stream.avail_in == 0))
            return true;
    }
}

bool PngFileWriter::WriteRow(const uint32_t* row, const uint32_t* above, bool lastRow)
{
    uint8_t* out = piece_.data();
    *out++ = FILTER_UP;
    for (int32_t x = 0; x < width_; x += PIECE_PIXELS, out = piece_.data()) {
        const int32_t count = std::min(PIECE_PIXELS, width_ - x);
        FilterPixels(row + x, above + x, count, out);
        const bool lastPiece = x + count == width_;
        const size_t bytes = static_cast<size_t>(out - piece_.data()) + 3 * static_cast<size_t>(count);
        if (!Deflate(piece_.data(), bytes, lastRow && lastPiece ? Z_FINISH : Z_NO_FLUSH))
            return false;
    }
    return true;
}

bool PngFileWriter::WriteRows(const uint32_t* rows, int32_t count)
{
    if (!failed_ && rowsWritten_ == 0) {
        uint8_t header[13] = {};
        PutBigEndian32(header, static_cast<uint32_t>(width_));
        PutBigEndian32(header + 4, static_cast<uint32_t>(height_));
        header[8] = 8;  // bits per channel
        header[9] = 2;  // RGB; compression, filter method and interlace stay 0
        failed_ = !file_.Write(PNG_SIGNATURE, sizeof PNG_SIGNATURE) ||
                  !WriteChunk(file_, "IHDR", header, sizeof header);
    }
    if (count > height_ - rowsWritten_)
        failed_ = true;
    const size_t width = static_cast<size_t>(width_);
    for (int32_t r = count - 1; r >= 0 && !failed_; --r) {
        const uint32_t* row = rows + r * width;
        const uint32_t* above = r == count - 1 ? above_.data() : row + width;
        ++rowsWritten_;
        failed_ = !WriteRow(row, above, rowsWritten_ == height_);
    }
    // The lowest of these rows lies above the next call's first.
    if (!failed_ && count > 0)
        std::memcpy(above_.data(), rows, width * sizeof(uint32_t));
    return !failed_;
}

bool PngFileWriter::Finish()
{
    // A file the encoder gave up on is never put in place: ReplacingFile's
    // destructor removes it.
    if (failed_ || rowsWritten_ != height_ || !WriteChunk(file_, "IEND", nullptr, 0))
        return false;
    return file_.Commit();
}
