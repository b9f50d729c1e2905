#pragma once
// Folders only the system and the administrators can write. The installer runs
// with administrator rights and starts or installs what it keeps in its work
// folder, so nobody else may be able to put a file there, or to turn a folder
// of its path into a link to somewhere else.
//
// A folder passes when it and every folder between it and the base (the
// machine's program data) is a real folder, not a junction or a symbolic link
// (no reparse point), is owned by the system, the administrators or the Windows
// installer service (TrustedInstaller) (any other owner can change the folder's
// access list, and so its content, without administrator rights), and its
// access list lets nobody else replace what it holds. The installer's own
// folders get a protected access list when they are made and at every start.

#include <windows.h>

#include <string>
#include <vector>

namespace kelm {

enum class FolderVerdict {
    Fine,
    NotCreatable,  // a folder of the path is missing and could not be made
    ReparsePoint,  // a folder of the path is a junction or a symbolic link
    ForeignOwner,  // a folder of the path belongs to somebody who is no administrator
    OthersMayChange, // a folder's access list lets somebody else replace what it holds
    Unreadable,    // a folder of the path could not be opened or its owner read
    NotRestricted, // the access list could not be set on a folder of the installer's own
};

struct AdminFolderCheck {
    FolderVerdict verdict = FolderVerdict::Fine;
    std::wstring folder; // the folder the verdict is about (the whole path when Fine)
    DWORD error = 0;     // the system's error, where one was given

    bool Passed() const noexcept { return verdict == FolderVerdict::Fine; }
};

// A few words for the log and the message ("it is a junction or a symbolic link", ...).
const wchar_t* DescribeFolderVerdict(FolderVerdict verdict) noexcept;

// The machine's program data folder (%ProgramData%), without trailing backslash;
// empty when the system does not give it.
std::wstring ProgramDataFolder();

// True for the owners that need administrator rights to be: SYSTEM,
// Administrators and TrustedInstaller.
bool IsAdministrativeOwner(PSID owner) noexcept;

// Whether an access list lets anybody but SYSTEM, the administrators and
// TrustedInstaller replace what the object holds or change its list (delete,
// delete a child, change the list or the owner); with itsContentToo, also write
// its content. Entries that only pass on to new children are left out.
bool AccessListLetsOthersChange(PSECURITY_DESCRIPTOR descriptor, bool itsContentToo) noexcept;

// Whether this file system keeps the owners of files: the system folder's owner
// is an administrative one wherever it does (it is TrustedInstaller on
// Windows). Where it does not, every folder reads as owned by the running
// account and the owner rule cannot be applied (the reparse rule still is).
bool FileSystemKeepsOwners();

// base\levels[0]\...\levels[n-1], made where missing (with owner Administrators
// and the protected access list: full control for the system and the
// administrators, reading for the users), then checked from base down. The
// levels from `restrictFrom` on are the installer's own: they get the protected
// access list again if they existed already. Levels are plain names.
AdminFolderCheck PrepareAdminOnlyFolder(const std::wstring& base, const std::vector<std::wstring>& levels,
                                   size_t restrictFrom);

// Whether only administrators can change the file at `file` (a local path): the
// file and every folder from its drive's root down is itself, not a link, and
// has an administrative owner (where the file system keeps owners).
AdminFolderCheck CheckAdminOnlyFile(const std::wstring& file);

// Makes `parent\name`, which must not exist yet, with the protected access
// list; false when it existed or could not be made (GetLastError tells).
bool CreateFreshAdminOnlyFolder(const std::wstring& parent, const std::wstring& name);

} // namespace kelm
