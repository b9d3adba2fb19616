// The picture of RenderView computed a band of rows at a time, for
// mandel-render, which shows its progress between bands. Each row gets the
// plane values its strip gives it in RenderView (the strip's top edge less
// the strip's step, summed row by row), so the pixels equal RenderView's for
// the same threadCount. Called on one thread, which waits in RenderNextBand.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/strips.h"

class BandRenderer {
public:
    // Lays out the strips of the view and holds the plane y of up to
    // bandRows rows (bandRows at least 1; throws std::bad_alloc when even
    // that cannot be had). The pixels stay the caller's. A picture without
    // rows or columns is finished at once.
    BandRenderer(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                 int32_t height, uint32_t* pixels, int32_t bandRows);

    int32_t RowsDone() const { return rowsDone_; }
    bool Finished() const { return rowsDone_ == height_; }

    // Computes the next band's rows, top down, shared among threadCount
    // workers, and returns their pixel-iterations; 0 once Finished.
    uint64_t RenderNextBand();

private:
    int32_t NextStripWithRows(int32_t strip) const;
    void EnterStrip(int32_t strip);
    // Moves rowY_ one row down its strip (the running sum the kernel keeps),
    // or to the next strip's top edge after the strip's last row.
    void StepRow();

    StripJob strips_[MAX_STRIPS];
    int32_t stripCount_;
    int32_t width_, height_;
    uint32_t* pixels_;
    double Xmin_, Xmax_;
    int32_t rowsDone_ = 0;
    // Where the next row lies: its strip, its row in the strip, its y and
    // the strip's step.
    int32_t strip_ = 0;
    int32_t rowInStrip_ = 0;
    double rowY_ = 0.0;
    double stripStep_ = 0.0;
    // y of each row of the band being computed, and its strip's step.
    std::vector<double> bandY_;
    std::vector<double> bandStep_;
};
