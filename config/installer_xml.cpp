#include "config/installer_xml.h"

namespace kelm {

namespace {

InstallerXmlOpening FindRoot(CXmlDocument& document, bool loaded)
{
    if (!loaded)
        return InstallerXmlOpening::Unreadable;
    if (!document.FindElement(L"kelmwebinstaller"))
        return InstallerXmlOpening::OtherRoot;
    return InstallerXmlOpening::AtRoot;
}

} // namespace

InstallerXmlOpening OpenInstallerXml(CXmlDocument& document, const std::wstring& path)
{
    document.SetText(nullptr);
    return FindRoot(document, document.LoadFile(path.c_str()));
}

InstallerXmlOpening OpenInstallerXmlBytes(CXmlDocument& document, const std::string& bytes)
{
    document.SetText(nullptr);
    return FindRoot(document, document.LoadBytes(bytes.data(), bytes.size()));
}

} // namespace kelm
