// What the POSIX file streams offer beyond platform/file_stream.h: the seam
// of the lock call, so that tests can give the answers of kernels and file
// systems this machine does not have.
#pragma once

struct flock;

namespace veltrane::platform {

// Sets or clears a byte-range lock as fcntl(descriptor, command, range)
// does: 0, or -1 with errno set.
using RangeLockCall = int (*)(int descriptor, int command, struct flock* range);

// Makes stream_lock_range and stream_unlock_range go through `call`; null
// puts fcntl back.
void set_range_lock_call(RangeLockCall call);

}  // namespace veltrane::platform
