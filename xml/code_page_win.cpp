#include "xml/code_page.h"

#include <windows.h>

namespace kelm::xml_detail {

int MultiByteToUtf16(unsigned codePage, const char* bytes, int byteCount, wchar_t* units, int unitCapacity)
{
    return ::MultiByteToWideChar(codePage, 0, bytes, byteCount, units, units ? unitCapacity : 0);
}

}  // namespace kelm::xml_detail
