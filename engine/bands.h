// The picture of RenderView computed a band of rows at a time, for
// mandel-render, which writes each band to its file while the next is
// computed. Each row gets the plane values its strip gives it in RenderView
// (the strip's top edge less the strip's step, summed row by row), so the
// pixels equal RenderView's for the same threadCount, in whichever order the
// bands come. Called on one thread; the workers run between StartBand and
// FinishBand.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/strips.h"

// The order of the bands: from the image buffer's first row (sampled at
// Ymax, the bitmap file's order) or from its last (Ymin, the top of the
// picture, the PNG file's order). The rows inside a band always lie as in
// the image buffer.
enum class BandOrder { FirstRowFirst, LastRowFirst };

// Where a band lies in the image buffer.
struct BandRows {
    int32_t first;  // its first row, 0 being the row at Ymax
    int32_t count;
};

class BandRenderer {
public:
    // Lays out the strips of the view and walks their running sums once, to
    // know where each band begins in either order. Bands hold bandRows rows
    // (at least 1, at most the height). Throws std::bad_alloc when the plane
    // values or the bands' starts (16 bytes a band) cannot be held. A picture without rows or columns is finished at
    // once.
    BandRenderer(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                 int32_t height, int32_t bandRows, BandOrder order);
    // Waits for a band still being computed.
    ~BandRenderer();
    BandRenderer(const BandRenderer&) = delete;
    BandRenderer& operator=(const BandRenderer&) = delete;

    // The most rows a band has: the room each band's pixels need is
    // MaxBandRows() x width.
    int32_t MaxBandRows() const { return bandRows_; }
    bool Finished() const { return bandsStarted_ == bandCount_ && !computing_; }

    // Starts computing the next band into pixels, shared among threadCount
    // workers, and returns where the band lies; the caller may do other work
    // until FinishBand. Nothing to start (a count of 0) once every band has
    // started.
    BandRows StartBand(uint32_t* pixels);
    // Waits for the band StartBand began and returns its pixel-iterations;
    // 0 when none was started.
    uint64_t FinishBand();

private:
    // Where a row lies in the strips, and its y: the running sum's state.
    struct RowPlace {
        int32_t strip;
        int32_t rowInStrip;
        double y;
    };
    int32_t NextStripWithRows(int32_t strip) const;
    RowPlace StripTop(int32_t strip) const;
    // Moves one row down the strips, as the strip renderer's running sum does.
    void StepRow(RowPlace& place) const;

    struct Share {
        const double* rowY;     // the band's y values, one a row
        const double* rowStep;  // the step of each row's strip
        uint32_t* pixels;       // the band's first pixel
        double Xmin, Xmax;
        int32_t width, first, end;  // the share's rows of the band
        uint64_t iterations;
        HANDLE done;
    };
    static void ComputeShare(Share& share);
    static DWORD WINAPI ShareThreadProc(LPVOID argument);

    StripJob strips_[MAX_STRIPS];
    int32_t stripCount_ = 0;
    double stripStep_[MAX_STRIPS] = {};
    int32_t width_, height_;
    double Xmin_, Xmax_;
    int32_t bandRows_ = 1;
    int32_t bandCount_ = 0;
    BandOrder order_;
    // Where each band's first row lies, in the image buffer's order.
    std::vector<RowPlace> bandStarts_;
    int32_t bandsStarted_ = 0;
    // The band being computed: its y values, its strips' steps, its workers.
    std::vector<double> bandY_;
    std::vector<double> bandStep_;
    Share shares_[MAX_STRIPS];
    int32_t workers_ = 0;
    bool computing_ = false;
};
