// What the tool says about itself when asked in the platform's usual way.
#pragma once

#include <string>

namespace veltrane::platform {

// The text to print when `argument` asks for the usage or the version as
// programs of this platform are asked: "--help" and "-h" for the usage and
// "--version" for "veltrane X.Y.Z" on POSIX, "/?" for the usage on Windows.
// Lines end as the platform's do. Null for any other argument.
const char* self_description(const std::string& argument);

}  // namespace veltrane::platform
