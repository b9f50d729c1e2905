#pragma once
// The server's version descriptor ("version.xml") and the decision whether this
// client may install: go on, the product is already there, another product is
// there, or this client is too old.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/installed_flags.h"
#include "runlog/run_outcome.h"

namespace kelm {

struct InstallerConfig;

enum VersionCheckResult : int32_t {
    Proceed = 0,
    AlreadyInstalled = 1,
    ClientTooOld = 2,
    NoInstalledInfo = 3,
    DescriptorUnavailable = 4, // set by the client check, never by EvaluateVersionCheck
    OtherProductInstalled = 6,
};

// Dotted four-part version, least significant first.
struct ProductVersion {
    uint32_t revision = 0; // fourth component
    uint32_t build = 0;    // third
    uint32_t minor = 0;    // second
    uint32_t major = 0;    // first

    bool operator==(const ProductVersion&) const = default;
};

// The largest version descriptor taken: a larger reply is no descriptor and is
// not read on.
inline constexpr std::size_t kMaxDescriptorSize = 1024 * 1024;

// Reads the descriptor into config.manifest (product code, the two release
// records and targetVersion). False when the file is missing, not well-formed,
// or its root is not "kelmwebinstaller" (a captive portal's or a proxy's page is
// no descriptor, however well-formed): nothing is read then.
bool LoadVersionDescriptor(InstallerConfig& config, const std::wstring& path);
bool LoadVersionDescriptor(const std::wstring& path); // into theConfig
// The same from the bytes that came from the server (`source` names them in
// the log); more than kMaxDescriptorSize bytes are no descriptor.
bool LoadVersionDescriptorBytes(InstallerConfig& config, const std::string& bytes, const std::wstring& source);

// "major.minor.build.revision"; texts shorter than 7 characters or without exactly
// four non-empty dotted parts give the zero version.
ProductVersion ParseProductVersion(const std::wstring& text);

// Whether a is newer than b by major, minor and revision; the build (third)
// component takes no part.
bool IsNewerVersion(const std::wstring& a, const std::wstring& b);

VersionCheckResult EvaluateVersionCheck(const InstallerConfig& config, bool productInstalled,
                                        bool relatedProductInstalled);
VersionCheckResult EvaluateVersionCheck(); // theConfig and the application's flags

// The decision in a few words, for the run's log.
const wchar_t* DescribeVersionCheck(int32_t result) noexcept;
// The exit code of a run that stops on this decision (Proceed: Installed).
ExitCode ExitCodeForVersionCheck(int32_t result) noexcept;

} // namespace kelm
