#pragma once
// The running program's own file.

#include <string>

namespace kelm {

// The executable's full path; empty when the system cannot give it. A buffer
// that turns out too small grows instead of yielding a cut path.
std::wstring CurrentModulePath();

} // namespace kelm
