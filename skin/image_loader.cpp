#include "skin/image_loader.h"

#include <objidl.h>
#include <shlwapi.h>

#include <gdiplus.h>
#include <wrl/client.h>

#include <unordered_map>

#include "framework/app.h"

namespace kelm {

using Microsoft::WRL::ComPtr;

namespace {

namespace gp = Gdiplus::DllExports;

int g_decodeCount = 0;
int g_startupCount = 0;

// GDI+ runs while at least one conversion is under way: the first user starts
// it, the last one shuts it down. The count and the token live under one lock.
class GdiplusUser {
public:
    GdiplusUser()
    {
        CriticalSectionLock lock(Section());
        if (State().users == 0) {
            Gdiplus::GdiplusStartupInput input;
            ULONG_PTR token = 0;
            if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
                return;
            State().token = token;
            ++g_startupCount;
        }
        ++State().users;
        m_started = true;
    }
    ~GdiplusUser()
    {
        if (!m_started)
            return;
        CriticalSectionLock lock(Section());
        if (--State().users == 0)
            Gdiplus::GdiplusShutdown(State().token);
    }
    GdiplusUser(const GdiplusUser&) = delete;
    GdiplusUser& operator=(const GdiplusUser&) = delete;

    bool Started() const { return m_started; }

private:
    struct Shared {
        int users = 0;
        ULONG_PTR token = 0;
    };
    static Shared& State()
    {
        static Shared shared;
        return shared;
    }
    static CriticalSection& Section()
    {
        static CriticalSection section;
        return section;
    }

    bool m_started = false;
};

// Owns a GDI+ bitmap for the span of one conversion.
class GdiplusBitmap {
public:
    GdiplusBitmap() = default;
    ~GdiplusBitmap()
    {
        if (m_bitmap)
            gp::GdipDisposeImage(m_bitmap);
    }
    GdiplusBitmap(const GdiplusBitmap&) = delete;
    GdiplusBitmap& operator=(const GdiplusBitmap&) = delete;

    Gdiplus::GpBitmap** Put() { return &m_bitmap; }
    Gdiplus::GpBitmap* Get() const { return m_bitmap; }

private:
    Gdiplus::GpBitmap* m_bitmap = nullptr;
};

struct DecodedBitmap {
    UniqueBitmap bitmap;
    int width = 0;
    int height = 0;
    std::uint8_t* bits = nullptr;
};

// Copies a decoded GDI+ bitmap into a top-down 32-bit DIB section with straight alpha.
DecodedBitmap ToDibSection(Gdiplus::GpBitmap* source)
{
    DecodedBitmap result;
    UINT width = 0;
    UINT height = 0;
    if (gp::GdipGetImageWidth(source, &width) != Gdiplus::Ok ||
        gp::GdipGetImageHeight(source, &height) != Gdiplus::Ok || width == 0 || height == 0 ||
        width > 0x7FFF || height > 0x7FFF)
        return result;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits)
        return result;

    Gdiplus::Rect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data{};
    data.Width = width;
    data.Height = height;
    data.Stride = static_cast<INT>(width * 4);
    data.PixelFormat = PixelFormat32bppARGB;
    data.Scan0 = bits;
    if (gp::GdipBitmapLockBits(source, &area, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                               PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return result;
    gp::GdipBitmapUnlockBits(source, &data);
    GdiFlush();

    result.bitmap = std::move(dib);
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);
    result.bits = static_cast<std::uint8_t*>(bits);
    return result;
}

DecodedBitmap DecodeStream(IStream* stream)
{
    GdiplusUser gdiplus;
    if (!gdiplus.Started())
        return {};
    ++g_decodeCount;
    GdiplusBitmap decoded;
    if (gp::GdipCreateBitmapFromStream(stream, decoded.Put()) != Gdiplus::Ok || !decoded.Get())
        return {};
    return ToDibSection(decoded.Get());
}

DecodedBitmap DecodeFile(const std::wstring& path)
{
    GdiplusUser gdiplus;
    if (!gdiplus.Started())
        return {};
    ++g_decodeCount;
    GdiplusBitmap decoded;
    if (gp::GdipCreateBitmapFromFile(path.c_str(), decoded.Put()) != Gdiplus::Ok || !decoded.Get())
        return {};
    return ToDibSection(decoded.Get());
}

struct GlobalMemory {
    HGLOBAL handle = nullptr;
    ~GlobalMemory()
    {
        if (handle)
            GlobalFree(handle);
    }
};

std::unordered_map<int, std::shared_ptr<CImageWrapper>>& ImageCache()
{
    static std::unordered_map<int, std::shared_ptr<CImageWrapper>> cache;
    return cache;
}

} // namespace

CImageWrapper::CImageWrapper(UniqueBitmap bitmap, int width, int height)
    : m_bitmap(std::move(bitmap)), m_width(m_bitmap ? width : 0), m_height(m_bitmap ? height : 0)
{
}

void PremultiplyPixels(std::uint8_t* bgra, std::size_t pixelCount)
{
    for (std::size_t i = 0; i < pixelCount; ++i, bgra += 4) {
        const unsigned alpha = bgra[3];
        for (int channel = 0; channel < 3; ++channel)
            bgra[channel] = static_cast<std::uint8_t>(bgra[channel] * alpha / 255);
    }
}

std::shared_ptr<CImageWrapper> LoadResourceImage(int id, HMODULE module)
{
    auto& cache = ImageCache();
    if (auto found = cache.find(id); found != cache.end())
        return found->second;

    if (!module)
        module = AfxGetResourceHandle();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!resource)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(module, resource);
    if (!bytes || size == 0)
        return nullptr;

    GlobalMemory memory;
    memory.handle = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory.handle)
        return nullptr;
    void* copy = GlobalLock(memory.handle);
    if (!copy)
        return nullptr;
    CopyMemory(copy, bytes, size);
    GlobalUnlock(memory.handle);

    DecodedBitmap decoded;
    {
        ComPtr<IStream> stream;
        if (FAILED(CreateStreamOnHGlobal(memory.handle, FALSE, &stream)))
            return nullptr;
        decoded = DecodeStream(stream.Get());
    }
    if (decoded.bits)
        PremultiplyPixels(decoded.bits, static_cast<std::size_t>(decoded.width) * decoded.height);

    auto image = std::make_shared<CImageWrapper>(std::move(decoded.bitmap), decoded.width, decoded.height);
    cache.emplace(id, image);
    return image;
}

std::optional<FileImage> LoadFileImage(const std::wstring& path)
{
    if (!PathFileExistsW(path.c_str()))
        return std::nullopt;
    DecodedBitmap decoded = DecodeFile(path);
    FileImage image;
    if (decoded.bitmap) {
        image.bitmap = std::move(decoded.bitmap);
        image.width = decoded.width;
        image.height = decoded.height;
    }
    return image;
}

int ImageDecodeCount()
{
    return g_decodeCount;
}

int GdiplusStartupCount()
{
    return g_startupCount;
}

} // namespace kelm
