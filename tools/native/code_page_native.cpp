// The code-page seam for native tool builds: UTF-8 is decoded properly, the
// code pages Windows refuses for byte input fail as they do there, and every
// other code page (the ANSI one included) is read as Latin-1.
#include "xml/code_page.h"

#include <cstdint>

namespace kelm::xml_detail {
namespace {

int DecodeUtf8(const unsigned char* bytes, int byteCount, wchar_t* units, int unitCapacity)
{
    int produced = 0;
    auto put = [&](uint32_t unit) {
        if (units && produced < unitCapacity)
            units[produced] = static_cast<wchar_t>(unit);
        ++produced;
    };
    for (int i = 0; i < byteCount;) {
        const unsigned lead = bytes[i];
        int following = 0;
        uint32_t value = 0;
        uint32_t minimum = 0;
        if (lead < 0x80) {
            put(lead);
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            following = 1, value = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            following = 2, value = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            following = 3, value = lead & 0x07, minimum = 0x10000;
        } else {
            put(0xFFFD);
            ++i;
            continue;
        }
        int j = 1;
        for (; j <= following && i + j < byteCount && (bytes[i + j] & 0xC0) == 0x80; ++j)
            value = (value << 6) | (bytes[i + j] & 0x3F);
        if (j <= following || value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            put(0xFFFD);
            i += j;
            continue;
        }
        i += j;
        if (value >= 0x10000) {
            value -= 0x10000;
            put(0xD800 + (value >> 10));
            put(0xDC00 + (value & 0x3FF));
        } else {
            put(value);
        }
    }
    if (units && produced > unitCapacity)
        return 0;
    return produced;
}

}  // namespace

int MultiByteToUtf16(unsigned codePage, const char* bytes, int byteCount, wchar_t* units, int unitCapacity)
{
    if (byteCount <= 0)
        return 0;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    switch (codePage) {
    case 65001:
        return DecodeUtf8(data, byteCount, units, unitCapacity);
    case 1200: case 1201: case 12000: case 12001:
        return 0;
    default:
        if (!units)
            return byteCount;
        if (unitCapacity < byteCount)
            return 0;
        for (int i = 0; i < byteCount; ++i)
            units[i] = static_cast<wchar_t>(data[i]);
        return byteCount;
    }
}

}  // namespace kelm::xml_detail
