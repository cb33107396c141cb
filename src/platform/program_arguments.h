// The argument vector, decoded from the command line as the platform gives it.
#pragma once

namespace veltrane::platform {

// Gives the argument vector the tool works with, in place of the one main
// received. Windows: the vector is split from the wide command line, every
// argument is UTF-8 whatever the ANSI code page, and an argument holding '*'
// or '?' that matches files is replaced by the matching names, except a
// sole "/?", which stays the usage question. POSIX: the
// arguments are the bytes given, as they come, the shell having expanded
// them. The vector lives for the whole process.
void program_arguments(int* argc, char*** argv);

}  // namespace veltrane::platform
