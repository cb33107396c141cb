// Where the POSIX console API finds its console host. With no host attached
// every standard handle is "not a console" and output goes to the descriptors.
#pragma once

namespace veltrane::host {

class ConsoleHost;

// Routes every Windows-named console function to `host` from now on; nullptr
// detaches. The host must outlive its attachment.
void attach_console_host(ConsoleHost* host);

// The attached host, or nullptr.
ConsoleHost* attached_console_host();

}  // namespace veltrane::host
