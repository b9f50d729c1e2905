// The skin's pure rules (DPI scale and picture sizes, premultiplication, slide
// timing, font and text button sizes) and image loading from real resources.

#include <gtest/gtest.h>

#include <string>

#include "framework/handles.h"
#include "res/resource.h"
#include "res/skin_images.h"
#include "skin/d2d_drawing.h"
#include "skin/dpi.h"
#include "skin/fonts.h"
#include "skin/image_loader.h"
#include "skin/slide_cycle.h"
#include "support/test_paths.h"

using namespace kelm;

namespace {

using kelm::test::SourceFolderPath;

TEST(DpiScale, StepsAtTheFourRanges)
{
    const struct {
        int dpi;
        double scale;
        int sizeIndex;
    } cases[] = {{72, 1.0, 0},   {96, 1.0, 0},   {119, 1.0, 0},  {120, 1.25, 1}, {143, 1.25, 1},
                 {144, 1.5, 2},  {191, 1.5, 2},  {192, 2.0, 3},  {288, 2.0, 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.scale, DpiScale(c.dpi)) << c.dpi;
        EXPECT_EQ(c.sizeIndex, DpiSizeIndex(c.dpi)) << c.dpi;
    }
}

TEST(DpiScale, PictureIdFollowsVerticalDpi)
{
    const struct {
        int firstId;
        int dpi;
        int id;
    } cases[] = {{IDB_CLOSE_FIRST, 96, 106},      {IDB_CLOSE_FIRST, 120, 107},   {IDB_CLOSE_FIRST, 144, 108},
                 {IDB_CLOSE_FIRST, 192, 109},     {IDB_CLOSE_FIRST, 191, 108},   {IDB_MINIMIZE_FIRST, 119, 110},
                 {IDB_MAXIMIZE_FIRST, 143, 115},  {IDB_RESTORE_FIRST, 240, 121}, {IDB_LOGO_FIRST, 144, 131},
                 {IDB_CHECK_ON_FIRST, 120, 154},  {IDB_CHECK_OFF_FIRST, 192, 160}, {IDB_ARROW_DOWN_FIRST, 96, 161},
                 {IDB_ARROW_UP_FIRST, 192, 168}};
    for (const auto& c : cases)
        EXPECT_EQ(c.id, DpiImageIdForDpi(c.firstId, c.dpi)) << c.firstId << " at " << c.dpi;
}

TEST(DpiScale, ScaledSizesAreTruncated)
{
    const struct {
        int n;
        int dpi;
        int scaled;
    } cases[] = {{28, 96, 28}, {28, 120, 35}, {28, 144, 42}, {28, 192, 56}, {30, 120, 37},
                 {30, 144, 45}, {17, 144, 25}, {15, 120, 18}, {1, 144, 1},   {1, 192, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(c.scaled, ScaleForDpi(c.n, c.dpi)) << c.n << " at " << c.dpi;
}

TEST(Premultiply, ColourChannelsScaleByAlpha)
{
    const struct {
        std::uint8_t in[4]; // blue, green, red, alpha
        std::uint8_t out[4];
    } cases[] = {
        {{0, 128, 255, 128}, {0, 64, 128, 128}},
        {{255, 255, 255, 0}, {0, 0, 0, 0}},
        {{10, 20, 30, 255}, {10, 20, 30, 255}},
        {{255, 255, 255, 1}, {1, 1, 1, 1}},
        {{254, 254, 254, 254}, {253, 253, 253, 254}},
    };
    for (const auto& c : cases) {
        std::uint8_t pixel[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
        PremultiplyPixels(pixel, 1);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.out[i], pixel[i]) << "channel " << i << " of " << int(c.in[0]) << "," << int(c.in[1])
                                          << "," << int(c.in[2]) << "," << int(c.in[3]);
    }
}

TEST(SlideCycle, OrderTransitionAndSingleSlide)
{
    using Kind = SlideFrame::Kind;
    const struct {
        long long ms;
        std::size_t count;
        Kind kind;
        std::size_t current;
        std::size_t next;
        int shift;
    } cases[] = {
        {0, 3, Kind::Still, 0, 1, 0},
        {7500, 3, Kind::Still, 0, 1, 0},      // the still phase includes its last instant
        {7501, 3, Kind::Transition, 0, 1, 0}, // 1 ms of 600 over 300 px
        {7800, 3, Kind::Transition, 0, 1, 150},
        {8099, 3, Kind::Transition, 0, 1, 299},
        {8100, 3, Kind::Still, 1, 2, 0},      // second cycle: B
        {16199, 3, Kind::Transition, 1, 2, 299},
        {16200, 3, Kind::Still, 2, 0, 0},     // third cycle: C
        {24300, 3, Kind::Still, 0, 1, 0},     // fourth cycle: A again
        {32100, 3, Kind::Transition, 0, 1, 150},
        {7800, 1, Kind::Hidden, 0, 0, 0},     // a single slide disappears while it would move
        {8100, 1, Kind::Still, 0, 0, 0},
        {7800, 0, Kind::Empty, 0, 0, 0},
        {-50, 2, Kind::Still, 0, 1, 0},       // a clock that ran backwards shows the first slide
    };
    for (const auto& c : cases) {
        const SlideFrame frame = ComputeSlideFrame(c.ms, 7.5, 0.6, c.count, 300);
        EXPECT_EQ(c.kind, frame.kind) << c.ms << " ms, " << c.count << " slides";
        if (c.kind == Kind::Empty)
            continue;
        EXPECT_EQ(c.current, frame.current) << c.ms;
        if (c.kind != Kind::Hidden) {
            EXPECT_EQ(c.next, frame.next) << c.ms;
        }
        EXPECT_EQ(c.shift, frame.shift) << c.ms;
    }
}

TEST(SkinFonts, HeightsAndWeightsAt96And144Dpi)
{
    const struct {
        SkinFontKind kind;
        int at96;
        int at144;
        int weight;
        bool underline;
    } cases[] = {{SkinFontKind::Normal, 17, 25, 400, false},
                 {SkinFontKind::Link, 17, 25, 400, true},
                 {SkinFontKind::Button, 18, 27, 400, false},
                 {SkinFontKind::Title, 32, 48, 700, false}};
    for (const auto& c : cases) {
        const LOGFONTW at96 = SkinFontDescription(c.kind, 96, 96);
        const LOGFONTW at144 = SkinFontDescription(c.kind, 144, 144);
        EXPECT_EQ(c.at96, at96.lfHeight);
        EXPECT_EQ(c.at144, at144.lfHeight);
        EXPECT_EQ(c.weight, at144.lfWeight);
        EXPECT_EQ(c.underline, at144.lfUnderline != 0);
        EXPECT_STREQ(L"Microsoft YaHei UI", at144.lfFaceName);
        EXPECT_EQ(DEFAULT_CHARSET, at144.lfCharSet);
        EXPECT_EQ(PROOF_QUALITY, at144.lfQuality);
    }
    // The shared fonts are real GDI fonts of those descriptions.
    ASSERT_TRUE(CreateSkinFonts());
    LOGFONTW title{};
    ASSERT_NE(0, GetObjectW(TitleFont(), sizeof(title), &title));
    EXPECT_EQ(ScaleForDpi(32, ScreenDpiX()), title.lfHeight);
    EXPECT_EQ(700, title.lfWeight);
    DeleteSkinFonts();
    EXPECT_EQ(nullptr, NormalFont());
}

TEST(TextButtonMetrics, RadiusAndTextSizeFollowDpi)
{
    const struct {
        int dpi;
        float radius;
        float textSize;
    } cases[] = {{96, 4, 14}, {120, 5, 17}, {144, 6, 21}, {192, 8, 28}};
    for (const auto& c : cases) {
        const TextButtonMetrics metrics = TextButtonMetricsForDpi(c.dpi, c.dpi);
        EXPECT_EQ(c.radius, metrics.radiusX) << c.dpi;
        EXPECT_EQ(c.radius, metrics.radiusY) << c.dpi;
        EXPECT_EQ(c.textSize, metrics.textSize) << c.dpi;
    }
}

TEST(ResourceImages, EveryPictureHasItsFourSizes)
{
    const struct {
        int firstId;
        int widths[4];
        int heights[4];
    } pictures[] = {
        {IDB_CLOSE_FIRST, {16, 20, 24, 32}, {16, 20, 24, 32}},
        {IDB_MINIMIZE_FIRST, {16, 20, 24, 32}, {16, 20, 24, 32}},
        {IDB_MAXIMIZE_FIRST, {16, 20, 24, 32}, {16, 20, 24, 32}},
        {IDB_RESTORE_FIRST, {16, 20, 24, 32}, {16, 20, 24, 32}},
        {IDB_LOGO_FIRST, {161, 202, 242, 321}, {26, 33, 39, 52}},
        {IDB_CHECK_ON_FIRST, {16, 20, 24, 32}, {16, 20, 24, 32}},
        {IDB_CHECK_OFF_FIRST, {16, 20, 24, 32}, {16, 20, 24, 32}},
        {IDB_ARROW_DOWN_FIRST, {14, 17, 21, 28}, {8, 11, 12, 16}},
        {IDB_ARROW_UP_FIRST, {14, 17, 21, 28}, {8, 11, 12, 16}},
    };
    for (const auto& picture : pictures) {
        for (int i = 0; i < 4; ++i) {
            const auto image = LoadResourceImage(picture.firstId + i);
            ASSERT_TRUE(image) << picture.firstId + i;
            EXPECT_NE(nullptr, image->Bitmap());
            EXPECT_EQ(picture.widths[i], image->Width()) << picture.firstId + i;
            EXPECT_EQ(picture.heights[i], image->Height()) << picture.firstId + i;
            EXPECT_EQ(1, image->FrameCount());
        }
    }
}

TEST(ResourceImages, PixelsArePremultiplied)
{
    const auto image = LoadResourceImage(IDB_CHECK_ON_FIRST + 3);
    ASSERT_TRUE(image && image->Bitmap());
    DIBSECTION dib{};
    ASSERT_EQ(static_cast<int>(sizeof(dib)), GetObjectW(image->Bitmap(), sizeof(dib), &dib));
    ASSERT_EQ(32, dib.dsBm.bmBitsPixel);
    const auto* bits = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
    int transparent = 0;
    int partial = 0;
    for (int i = 0; i < image->Width() * image->Height(); ++i) {
        const std::uint8_t* p = bits + 4 * i;
        for (int channel = 0; channel < 3; ++channel)
            ASSERT_LE(p[channel], p[3]) << "pixel " << i;
        transparent += p[3] == 0;
        partial += p[3] > 0 && p[3] < 255;
    }
    EXPECT_GT(transparent, 0); // the margin around the box
    EXPECT_GT(partial, 0);     // its anti-aliased rounded corners
}

TEST(ResourceImages, CachedOnceAndMissingResourcesRetried)
{
    const int decodesBefore = ImageDecodeCount();
    // Ids 901 and 902 are loaded by this test only.
    const auto first = LoadResourceImage(901);
    const auto second = LoadResourceImage(901);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(decodesBefore + 1, ImageDecodeCount());

    // Not found in a module without it: nothing cached, so the same id loads
    // from the program's own resources afterwards.
    EXPECT_FALSE(LoadResourceImage(902, GetModuleHandleW(L"kernel32.dll")));
    EXPECT_FALSE(LoadResourceImage(4242));
    const auto found = LoadResourceImage(902);
    ASSERT_TRUE(found);
    EXPECT_EQ(20, found->Width());
}

TEST(ResourceImages, UndecodablePictureIsCachedEmpty)
{
    const auto broken = LoadResourceImage(900);
    ASSERT_TRUE(broken);
    EXPECT_EQ(nullptr, broken->Bitmap());
    EXPECT_EQ(0, broken->Width());
    EXPECT_EQ(0, broken->Height());
    const int decodes = ImageDecodeCount();
    EXPECT_EQ(broken.get(), LoadResourceImage(900).get());
    EXPECT_EQ(decodes, ImageDecodeCount());
}

TEST(FileImages, ReadsPngAndJpegAndRefusesMissingFiles)
{
    const int startups = GdiplusStartupCount();
    EXPECT_FALSE(LoadFileImage(SourceFolderPath(L"tests\\skin\\data\\no-such-slide.png")));
    EXPECT_EQ(startups, GdiplusStartupCount());

    const auto slide = LoadFileImage(SourceFolderPath(L"tests\\skin\\data\\slide_a.png"));
    ASSERT_TRUE(slide);
    EXPECT_TRUE(slide->bitmap);
    EXPECT_EQ(300, slide->width);
    EXPECT_EQ(120, slide->height);

    const auto photo = LoadFileImage(SourceFolderPath(L"tests\\skin\\data\\photo.jpg"));
    ASSERT_TRUE(photo);
    EXPECT_TRUE(photo->bitmap);
    EXPECT_EQ(64, photo->width);
    EXPECT_EQ(48, photo->height);

    const auto broken = LoadFileImage(SourceFolderPath(L"tests\\skin\\data\\broken.png"));
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->bitmap);
    EXPECT_EQ(0, broken->width);
}

// The pages draw the program icon 64 pixels wide at 96 DPI, scaled with the
// DPI: each of those sizes is an image of its own in the icon, which the
// system picks and decodes at that size (nothing enlarged).
TEST(ProgramIcon, HoldsAnImageForEverySizeThePagesDraw)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDI_INSTALLER), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_NE(directory, nullptr);
    for (int dpi : {96, 120, 144, 192}) {
        const int size = static_cast<int>(64 * DpiScale(dpi));
        SCOPED_TRACE(std::to_string(dpi) + " DPI, " + std::to_string(size) + " px");
        const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(id, 0);
        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
        ASSERT_NE(image, nullptr);
        auto* bits = static_cast<BYTE*>(LockResource(LoadResource(module, image)));
        // Width and height 0: the image's own size.
        kelm::UniqueIcon icon(CreateIconFromResourceEx(bits, SizeofResource(module, image), TRUE, 0x00030000, 0, 0,
                                                       LR_DEFAULTCOLOR));
        ASSERT_TRUE(icon);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon.Get(), &info));
        kelm::UniqueBitmap color(info.hbmColor);
        kelm::UniqueBitmap mask(info.hbmMask);
        BITMAP bitmap{};
        ASSERT_TRUE(GetObjectW(color.Get(), sizeof(bitmap), &bitmap));
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
        EXPECT_EQ(bitmap.bmBitsPixel, 32);
    }
}

} // namespace
