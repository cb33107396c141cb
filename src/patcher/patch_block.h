// The patch block in the target file: little-endian 32-bit words from file
// offset 240948 (0x3AD34), the marker first, then the IDs in the order a run
// shows and asks for them. Positions are 1-based, as the file layer takes
// them. The run sequence reads, locks, checks and writes the block by these
// names only: a new word is a new Word before kWordCount and its row in the
// run sequence's table of IDs.
#pragma once

#include <cstdint>

namespace veltrane::patch_block {

enum Word : std::int32_t { kMarker, kItemId, kEventId, kWordCount };

inline constexpr std::int32_t kPosition = 240949;  // of the block's first byte
inline constexpr std::uint32_t kWordSize = 4;
inline constexpr std::uint32_t kSize = kWordCount * kWordSize;
inline constexpr std::uint32_t kMarkerValue = 195;  // bytes C3 00 00 00

constexpr std::int32_t position_of(Word word) {
  return kPosition + word * static_cast<std::int32_t>(kWordSize);
}

}  // namespace veltrane::patch_block
