#pragma once

// The progress bar's arithmetic. Sizes and offsets are 64-bit: an image over 2 GiB must not
// show a negative size or a progress that runs backwards, while the box's own fields keep their
// 32- and 16-bit widths.

#include <cstdint>
#include <string>

// Range of the progress bar in this system.
inline constexpr int kProgressRange = 10000;

// The whole percentage of offset over size, times 100: 0..10000 in steps of 100 while the offset
// lies inside the image, above 10000 for a request past its end (the bar clamps it). An empty
// image has no percentage: nothing requested yet shows 0, anything requested shows it complete.
std::int64_t ProgressPosition(std::int64_t offset, std::int64_t imageSize);

// "( %d / %d ) Bytes" with the two numbers in full.
std::string ProgressText(std::int64_t offset, std::int64_t imageSize);
