// The command tail: the arguments after the tool's own name.
#pragma once

#include <string>

namespace veltrane {

// Arguments 1 to count-1 joined by exactly one blank; empty when there are none.
std::string command_tail();

// A copy of argument `index`, or the empty text when the index is not below
// the argument count.
std::string command_argument(int index);

}  // namespace veltrane
