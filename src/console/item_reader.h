// The item reader: scans the next item from the input source and converts it
// to a number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/input_source.h"

namespace veltrane {

// Longest item kept by scan_item.
inline constexpr std::size_t kItemLimit = 67;

struct ScannedItem {
  std::string text;
  bool floating_point_look;
};

// Reads one item: blanks and tabs skipped, quotes, commas and line ends as
// separators, at most `limit` characters kept.
ScannedItem scan_item(InputContext& context, std::size_t limit);

// Converts the next item to an unsigned 32-bit value and stores it; always 0.
std::int32_t input_read_u32(std::uint32_t* destination);

}  // namespace veltrane
