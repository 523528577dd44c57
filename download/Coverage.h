#pragma once

// Which bytes of the image the box has asked for at least once, as merged ranges. A box that
// reads the image in order keeps a single range, so the memory follows the box's gaps, not the
// image's size or the hours a station runs (a new box starts a new Coverage).
//
// Threading rules: none; one owner.

#include <cstdint>
#include <map>

class Coverage {
  public:
    // Adds [offset, offset + length) clipped to [0, limit).
    void Add(std::int64_t offset, std::int64_t length, std::int64_t limit);
    std::int64_t Bytes() const { return m_bytes; }
    // Bytes over `size`, 0..1; an empty image is wholly covered.
    double Fraction(std::int64_t size) const;
    void Clear();

  private:
    std::map<std::int64_t, std::int64_t> m_ranges;  // start -> end, disjoint, not touching
    std::int64_t m_bytes = 0;
};
