#include "trust/admin_folder.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include "framework/handles.h"
#include "runlog/run_log.h"

namespace kelm {

namespace {

// Owner Administrators; full control for the system and the administrators,
// reading and running for the users; nothing inherited from above.
constexpr wchar_t kAdminOnlyDescriptor[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

struct LocalFreeTraits {
    static HLOCAL Invalid() noexcept { return nullptr; }
    static void Close(HLOCAL memory) noexcept { ::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueHandleT<LocalFreeTraits>;

UniqueLocalMemory MakeAdminOnlyDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnlyDescriptor, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return {};
    return UniqueLocalMemory(descriptor);
}

AdminFolderCheck Verdict(FolderVerdict verdict, std::wstring folder, DWORD error = 0)
{
    return AdminFolderCheck{verdict, std::move(folder), error};
}

// The folder itself, not what a link in its place points to.
UniqueFile OpenFolderItself(const std::wstring& folder, DWORD access)
{
    return UniqueFile(::CreateFileW(folder.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

// Rights that let their holder replace what a folder of the path holds, or
// change who may: on every folder of the path. And on the end of the path
// itself, the rights to change its content as well.
constexpr ACCESS_MASK kReplacingRights = DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_ALL;
constexpr ACCESS_MASK kChangingRights = kReplacingRights | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                        FILE_WRITE_ATTRIBUTES | GENERIC_WRITE;

bool IsReparsePoint(DWORD attributes) noexcept
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// One folder of the path (or, with `isFile`, the file at its end): itself, not a
// link, with an administrative owner; with `restrict`, it gets the protected
// access list as well.
AdminFolderCheck CheckOneFolder(const std::wstring& folder, bool restrict, PSECURITY_DESCRIPTOR adminOnly,
                                bool isFile = false)
{
    // The name's own attributes first: they tell a link even where opening it
    // would follow it.
    const DWORD named = ::GetFileAttributesW(folder.c_str());
    if (named == INVALID_FILE_ATTRIBUTES)
        return Verdict(FolderVerdict::Unreadable, folder, ::GetLastError());
    if (IsReparsePoint(named))
        return Verdict(FolderVerdict::ReparsePoint, folder);
    UniqueFile handle = OpenFolderItself(folder, READ_CONTROL | FILE_READ_ATTRIBUTES | (restrict ? WRITE_DAC : 0));
    if (!handle)
        return Verdict(restrict ? FolderVerdict::NotRestricted : FolderVerdict::Unreadable, folder, ::GetLastError());
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle.Get(), &information))
        return Verdict(FolderVerdict::Unreadable, folder, ::GetLastError());
    if (IsReparsePoint(information.dwFileAttributes))
        return Verdict(FolderVerdict::ReparsePoint, folder);
    if (((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == isFile)
        return Verdict(FolderVerdict::NotCreatable, folder, ERROR_DIRECTORY);

    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR ownerDescriptor = nullptr;
    const DWORD read = ::GetSecurityInfo(handle.Get(), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                         nullptr, nullptr, &ownerDescriptor);
    UniqueLocalMemory ownedDescriptor(ownerDescriptor);
    if (read != ERROR_SUCCESS)
        return Verdict(FolderVerdict::Unreadable, folder, read);
    // Where the file system keeps no owners it keeps no access lists either (Wine).
    if (FileSystemKeepsOwners()) {
        if (!IsAdministrativeOwner(owner))
            return Verdict(FolderVerdict::ForeignOwner, folder);
        // The installer's own folders get their list below; any other folder of
        // the path must not let others replace what it holds.
        if (!restrict && AccessListLetsOthersChange(ownerDescriptor, isFile))
            return Verdict(FolderVerdict::OthersMayChange, folder);
    }

    if (restrict) {
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        if (!::GetSecurityDescriptorDacl(adminOnly, &present, &dacl, &defaulted) || !present)
            return Verdict(FolderVerdict::NotRestricted, folder, ::GetLastError());
        const DWORD set = ::SetSecurityInfo(handle.Get(), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                            nullptr, dacl, nullptr);
        if (set != ERROR_SUCCESS)
            return Verdict(FolderVerdict::NotRestricted, folder, set);
    }
    return Verdict(FolderVerdict::Fine, folder);
}

bool EqualsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) noexcept
{
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    return ::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

// NT SERVICE\TrustedInstaller, the owner of the system's own files.
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

} // namespace

bool AccessListLetsOthersChange(PSECURITY_DESCRIPTOR descriptor, bool itsContentToo) noexcept
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return true;
    if (!present || !dacl)
        return true; // no list: everybody may do everything
    const ACCESS_MASK rights = itsContentToo ? kChangingRights : kReplacingRights;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, index, reinterpret_cast<void**>(&header)))
            return true;
        // Entries that only pass on to what is made inside do not apply here.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & rights) != 0 && !IsAdministrativeOwner(sid))
            return true;
    }
    return false;
}

const wchar_t* DescribeFolderVerdict(FolderVerdict verdict) noexcept
{
    switch (verdict) {
    case FolderVerdict::Fine:
        return L"only administrators can change it";
    case FolderVerdict::NotCreatable:
        return L"it cannot be created";
    case FolderVerdict::ReparsePoint:
        return L"it is a junction or a symbolic link";
    case FolderVerdict::ForeignOwner:
        return L"its owner is not an administrator";
    case FolderVerdict::OthersMayChange:
        return L"its access list lets somebody who is not an administrator change it";
    case FolderVerdict::Unreadable:
        return L"its owner cannot be read";
    case FolderVerdict::NotRestricted:
        return L"its access cannot be restricted to administrators";
    }
    return L"unknown";
}

std::wstring ProgramDataFolder()
{
    wchar_t data[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data)))
        return {};
    std::wstring folder(data);
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

bool IsAdministrativeOwner(PSID owner) noexcept
{
    if (owner == nullptr || !::IsValidSid(owner))
        return false;
    if (EqualsWellKnown(owner, WinLocalSystemSid) || EqualsWellKnown(owner, WinBuiltinAdministratorsSid))
        return true;
    PSID trustedInstaller = nullptr;
    if (!::ConvertStringSidToSidW(kTrustedInstaller, &trustedInstaller))
        return false;
    UniqueLocalMemory owned(trustedInstaller);
    return ::EqualSid(owner, trustedInstaller) != FALSE;
}

bool FileSystemKeepsOwners()
{
    static const bool keeps = [] {
        wchar_t system[MAX_PATH] = {};
        if (::GetSystemDirectoryW(system, MAX_PATH) == 0)
            return true; // no way to tell: the stricter rule
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::GetNamedSecurityInfoW(system, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                    nullptr, &descriptor) != ERROR_SUCCESS)
            return true;
        UniqueLocalMemory owned(descriptor);
        const bool administrative = IsAdministrativeOwner(owner);
        if (!administrative)
            Log(L"the system folder ", system, L" has no administrative owner: this file system keeps no owners or "
                L"access lists to check");
        return administrative;
    }();
    return keeps;
}

