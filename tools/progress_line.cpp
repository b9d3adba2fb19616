// The progress line (see progress_line.h). Carriage returns alone move the
// cursor, so the line works the same in a Windows console and a terminal.
#include "tools/progress_line.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr std::chrono::milliseconds REDRAW_INTERVAL{100};

// m:ss, or h:mm:ss from an hour on.
std::string Clock(double seconds)
{
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

ProgressLine::ProgressLine(bool wanted)
    : shown_(wanted && isatty(fileno(stderr))), start_(std::chrono::steady_clock::now()),
      lastDrawn_(start_)
{
}

void ProgressLine::Update(int32_t done, int32_t total)
{
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || done <= 0 || total <= 0 || now - lastDrawn_ < REDRAW_INTERVAL)
        return;
    lastDrawn_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double left = elapsed * (total - done) / done;
    char text[96];
    const int width = std::snprintf(text, sizeof text, "%3d%% of rows, %s elapsed, about %s left",
                                    static_cast<int>(100.0 * done / total),
                                    Clock(elapsed).c_str(), Clock(left).c_str());
    // Spaces cover what a longer line before left on the terminal.
    std::fprintf(stderr, "\r%-*s", static_cast<int>(drawnWidth_), text);
    if (static_cast<size_t>(width) > drawnWidth_)
        drawnWidth_ = static_cast<size_t>(width);
}

void ProgressLine::Clear()
{
    if (drawnWidth_ > 0)
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnWidth_), "");
    drawnWidth_ = 0;
}
