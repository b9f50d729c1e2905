#pragma once
// The opening shared by the installer's XML files (manifest and version
// descriptor): both have the root element "kelmwebinstaller".

#include <string>

#include "xml/xml_document.h"

namespace kelm {

enum class InstallerXmlOpening {
    Unreadable, // missing, unreadable or not well-formed
    OtherRoot,  // well-formed, with another root: nothing to read
    AtRoot,     // the root element "kelmwebinstaller" is the current element
};

// Loads the file into `document` (dropping what it held) and finds the root element.
InstallerXmlOpening OpenInstallerXml(CXmlDocument& document, const std::wstring& path);
// The same for a file's content already in memory.
InstallerXmlOpening OpenInstallerXmlBytes(CXmlDocument& document, const std::string& bytes);

} // namespace kelm
