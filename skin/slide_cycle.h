#pragma once
// The slide show's timing: each slide stands still, then slides out to the left
// while the next one comes in from the right. Pure arithmetic on whole
// milliseconds, so that cycle boundaries fall exactly where the timings say.

#include <cstddef>

namespace kelm {

struct SlideFrame {
    enum class Kind {
        Empty,      // no slides
        Still,      // `current` stands still
        Transition, // `current` shifted left by `shift`, `next` follows on its right
        Hidden,     // a single slide during its transition: nothing is drawn
    };
    Kind kind = Kind::Empty;
    std::size_t current = 0;
    std::size_t next = 0;
    int shift = 0;
};

// The frame at elapsedMs since the show's origin, for slides standing
// displaySeconds and moving over transitionSeconds across an area areaWidth wide.
SlideFrame ComputeSlideFrame(long long elapsedMs, double displaySeconds, double transitionSeconds,
                             std::size_t slideCount, int areaWidth);

} // namespace kelm
