#pragma once

// The arithmetic of the text progress bar, apart from any window or device context: where the
// bar, the block and the empty parts lie, the percentage, and where the text goes. All of it is a
// plain function of the client rectangle, the bar's fields and the text's measured size.

#include "platform/gdi/GdiTypes.h"

// The three areas of one paint. `bar` is the filled part (the block in marquee style), `after`
// the empty part past the bar's end and `before` the empty part behind a marquee block.
struct ProgressAreas {
    RECT bar{};
    RECT after{};
    RECT before{};
    bool drawAfter = true;
    bool drawBefore = true;
};

enum class ProgressOrientation { Horizontal, Vertical };
enum class ProgressStyle { Normal, Marquee };

// (position - lower) / (upper - lower), taken in double precision so no bound can overflow.
double ProgressFraction(int position, int lower, int upper);

// The highest position of a marquee block: the bar's length plus the block's.
int MarqueeLimit(int marqueePercent, int upper);

// The fraction as a whole percentage, halves rounded up.
int ProgressPercent(double fraction);

ProgressAreas ComputeProgressAreas(const RECT& client, double fraction,
                                   ProgressOrientation orientation, ProgressStyle style,
                                   int marqueePercent);

// The text's reference point: its top-left corner when horizontal; when vertical the point it
// runs upward from (the text covers x to x + cy across and y - cx to y along).
POINT PlaceProgressText(const RECT& client, SIZE text, ProgressOrientation orientation,
                        int textAlign);
