// Redirected standard input as the item reader takes it: bytes, with the
// byte-order mark that Windows tools put at the start of a text file
// understood. A UTF-8 mark is skipped; UTF-16 with its mark, either byte
// order, is read as the characters it holds, one byte each. Input without a
// mark is delivered byte for byte.
#pragma once

#include <cstdint>

namespace veltrane {

// Reads up to *count bytes of text from the runtime's standard input
// stream; zero-fills the rest of the request, and *count becomes the bytes
// delivered, fewer at the end of the input. In UTF-16 each unit outside
// ASCII, which no number holds, becomes '?', and an odd byte at the very
// end is dropped. The result code of the stream's read: 0, or 3 when the
// system refused a read.
std::int32_t read_redirected_text(void* buffer, std::uint32_t* count);

}  // namespace veltrane
