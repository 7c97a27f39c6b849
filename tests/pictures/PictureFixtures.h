// SPDX-License-Identifier: MIT
// Picture bytes made by the tests themselves, and a reader for the fixtures made by fixtures/make_fixtures.py.
#pragma once

#include "forms/pictures/DecodedPicture.h"
#include "services/Text.h"

#include <QRgb>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace paveno::test {

// The pattern of the checked-in fixtures: index (3x + 5y) mod 16 into a 16-colour palette.
int PatternIndex(int x, int y);
QRgb PatternColour(int index);

ByteSet ReadPictureFixture(const std::string& name);

// A JPEG made with libjpeg: components 3 (RGB from colourAt) or 1 (grey from the red channel of colourAt).
ByteSet EncodeJpeg(int width, int height, int components, const std::function<QRgb(int x, int y)>& colourAt,
                   int quality = 95, bool progressive = false);

// A bitmap file. For 1, 4 and 8 bits the pixels are palette indexes (indexAt) into palette; for 16 and 32 bits they
// are raw values (rawAt) under the masks (bitfields when masks are given); for 24 bits colourAt.
struct BitmapRecipe {
    BitmapRecipe(int w, int h, int bits) : width(w), height(h), bitCount(bits) {}
    BitmapRecipe& Palette(std::vector<QRgb> p) {
        palette = std::move(p);
        return *this;
    }
    BitmapRecipe& Masks(std::vector<std::uint32_t> m) {
        masks = std::move(m);
        return *this;
    }
    BitmapRecipe& Indexes(std::function<int(int, int)> f) {
        indexAt = std::move(f);
        return *this;
    }
    BitmapRecipe& Raw(std::function<std::uint32_t(int, int)> f) {
        rawAt = std::move(f);
        return *this;
    }
    BitmapRecipe& Colours(std::function<QRgb(int, int)> f) {
        colourAt = std::move(f);
        return *this;
    }
    BitmapRecipe& TopDown() {
        topDown = true;
        return *this;
    }
    BitmapRecipe& CoreHeader() {
        coreHeader = true;
        return *this;
    }

    int width = 0;
    int height = 0;
    int bitCount = 24;
    bool topDown = false;
    bool coreHeader = false;
    std::vector<QRgb> palette;
    std::vector<std::uint32_t> masks; // empty: no bitfields
    std::function<int(int x, int y)> indexAt;
    std::function<std::uint32_t(int x, int y)> rawAt;
    std::function<QRgb(int x, int y)> colourAt;
};
ByteSet MakeBmp(const BitmapRecipe& recipe);
// Just the info header, palette and rows (no file header), as an icon stores a bitmap: height doubled, mask after.
ByteSet MakeIconDib(const BitmapRecipe& recipe, const std::function<bool(int x, int y)>& transparentAt);
// An icon (type 1) or cursor (type 2) file around the given images.
ByteSet MakeIconFile(int type, const std::vector<ByteSet>& images, const std::vector<std::pair<int, int>>& sizes);

// A GIF whose image data uses literal codes only (a clear code every 254 pixels keeps the code width fixed).
struct GifRecipe {
    int screenWidth = 0, screenHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<QRgb> palette; // global colour table, 2..256 entries (a power of two)
    std::function<int(int x, int y)> indexAt;
};
ByteSet MakeGif(const GifRecipe& recipe);

// A PCX file with the run-length encoding (long runs split at 63), 8 bits with a palette or 1 bit.
ByteSet MakePcx(int version, int bitsPerPixel, int width, int height, const std::vector<std::uint8_t>& lines,
                int bytesPerLine, const std::vector<QRgb>& palette);

// The colour of a decoded picture's pixel (x, y counted from the top-left) read straight from its pixel data in the
// layout of its format (not through the Qt bridge).
QRgb RawPixel(const DecodedPicture& picture, int x, int y);

// Colour channels that differ by at most tolerance.
bool CloseColour(QRgb a, QRgb b, int tolerance);

} // namespace paveno::test
