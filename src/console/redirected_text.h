// Redirected standard input as the item reader takes it: one byte a
// character, whatever encoding a text editor saved the input in.
//
// - A byte-order mark at the very start says the encoding: UTF-8, or UTF-16
//   in either byte order.
// - Without a mark the input is read as UTF-8 while it is UTF-8; at the first
//   byte that cannot be, the rest is read in the system's own code page for
//   text files (platform/system_text.h: the ANSI code page under Windows),
//   or byte for byte where the system has none. Input that is all ASCII is
//   thus delivered byte for byte.
// - A decoded character is delivered as its narrow form when that is ASCII
//   (`１２` as "12", the ideographic space as a blank), and as one '?'
//   otherwise: no character outside ASCII is part of a number.
#pragma once

#include <cstdint>

namespace veltrane {

// Reads up to *count bytes of text from the runtime's standard input
// stream; zero-fills the rest of the request, and *count becomes the bytes
// delivered, fewer at the end of the input. An odd byte at the very end of
// UTF-16 is dropped. The result code of the stream's read: 0, or 3 when the
// system refused a read.
std::int32_t read_redirected_text(void* buffer, std::uint32_t* count);

}  // namespace veltrane
