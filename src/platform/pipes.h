// The client side of a named pipe.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Opens "\\.\pipe\" + name for reading and writing, letting the server
// identify the caller but not act as it; when the pipe is busy, waits for it at
// most 2000 ms and tries once more. Writes the bytes as one message and closes
// the pipe. 0 or the Windows error code of the failing step.
uint32_t WritePipeMessage(const std::string& name, const std::string& bytes);

}  // namespace platform
