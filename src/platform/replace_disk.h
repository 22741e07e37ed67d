#pragma once
// The backend's replacement of a file, which ReplaceFileAtomically wraps for its observer.

#include <string_view>

namespace varnel::platform {

bool ReplaceFileOnDisk(std::string_view path, std::string_view bytes);

} // namespace varnel::platform
