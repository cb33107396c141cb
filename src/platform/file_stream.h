// File streams: the C library extras that the Windows C runtime has and other
// platforms lack, one small wrapper each, plus the stream opening rules the
// file layer relies on.
#pragma once

#include <cstdint>
#include <cstdio>

namespace veltrane::platform {

// Opens a stream like fopen. On POSIX only regular files are opened, and the
// open never blocks (a FIFO or device gives null), so a stray path cannot hang
// the tool.
std::FILE* open_stream(const char* name, const char* mode);

// True when the name names a file: one that open_stream(name, "r") would
// open, and also one that is there but refuses to open (no read permission,
// held by another program without sharing) or whose place the process may not
// look into. False for nothing there and for a folder, and on POSIX for
// anything that is not a regular file. Keeps nothing open, and on POSIX makes
// no stream at all.
bool names_file(const char* name);

// Creates a file that does not exist yet and opens it for reading and writing
// ("w+b" semantics). Gives null, and touches nothing, when the name exists.
std::FILE* create_new_stream(const char* name);

// The separator of path components that file names are converted to before
// they are opened: '\\' on Windows, '/' elsewhere.
char path_separator();

// Length in bytes of the operating-system file behind the stream, or -1.
std::int64_t stream_file_length(std::FILE* stream);

// 0-based byte offset of the stream (fgetpos); false when it cannot be read.
bool stream_get_position(std::FILE* stream, std::int64_t* offset);

// Puts the stream at a 0-based byte offset (fsetpos): pending output is
// written out, read-ahead dropped; an offset past the end is accepted.
bool stream_set_position(std::FILE* stream, std::int64_t offset);

// Has the system put what it holds of the file behind the stream on the disk
// (_commit, fsync); true on success only: a sync that fails for any reason
// leaves the bytes' fate unknown.
bool stream_commit(std::FILE* stream);

// What tells one file from another while both exist: device and inode number
// on POSIX, volume serial number (0 where the volume has none) and file index
// on Windows.
struct FileIdentity {
  std::uint64_t volume;
  std::uint64_t index;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file behind the stream, or of the file a name names
// now; false when it cannot be read, for a name with errno ENOENT when
// nothing is there.
bool stream_identity(std::FILE* stream, FileIdentity* identity);
bool name_identity(const char* name, FileIdentity* identity);

// Reads up to `count` bytes at a 0-based offset from the file behind the
// stream itself, past whatever the stream buffers; the bytes read, fewer at
// the end of the file, or -1 when the read fails. The stream and the position
// of the file behind it are left as they were.
std::int64_t stream_read_through(std::FILE* stream, std::int64_t offset, void* bytes,
                                 std::uint32_t count);

// What one attempt at a byte-range lock came to.
enum class RangeLock {
  kLocked,         // the range is this stream's until unlocked or closed
  kHeldElsewhere,  // another open of the file holds part of it: try again later
  kUnsupported,    // the file system has no locks (refused as not supported or implemented)
  kFailed,         // refused for another reason
};

// Takes an exclusive lock on a byte range of the file behind the stream
// against every other open of the file, in this process or another, without
// waiting. POSIX: an open-file-description lock where the system has them, a
// process-associated one elsewhere; both advisory, they stop only other
// lockers. Windows: a mandatory lock, which also makes other handles' reads
// and writes of the range fail while it is held.
RangeLock stream_lock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length);

// Releases what stream_lock_range took; true on success.
bool stream_unlock_range(std::FILE* stream, std::uint32_t start, std::uint32_t length);

// Opens the null device on any of standard input, output and error that the
// parent left closed, so that no file the tool opens later takes their place
// and receives its console output or feeds its input.
void open_closed_standard_streams();

}  // namespace veltrane::platform
