// The last error number: every console, input and file operation stores its
// result code here before returning it.
#pragma once

#include <cstdint>

namespace veltrane {

// Result codes shared by the console, input and file operations.
enum ResultCode : std::int32_t {
  kSuccess = 0,
  kBadCall = 1,      // bad file number, slot busy or free, negative position, missing operation
  kNotFound = 2,     // no stream mode could open the file
  kIoFailure = 3,    // short write, failed seek or lock
  kNoTypedLine = 4,  // the input prompt could not obtain a typed line
  kChanged = 5,      // the file at the name, or its bytes, is no longer as the run holds it
};

std::int32_t last_error();

// Stores the code as the last error number and returns it, so that an
// operation can end with `return set_last_error(code);`.
std::int32_t set_last_error(std::int32_t code);

}  // namespace veltrane
