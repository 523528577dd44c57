#pragma once

// The ids of the results the history holds, to tell a repeat (QoS 1 delivers a result again
// after a reconnection; a station's spool sends again what the broker may already have had).
// Each id is kept as a 64-bit hash in one flat table with linear probing, 8 bytes a result and
// no allocation per id: a million ids cost 16 MB, where a node-based set costs three times that.
// Two different ids sharing a hash would hide one of them; among a million random ids that
// happens with a chance of about one in 30 million.
//
// Threading rules: one owner at a time.

#include <cstdint>
#include <string_view>
#include <vector>

class RecordKeySet {
  public:
    static std::uint64_t KeyOf(std::string_view id);

    // False when `key` is there already.
    bool Insert(std::uint64_t key);
    bool Contains(std::uint64_t key) const;
    void Erase(std::uint64_t key);
    std::size_t Size() const { return m_size; }

  private:
    std::size_t Home(std::uint64_t key) const;
    std::size_t Find(std::uint64_t key) const;  // its place, or an empty one
    void Grow();

    std::vector<std::uint64_t> m_slots;  // 0: empty
    std::size_t m_size = 0;
};
