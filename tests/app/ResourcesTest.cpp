// The pictures by resource id: every id the program uses loads, at its size and at the pixel
// density asked for, and the looks of a transport button are told apart by their pixels.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <set>

#include "Resources.h"

namespace {

struct ButtonPictures
{
    const char* name;
    int normal, pressed, hover, disabled;
};

// The transport buttons of the recorder form and the bitmaps of their four looks.
const ButtonPictures transportButtons[] = {
    {"Record", 156, 154, 155, 166},
    {"Pause", 150, 148, 149, 164},
    {"Stop", 144, 157, 158, 163},
    {"Play", 153, 151, 152, 165},
};

constexpr int transportMask = 159;
constexpr int splash = 167;
constexpr int programIcon = 128;

QImage Picture(int id, qreal ratio = 1)
{
    return LoadBitmapResource(id, ratio).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Mean brightness of the opaque pixels of a picture, 0..255.
double Brightness(const QImage& image)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                sum += qGray(pixel);
                ++count;
            }
        }
    }
    return count != 0 ? sum / count : 0;
}

// How far a pixel is from grey: the spread of its channels.
int Saturation(QRgb pixel)
{
    const int high = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
    const int low = std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
    return high - low;
}

} // namespace

TEST(ResourcesTest, EveryBitmapOfTheFormAndTheStartUpLoads)
{
    std::set<int> ids = {transportMask, splash};
    for (const auto& button : transportButtons)
        ids.insert({button.normal, button.pressed, button.hover, button.disabled});
    ASSERT_EQ(ids.size(), 18u);
    for (int id : ids) {
        const QPixmap pixmap = LoadBitmapResource(id);
        EXPECT_FALSE(pixmap.isNull()) << "bitmap " << id;
    }
}

TEST(ResourcesTest, IdsWithoutABitmapGiveANullPixmap)
{
    for (int id : {0, -1, 145, 146, 147, 160, 161, 162, 168, programIcon})
        EXPECT_TRUE(LoadBitmapResource(id).isNull()) << "bitmap " << id;
    EXPECT_TRUE(LoadIconResource(156).isNull());
}

TEST(ResourcesTest, ButtonsAndTheirMaskShareOneSizeAndTheSplashIsItsOwn)
{
    for (const auto& button : transportButtons)
        for (int id : {button.normal, button.pressed, button.hover, button.disabled})
            EXPECT_EQ(LoadBitmapResource(id, 1).size(), QSize(32, 32)) << "bitmap " << id;
    EXPECT_EQ(LoadBitmapResource(transportMask, 1).size(), QSize(32, 32));
    EXPECT_EQ(LoadBitmapResource(splash, 1).size(), QSize(400, 250));
}

TEST(ResourcesTest, PicturesAreDrawnForTheDevicePixelRatio)
{
    for (qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
        const QPixmap button = LoadBitmapResource(156, ratio);
        EXPECT_EQ(button.devicePixelRatio(), ratio);
        EXPECT_EQ(button.size(), QSize(32, 32) * ratio);
        EXPECT_EQ(button.deviceIndependentSize(), QSizeF(32, 32));
        EXPECT_EQ(LoadBitmapResource(splash, ratio).deviceIndependentSize(), QSizeF(400, 250));
    }
    // Drawn, not scaled: at twice the density the round edge keeps a one-pixel-wide blend
    // where a scaled picture would blur it over two.
    const QImage sharp = Picture(156, 2);
    const QImage scaled =
        Picture(156, 1).scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto blendedPixels = [](const QImage& image) {
        int count = 0;
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, image.height() / 2 - 12));
            count += alpha > 0 && alpha < 255 ? 1 : 0;
        }
        return count;
    };
    EXPECT_LT(blendedPixels(sharp), blendedPixels(scaled));
}

