#include "config/installer_xml.h"

namespace kelm {

InstallerXmlOpening OpenInstallerXml(CXmlDocument& document, const std::wstring& path)
{
    document.SetText(nullptr);
    if (!document.LoadFile(path.c_str()))
        return InstallerXmlOpening::Unreadable;
    if (!document.FindElement(L"kelmwebinstaller"))
        return InstallerXmlOpening::OtherRoot;
    return InstallerXmlOpening::AtRoot;
}

} // namespace kelm
