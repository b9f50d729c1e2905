#pragma once
// Registry values written after a successful first installation: where the
// product's program lies and which interface language the installation used.

#include <cstdint>
#include <string>

namespace kelm {

constexpr int32_t kEnglishUsLanguageId = 1033;

// Writes the values for the program at `exePath` under the product key
// `registryPath` (below HKLM and HKCU) for the language `langId`.
void WriteInstallationValues(const std::wstring& registryPath, const std::wstring& exePath, int32_t langId);

// The engine's step: nothing when the run updated an installed product,
// otherwise the values for the configured folder, program and language. Always 1.
int32_t RegisterInstallation();

} // namespace kelm
