#pragma once
// The skin's pictures: "PNG" resources decoded by GDI+ into 32-bit DIB sections
// with premultiplied alpha (ready for AlphaBlend with AC_SRC_ALPHA), kept in a
// process-wide cache keyed by resource id; and slide pictures read from files.
// User-interface thread only.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "framework/handles.h"

namespace kelm {

// A decoded picture. The bitmap is null (and the size 0 by 0) when decoding failed.
class CImageWrapper {
public:
    CImageWrapper(UniqueBitmap bitmap, int width, int height);
    CImageWrapper(const CImageWrapper&) = delete;
    CImageWrapper& operator=(const CImageWrapper&) = delete;

    // Borrowed: the wrapper (and so the cache) owns the bitmap.
    HBITMAP Bitmap() const { return m_bitmap.Get(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int FrameCount() const { return 1; }
    bool FramesHorizontal() const { return true; }

private:
    UniqueBitmap m_bitmap;
    int m_width;
    int m_height;
};

// The picture of a "PNG" resource, decoded once per process. Empty when the
// resource cannot be found or read (nothing is cached then, so a later call
// tries again); a picture that cannot be decoded is cached without a bitmap.
// module null means the application's resource module (AfxGetResourceHandle).
std::shared_ptr<CImageWrapper> LoadResourceImage(int id, HMODULE module = nullptr);

// A slide picture read from a file: straight (not premultiplied) pixels, owned
// by the caller, not cached.
struct FileImage {
    UniqueBitmap bitmap;
    int width = 0;
    int height = 0;
    int frameCount = 1;
    bool framesHorizontal = true;
};

// Nothing when the file does not exist; a record without a bitmap when it
// exists but cannot be decoded.
std::optional<FileImage> LoadFileImage(const std::wstring& path);

// Straight to premultiplied alpha, in place, on blue-green-red-alpha pixels:
// each colour channel becomes value * alpha / 255 (integer division).
void PremultiplyPixels(std::uint8_t* bgra, std::size_t pixelCount);

// Counters for tests: decodes performed and GDI+ start-ups, since process start.
int ImageDecodeCount();
int GdiplusStartupCount();

} // namespace kelm
