// The existence test, opening and closing by file number and by record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/file_slot.h"

namespace veltrane {

// True when the path names a file, whether or not the process can open it
// for reading: a file without read permission, or one that another program
// holds without sharing, exists, and the open that follows fails on it. A
// missing file, a directory and an empty path are "not existing"; on POSIX so
// is anything that is not a regular file. The name is converted as the open
// converts it. Sets no last error number.
bool file_exists(const char* path);

// Opens `name` as file number 1 to 254. Mode, access and lock as in FileSlot;
// record length for random, input and output mode. Returns 0, 1 (bad number,
// slot busy, size not measurable) or 2 (no stream mode could open it). In
// binary mode with default access the stream is tried "r+b", then a new file
// is created if none exists, then "rb" (access becomes read); with
// kAccessExisting the same but for the creation. An existing file is never
// cut to length 0 by the fallback.
std::int32_t file_open(std::string name, std::int32_t mode, std::int32_t access, std::int32_t lock,
                       std::int32_t file_number, std::int32_t record_length);

// Closes a file number; 0 closes every file slot and returns 0. Closing a
// free slot, -1, or a number that names no record gives 1.
std::int32_t file_close(std::int32_t file_number);

// Writes out what the stream of a file number buffers and has the system put
// it on the disk; 3 when either fails.
std::int32_t file_flush(std::int32_t file_number);

// The most bytes file_check compares: it reads them into a buffer of this
// size on the stack.
inline constexpr std::uint32_t kMaxCheckedBytes = 16;

// Confirms, just before a write, that the stream of a file slot still holds
// the file that `name` names now, and that this file holds `expected` at the
// 1-based position (bytes past its end count as zeros). 0 when both hold;
// kChanged when the name names another file or none, or the bytes differ; 3
// when either identity or the bytes cannot be read; 1 for a number that is
// no open file slot or more than kMaxCheckedBytes bytes. The bytes are read
// from the file itself, past the stream's buffer: seek before the stream's
// next transfer.
std::int32_t file_check(std::int32_t file_number, std::string name, std::int64_t position,
                        const void* expected, std::uint32_t count);

// Locks `length` bytes from the 1-based position of a file slot against
// every other open of the file, waiting up to `wait_ms` (on the console's
// clock, in steps of 10 ms) for a lock held elsewhere. 0 when locked, and
// also when the file system has no locks (there is then nothing to wait
// for); 3 when it is still held elsewhere after the wait or refused
// otherwise; 1 for a number that is no open file slot, a position below 1 or
// a length of 0. file_unlock_range releases it: 0, or 3 when the release is
// refused (as Windows refuses it where nothing was locked).
std::int32_t file_lock_range(std::int32_t file_number, std::int64_t position, std::int64_t length,
                             std::uint32_t wait_ms);
std::int32_t file_unlock_range(std::int32_t file_number, std::int64_t position,
                               std::int64_t length);

// Closes every open file slot 1 to 254 through its own close operation and
// clears the table; does nothing unless a file was ever opened. The console
// and reserved records are not touched.
void close_all_slots();

using DeviceOpen = std::int32_t (*)(FileSlot* slot, char* name, std::size_t length);

// Record-level open: 1 when the record is already open; otherwise clears it,
// stores the arguments, and calls the device's open routine, clearing the
// record again when that fails.
std::int32_t slot_open(FileSlot* slot, char* name, std::size_t length, std::int32_t mode,
                       std::int32_t access, std::int32_t lock, std::int32_t record_length,
                       std::int32_t encoding, DeviceOpen device_open);

// Record-level close: 1 for a null or free record; otherwise the record's
// close operation runs and the record is cleared, free to be opened again,
// and the result is that of the close operation.
std::int32_t slot_close(FileSlot* slot);

// Positions a stream: origin 0 start, 1 current, 2 end (after writing out
// buffered bytes, from the length of the file behind it). 0 on success,
// non-zero when the position cannot be read or set, the origin is unknown or
// the target would lie before the start of the file.
std::int32_t stream_seek(std::FILE* stream, std::int64_t offset, std::int32_t origin);

// Helpers of the file device's open. stream_size: the length of the file
// behind a freshly opened stream as the mode sees it (output 0, append the
// current position, otherwise the end position), or -1 when it cannot be
// measured. The stream is not moved; with `rewind` it is put past the
// byte-order mark of an encoded file.
// stream_rewind: puts the stream at its start, past the byte-order mark of an
// encoded file; for plain bytes only when `rewind` is set.
std::int64_t stream_size(std::FILE* stream, std::int32_t mode, std::int32_t encoding, bool rewind);
void stream_rewind(std::FILE* stream, std::int32_t encoding, bool rewind);

}  // namespace veltrane
