#pragma once
// The backend's replacement of a file, which ReplaceFileAtomically wraps for its observer.

#include "util/byte_source.h"

#include <string_view>

namespace varnel::platform {

// The file gets the source's bytes, read and written a block at a time.
bool ReplaceFileOnDisk(std::string_view path, ByteSource& source);

} // namespace varnel::platform
