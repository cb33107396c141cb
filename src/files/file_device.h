// The file device: disk files on the C library's buffered streams. The
// record's device_data holds the stream with its buffer, owned by the record
// from open to close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "files/file_slot.h"
#include "platform/file_stream.h"

namespace veltrane {

// The device's open routine for slot_open: opens `name` as the record's mode
// and access ask, measures its size, and makes the record a file device record.
std::int32_t file_device_open(FileSlot* slot, char* name, std::size_t length);
extern const FileOps file_device_ops;

// Names come with '/' between components: turns them into the platform's own
// separator, in place. The existence test, the open and the check before each
// word all convert a name through this one function.
void use_platform_separators(char* name, std::size_t length);

// The file device's part of file_check, at a 0-based offset; converts the
// name's separators in place as the open does; the result code unstored.
std::int32_t file_device_check(FileSlot* slot, char* name, std::size_t length, std::int64_t offset,
                               const void* expected, std::uint32_t count);

// The check's verdict on the held file's identity and the one the name gives
// now: 0 the same file, kChanged another, 3 when that cannot be told.
std::int32_t compare_identities(const platform::FileIdentity& held,
                                const platform::FileIdentity& named);

// Makes `slot` a file device record over a freshly opened stream, which it
// then owns: full buffering in an 8192-byte buffer that lives with the stream.
// The identity of the file behind it is read here, for file_check.
// False, with the stream closed, when no memory is left for the buffer.
bool file_device_adopt(FileSlot* slot, std::FILE* stream);

}  // namespace veltrane
