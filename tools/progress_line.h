// The line mandel-render keeps rewriting on standard error while it renders,
// when standard error is a terminal: the share of rows in the file, the time
// so far and an estimate of the time left to the file's end. Main thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

class ProgressLine {
public:
    // Shows the line only when wanted and standard error is a terminal;
    // otherwise every call does nothing. The clock starts here.
    explicit ProgressLine(bool wanted);

    // Rewrites the line for done of total rows, at most ten times a second
    // (and not before a tenth of a second has passed).
    void Update(int32_t done, int32_t total);
    // Blanks the line and leaves the cursor at its start.
    void Clear();

private:
    bool shown_;
    std::chrono::steady_clock::time_point start_, lastDrawn_;
    size_t drawnWidth_ = 0;  // characters of the line on the terminal
};
