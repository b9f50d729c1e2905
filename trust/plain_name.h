#pragma once
// File names that come from the manifest or the version descriptor. Such a
// value is joined to a folder the installer trusts, so it must stay in that
// folder: one plain name, nothing the system reads as a folder, a drive, a
// stream or a device, and nothing the system would strip from its end.

#include <string_view>

namespace kelm {

// True for a plain file name: not empty, at most 255 characters, no "\", "/",
// ":", control or wildcard characters, no "..", no reserved device name (CON,
// PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension), no trailing
// dot or blank.
bool IsPlainFileName(std::wstring_view name) noexcept;

} // namespace kelm
