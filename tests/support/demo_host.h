#pragma once
// A fresh copy of the demo host (tools/make_demo_host.sh) in a temporary prefix.

#include "temp_prefix.h"

namespace varnel::test {

// Fills the prefix with the demo host; false when the script or its Windows pieces are missing.
// realistic: the host as its installer leaves it (tools/make_demo_host.sh --realistic).
bool MakeDemoHost(const TempPrefix& prefix, bool realistic = false);

inline constexpr const char* kDemoHostExe = "C:\\totalcmd\\TOTALCMD.EXE";
inline constexpr const char* kDemoHostIni = "C:\\totalcmd\\wincmd.ini";

} // namespace varnel::test
