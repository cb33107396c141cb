#include <cstdint>

namespace veltrane {

// The console path of the writer: not drawn yet.
void write_to_console(const unsigned char*, std::int32_t) {}

}  // namespace veltrane
