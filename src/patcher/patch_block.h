// The patch block in the target file: little-endian 32-bit words from file
// offset 240948 (0x3AD34), the marker first, then the IDs in the order a run
// shows and asks for them. kOffset counts from 0, as the guides do; the file
// layer takes record positions, which count from 1. The run sequence reads,
// locks, checks and writes the block by these names only: a new word is a new
// Word before kWordCount and its row in the run sequence's table of IDs.
#pragma once

#include <cstdint>

namespace veltrane::patch_block {

enum Word : std::int32_t { kMarker, kItemId, kEventId, kWordCount };

inline constexpr std::int32_t kOffset = 240948;               // of the block's first byte, from 0
inline constexpr std::int32_t kRecordPosition = kOffset + 1;  // the same byte, from 1
inline constexpr std::uint32_t kWordSize = 4;
inline constexpr std::uint32_t kSize = kWordCount * kWordSize;
inline constexpr std::uint32_t kMarkerValue = 195;  // bytes C3 00 00 00

// The record position (from 1) of a word's first byte.
constexpr std::int32_t record_position_of(Word word) {
  return kRecordPosition + word * static_cast<std::int32_t>(kWordSize);
}

}  // namespace veltrane::patch_block
