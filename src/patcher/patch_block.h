// The patch block in the target file: three little-endian 32-bit words at file
// offset 240948 (0x3AD34). Positions are 1-based, as the file layer takes them.
#pragma once

#include <cstdint>

namespace veltrane::patch_block {

inline constexpr std::int32_t kMarkerPosition = 240949;
inline constexpr std::uint32_t kMarkerValue = 195;  // bytes C3 00 00 00
inline constexpr std::int32_t kItemIdPosition = 240953;
inline constexpr std::int32_t kEventIdPosition = 240957;
inline constexpr std::uint32_t kWordSize = 4;

}  // namespace veltrane::patch_block
