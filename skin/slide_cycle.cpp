#include "skin/slide_cycle.h"

#include <algorithm>
#include <cmath>

namespace kelm {

SlideFrame ComputeSlideFrame(long long elapsedMs, double displaySeconds, double transitionSeconds,
                             std::size_t slideCount, int areaWidth)
{
    SlideFrame frame;
    if (slideCount == 0)
        return frame;

    const long long displayMs = std::max(0LL, std::llround(displaySeconds * 1000.0));
    const long long transitionMs = std::max(0LL, std::llround(transitionSeconds * 1000.0));
    const long long cycleMs = displayMs + transitionMs;
    elapsedMs = std::max(0LL, elapsedMs);

    frame.kind = SlideFrame::Kind::Still;
    if (cycleMs == 0)
        return frame;

    const long long cycle = elapsedMs / cycleMs;
    const long long phaseMs = elapsedMs - cycle * cycleMs;
    frame.current = static_cast<std::size_t>(cycle % static_cast<long long>(slideCount));
    frame.next = (frame.current + 1) % slideCount;
    if (phaseMs <= displayMs)
        return frame;

    if (frame.next == frame.current) {
        frame.kind = SlideFrame::Kind::Hidden;
        return frame;
    }
    frame.kind = SlideFrame::Kind::Transition;
    frame.shift = static_cast<int>(static_cast<long long>(areaWidth) * (phaseMs - displayMs) / transitionMs);
    return frame;
}

} // namespace kelm
