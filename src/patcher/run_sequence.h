// The tool's own logic: greet, find the target from the command tail, check
// the patch marker, show and replace each ID of the block, and end the process.
#pragma once

namespace veltrane {

// One straight pass; every path ends the process with exit code 0.
[[noreturn]] void run_sequence();

}  // namespace veltrane
