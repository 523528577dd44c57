#include "controls/ProgressLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Coordinates far outside any surface still draw as nothing; keeping them within this bound
// means that a position far outside its range (the range may change after the position was
// set) cannot overflow the integer arithmetic that follows.
constexpr double kFarAway = 1 << 28;

LONG Truncate(double v) {
    return static_cast<LONG>(std::trunc(std::clamp(v, -kFarAway, kFarAway)));
}

// (length * percent + 50) / 100 in integers wide enough for any percent, then bounded.
LONG BlockLength(LONG length, int marqueePercent) {
    const std::int64_t block = (static_cast<std::int64_t>(length) * marqueePercent + 50) / 100;
    return static_cast<LONG>(std::clamp<std::int64_t>(block, -kFarAway, kFarAway));
}

void HorizontalMarquee(const RECT& r, double f, int percent, ProgressAreas& a) {
    const LONG w = r.right - r.left;
    const LONG e = r.left + Truncate(w * f);
    const LONG s = e - BlockLength(w, percent);
    a.bar.left = s;
    a.bar.right = e;
    if (s > r.left) {
        a.before.right = s;
    } else {
        a.drawBefore = false;
        a.bar.left = r.left;
    }
    if (e < r.right) {
        a.after.left = e;
    } else {
        a.drawAfter = false;
        a.bar.right = r.right;
    }
}

void VerticalMarquee(const RECT& r, double f, int percent, ProgressAreas& a) {
    const LONG h = r.bottom - r.top;
    const LONG t = r.bottom - Truncate(h * f);
    const LONG b = t + BlockLength(h, percent);
    a.bar.top = t;
    a.bar.bottom = b;
    if (b < r.bottom) {
        a.before.top = b;
    } else {
        a.drawBefore = false;
        a.bar.bottom = r.bottom;
    }
    if (t > r.top) {
        a.after.bottom = t;
    } else {
        a.drawAfter = false;
        a.bar.top = r.top;
    }
}

int SaturatedInt(double v) {
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(std::clamp(v, lo, hi)));
}

}  // namespace

double ProgressFraction(int position, int lower, int upper) {
    return (static_cast<double>(position) - lower) / (static_cast<double>(upper) - lower);
}

int MarqueeLimit(int marqueePercent, int upper) {
    const double n = (static_cast<double>(marqueePercent) + 100.0) * upper;
    return SaturatedInt((n + 0.5) * 0.01);
}

int ProgressPercent(double fraction) {
    return SaturatedInt(fraction * 100.0 + 0.5);
}

ProgressAreas ComputeProgressAreas(const RECT& r, double f, ProgressOrientation orientation,
                                   ProgressStyle style, int marqueePercent) {
    ProgressAreas a{r, r, r, true, true};
    const bool vertical = orientation == ProgressOrientation::Vertical;
    if (style == ProgressStyle::Marquee) {
        if (vertical) {
            VerticalMarquee(r, f, marqueePercent, a);
        } else {
            HorizontalMarquee(r, f, marqueePercent, a);
        }
        return a;
    }
    a.drawBefore = false;
    if (vertical) {
        a.bar.top = r.bottom - Truncate((r.bottom - r.top) * f);
        a.after.bottom = a.bar.top;
    } else {
        a.bar.right = r.left + Truncate((r.right - r.left) * f);
        a.after.left = a.bar.right;
    }
    return a;
}

POINT PlaceProgressText(const RECT& r, SIZE text, ProgressOrientation orientation, int textAlign) {
    const LONG cx = text.cx;
    const LONG cy = text.cy;
    if (orientation == ProgressOrientation::Vertical) {
        const LONG x = r.left + (r.right - cy - r.left) / 2;
        if (textAlign == 0) {
            return POINT{x, r.bottom - 3};
        }
        if (textAlign == 2) {
            return POINT{x, r.top + cx + 2};
        }
        return POINT{x, r.top + cx + (r.bottom - cx - r.top) / 2};
    }
    const LONG y = r.top + (r.bottom - cy - r.top) / 2;
    if (textAlign == 0) {
        return POINT{r.left + 2, y};
    }
    if (textAlign == 2) {
        return POINT{r.right - cx - 3, y};
    }
    return POINT{r.left + (r.right - cx - r.left) / 2, y};
}