AdminFolderCheck PrepareAdminOnlyFolder(const std::wstring& base, const std::vector<std::wstring>& levels,
                                   size_t restrictFrom)
{
    UniqueLocalMemory adminOnly = MakeAdminOnlyDescriptor();
    if (!adminOnly)
        return Verdict(FolderVerdict::NotRestricted, base, ::GetLastError());
    if (base.empty())
        return Verdict(FolderVerdict::NotCreatable, base, ERROR_PATH_NOT_FOUND);
    // The base is the system's (program data): a link there is refused as well.
    if (IsReparsePoint(::GetFileAttributesW(base.c_str())))
        return Verdict(FolderVerdict::ReparsePoint, base);

    std::wstring folder = base;
    for (size_t level = 0; level < levels.size(); ++level) {
        folder += L"\\" + levels[level];
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), adminOnly.Get(), FALSE};
        if (!::CreateDirectoryW(folder.c_str(), &attributes) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return Verdict(FolderVerdict::NotCreatable, folder, ::GetLastError());
        AdminFolderCheck check = CheckOneFolder(folder, level >= restrictFrom, adminOnly.Get());
        if (!check.Passed())
            return check;
    }
    return Verdict(FolderVerdict::Fine, folder);
}

bool CreateFreshAdminOnlyFolder(const std::wstring& parent, const std::wstring& name)
{
    UniqueLocalMemory adminOnly = MakeAdminOnlyDescriptor();
    if (!adminOnly)
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), adminOnly.Get(), FALSE};
    return ::CreateDirectoryW((parent + L"\\" + name).c_str(), &attributes) != FALSE;
}

AdminFolderCheck CheckAdminOnlyFile(const std::wstring& file)
{
    wchar_t full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(file.c_str(), MAX_PATH, full, nullptr);
    const std::wstring path(full, length < MAX_PATH ? length : 0);
    // A local drive's path ("C:\..."): a share on another machine cannot be checked from here.
    if (path.size() < 4 || path[1] != L':' || path[2] != L'\\')
        return Verdict(FolderVerdict::Unreadable, file, ERROR_BAD_PATHNAME);
    AdminFolderCheck check = CheckOneFolder(path.substr(0, 3), false, nullptr);
    for (size_t next = path.find(L'\\', 3); check.Passed(); next = path.find(L'\\', next + 1)) {
        const bool last = next == std::wstring::npos;
        check = CheckOneFolder(last ? path : path.substr(0, next), false, nullptr, last);
        if (last)
            break;
    }
    return check;
}

} // namespace kelm
