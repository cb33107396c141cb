// The tool's own logic: greet, find the target from the command tail, check
// the patch marker, show and replace both variable IDs, and end the process.
#pragma once

namespace veltrane {

// One straight pass; every path ends the process with exit code 0.
[[noreturn]] void run_sequence();

}  // namespace veltrane