TEST(ResourcesTest, TheMaskIsWhiteOutsideTheRoundButtonAndBlackInside)
{
    const QImage mask = Picture(transportMask);
    for (QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31), QPoint(3, 3)})
        EXPECT_EQ(mask.pixel(corner), qRgb(255, 255, 255)) << corner.x() << "," << corner.y();
    for (QPoint inside : {QPoint(16, 16), QPoint(1, 16), QPoint(30, 16), QPoint(16, 1),
                          QPoint(16, 30), QPoint(6, 6)})
        EXPECT_EQ(mask.pixel(inside), qRgb(0, 0, 0)) << inside.x() << "," << inside.y();
    // The buttons draw nothing where the mask is white.
    for (const auto& button : transportButtons) {
        const QImage picture = Picture(button.normal);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (mask.pixel(x, y) == qRgb(255, 255, 255)) {
                    ASSERT_EQ(qAlpha(picture.pixel(x, y)), 0)
                        << button.name << " " << x << "," << y;
                }
            }
        }
    }
}

TEST(ResourcesTest, TheFourLooksOfEachButtonDiffer)
{
    for (const auto& button : transportButtons) {
        SCOPED_TRACE(button.name);
        const QImage normal = Picture(button.normal);
        const QImage pressed = Picture(button.pressed);
        const QImage hover = Picture(button.hover);
        const QImage disabled = Picture(button.disabled);
        EXPECT_NE(normal, pressed);
        EXPECT_NE(normal, hover);
        EXPECT_NE(normal, disabled);
        EXPECT_NE(pressed, hover);
        // Pressed is darker, hover lighter than normal.
        EXPECT_LT(Brightness(pressed), Brightness(normal) - 5);
        EXPECT_GT(Brightness(hover), Brightness(normal));
        // Disabled is greyed: nothing in it is coloured.
        int mostColoured = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (qAlpha(disabled.pixel(x, y)) == 255)
                    mostColoured = std::max(mostColoured, Saturation(disabled.pixel(x, y)));
            }
        }
        EXPECT_LT(mostColoured, 30);
    }
}

TEST(ResourcesTest, RecordCarriesARedDotAndTheOthersADarkGlyph)
{
    const QRgb record = Picture(156).pixel(16, 17);
    EXPECT_GT(qRed(record), 150);
    EXPECT_LT(qGreen(record), 80);
    EXPECT_LT(qBlue(record), 80);
    // The middles of the pause bars, the stop square and the play triangle.
    const std::pair<int, QPoint> glyphs[] = {
        {150, QPoint(12, 16)}, {150, QPoint(19, 16)}, {144, QPoint(16, 16)}, {153, QPoint(16, 16)}};
    for (const auto& [id, point] : glyphs)
        EXPECT_LT(qGray(Picture(id).pixel(point)), 90) << "bitmap " << id;
    // Between the two pause bars the face shows.
    EXPECT_GT(qGray(Picture(150).pixel(16, 16)), 150);
}

TEST(ResourcesTest, TheSplashIsADarkPictureWithALightName)
{
    const QImage picture = Picture(splash);
    EXPECT_LT(Brightness(picture), 80);
    // The name is white, somewhere in the band below the record glyph.
    int white = 0;
    for (int y = 115; y < 160; ++y) {
        for (int x = 100; x < 300; ++x)
            white += qGray(picture.pixel(x, y)) > 240 ? 1 : 0;
    }
    EXPECT_GT(white, 500);
    // The record glyph is red, centred above the name.
    const QRgb glyph = picture.pixel(200, 74);
    EXPECT_GT(qRed(glyph), 180);
    EXPECT_LT(qGreen(glyph), 100);
}

TEST(ResourcesTest, TheProgramIconComesInTheDesktopSizes)
{
    const QIcon icon = LoadIconResource(programIcon);
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    const QImage small = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(small.size(), QSize(16, 16));
    EXPECT_GT(qAlpha(small.pixel(8, 8)), 200);
}
