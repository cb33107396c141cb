// Conversion of scanned items to numbers. Parsers in the from_chars shape:
// a pointer range in, no exceptions, an explicit result.
#pragma once

#include <cstdint>

namespace veltrane {

// Decimal, or "&H"/"&O"/"&B" radix 16/8/2. No digits give 0; values above
// 4294967295 give 4294967295, with either sign; otherwise a "-" negates
// modulo 2^32.
std::uint32_t convert_integer_item(const char* first, const char* last) noexcept;

// The longest leading decimal floating-point number ("D" read as "E"); 0 when
// there is none. Too large gives infinity.
double convert_float_item(const char* first, const char* last) noexcept;

// Rounds half to even; a magnitude of 2^63 or more (infinity, not-a-number)
// gives 0; otherwise the low 32 bits of the signed 64-bit value.
std::uint32_t round_to_u32(double value) noexcept;

}  // namespace veltrane
