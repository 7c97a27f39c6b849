// SPDX-License-Identifier: MIT
#include "tests/pictures/PictureFixtures.h"

#include "tools/jpeg/JpegEncoder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace paveno::test {

namespace {

void Put16(ByteSet& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(ByteSet& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// Info header (40 bytes or the 12-byte core header), masks, palette and rows of a bitmap.
ByteSet DibBody(const BitmapRecipe& s, int storedHeight) {
    ByteSet b;
    const bool fields = !s.masks.empty();
    if (s.coreHeader) {
        Put32(b, 12);
        Put16(b, static_cast<std::uint32_t>(s.width));
        Put16(b, static_cast<std::uint32_t>(storedHeight));
        Put16(b, 1);
        Put16(b, static_cast<std::uint32_t>(s.bitCount));
    } else {
        Put32(b, 40);
        Put32(b, static_cast<std::uint32_t>(s.width));
        Put32(b, static_cast<std::uint32_t>(s.topDown ? -storedHeight : storedHeight));
        Put16(b, 1);
        Put16(b, static_cast<std::uint32_t>(s.bitCount));
        Put32(b, fields ? 3 : 0);
        Put32(b, 0);
        Put32(b, 2835);
        Put32(b, 2835);
        Put32(b, static_cast<std::uint32_t>(s.palette.size()));
        Put32(b, 0);
        for (std::uint32_t m : s.masks)
            Put32(b, m);
    }
    for (QRgb c : s.palette) {
        b.push_back(static_cast<std::uint8_t>(qBlue(c)));
        b.push_back(static_cast<std::uint8_t>(qGreen(c)));
        b.push_back(static_cast<std::uint8_t>(qRed(c)));
        if (!s.coreHeader) b.push_back(0);
    }
    const std::size_t stride = ((static_cast<std::size_t>(s.width) * s.bitCount + 31) / 32) * 4;
    for (int r = 0; r < s.height; ++r) {
        const int y = s.topDown ? r : s.height - 1 - r;
        ByteSet row(stride, 0);
        for (int x = 0; x < s.width; ++x) {
            switch (s.bitCount) {
            case 1:
            case 4:
            case 8: {
                const int perByte = 8 / s.bitCount;
                const int shift = 8 - s.bitCount * (x % perByte + 1);
                row[x / perByte] |= static_cast<std::uint8_t>(s.indexAt(x, y) << shift);
                break;
            }
            case 24: {
                const QRgb c = s.colourAt(x, y);
                row[3 * x] = static_cast<std::uint8_t>(qBlue(c));
                row[3 * x + 1] = static_cast<std::uint8_t>(qGreen(c));
                row[3 * x + 2] = static_cast<std::uint8_t>(qRed(c));
                break;
            }
            default: {
                const std::uint32_t v = s.rawAt(x, y);
                for (int i = 0; i < s.bitCount / 8; ++i)
                    row[s.bitCount / 8 * x + i] = static_cast<std::uint8_t>(v >> 8 * i);
            }
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

} // namespace

int PatternIndex(int x, int y) {
    return (3 * x + 5 * y) % 16;
}

QRgb PatternColour(int index) {
    return qRgb(index * 16, 255 - index * 16, (index * 37) % 256);
}

ByteSet ReadPictureFixture(const std::string& name) {
    const auto path = std::filesystem::path(PAVENO_SOURCE_DIR) / "tests" / "pictures" / "fixtures" / name;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("missing fixture " + path.string());
    return ByteSet(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ByteSet EncodeJpeg(int width, int height, int components, const std::function<QRgb(int x, int y)>& colourAt,
                   int quality, bool progressive) {
    return tools::EncodeJpeg({width, height, components, quality, progressive}, colourAt);
}

ByteSet MakeBmp(const BitmapRecipe& recipe) {
    const ByteSet body = DibBody(recipe, recipe.height);
    const std::size_t paletteBytes = recipe.palette.size() * (recipe.coreHeader ? 3 : 4);
    const std::size_t headerBytes = (recipe.coreHeader ? 12 : 40) + recipe.masks.size() * 4 + paletteBytes;
    ByteSet b{'B', 'M'};
    Put32(b, static_cast<std::uint32_t>(14 + body.size()));
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(14 + headerBytes));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

ByteSet MakeIconDib(const BitmapRecipe& recipe, const std::function<bool(int x, int y)>& transparentAt) {
    ByteSet b = DibBody(recipe, recipe.height * 2);
    const std::size_t stride = ((static_cast<std::size_t>(recipe.width) + 31) / 32) * 4;
    for (int r = 0; r < recipe.height; ++r) {
        const int y = recipe.height - 1 - r;
        ByteSet row(stride, 0);
        for (int x = 0; x < recipe.width; ++x)
            if (transparentAt(x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

ByteSet MakeIconFile(int type, const std::vector<ByteSet>& images, const std::vector<std::pair<int, int>>& sizes) {
    ByteSet b;
    Put16(b, 0);
    Put16(b, static_cast<std::uint32_t>(type));
    Put16(b, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        b.push_back(static_cast<std::uint8_t>(sizes[i].first & 0xFF));
        b.push_back(static_cast<std::uint8_t>(sizes[i].second & 0xFF));
        b.push_back(0);
        b.push_back(0);
        Put16(b, type == 1 ? 1 : 3);  // planes, or the hot spot's x
        Put16(b, type == 1 ? 32 : 4); // bits per pixel, or the hot spot's y
        Put32(b, static_cast<std::uint32_t>(images[i].size()));
        Put32(b, static_cast<std::uint32_t>(offset));
        offset += images[i].size();
    }
    for (const ByteSet& image : images)
        b.insert(b.end(), image.begin(), image.end());
    return b;
}

ByteSet MakeGif(const GifRecipe& s) {
    ByteSet b{'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, static_cast<std::uint32_t>(s.screenWidth));
    Put16(b, static_cast<std::uint32_t>(s.screenHeight));
    int sizeBits = 0;
    while ((2u << sizeBits) < s.palette.size())
        ++sizeBits;
    b.push_back(static_cast<std::uint8_t>(0x80 | sizeBits));
    b.push_back(0);
    b.push_back(0);
    for (std::size_t i = 0; i < (2u << sizeBits); ++i) {
        const QRgb c = i < s.palette.size() ? s.palette[i] : 0;
        b.push_back(static_cast<std::uint8_t>(qRed(c)));
        b.push_back(static_cast<std::uint8_t>(qGreen(c)));
        b.push_back(static_cast<std::uint8_t>(qBlue(c)));
    }
    // A graphic control extension, to be skipped.
    for (std::uint8_t v : {0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00})
        b.push_back(v);
    b.push_back(0x2C);
    Put16(b, static_cast<std::uint32_t>(s.left));
    Put16(b, static_cast<std::uint32_t>(s.top));
    Put16(b, static_cast<std::uint32_t>(s.width));
    Put16(b, static_cast<std::uint32_t>(s.height));
    b.push_back(s.interlaced ? 0x40 : 0);
    const int minimum = 8, width = minimum + 1, clear = 1 << minimum;
    b.push_back(minimum);
    std::vector<int> rows;
    if (s.interlaced) {
        for (int pass = 0; pass < 4; ++pass) {
            static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
            for (int y = kStart[pass]; y < s.height; y += kStep[pass])
                rows.push_back(y);
        }
    } else {
        for (int y = 0; y < s.height; ++y)
            rows.push_back(y);
    }
    std::vector<int> codes{clear};
    int sinceClear = 0;
    for (int y : rows) {
        for (int x = 0; x < s.width; ++x) {
            if (sinceClear == 254) {
                codes.push_back(clear);
                sinceClear = 0;
            }
            codes.push_back(s.indexAt(x, y));
            ++sinceClear;
        }
    }
    codes.push_back(clear + 1);
    ByteSet data;
    std::uint32_t bits = 0;
    int count = 0;
    for (int code : codes) {
        bits |= static_cast<std::uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            data.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) data.push_back(static_cast<std::uint8_t>(bits));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        b.push_back(static_cast<std::uint8_t>(n));
        b.insert(b.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                 data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    b.push_back(0);
    b.push_back(0x3B);
    return b;
}

ByteSet MakePcx(int version, int bitsPerPixel, int width, int height, const std::vector<std::uint8_t>& lines,
                int bytesPerLine, const std::vector<QRgb>& palette) {
    ByteSet b(128, 0);
    b[0] = 0x0A;
    b[1] = static_cast<std::uint8_t>(version);
    b[2] = 1;
    b[3] = static_cast<std::uint8_t>(bitsPerPixel);
    b[8] = static_cast<std::uint8_t>((width - 1) & 0xFF);
    b[9] = static_cast<std::uint8_t>((width - 1) >> 8);
    b[10] = static_cast<std::uint8_t>((height - 1) & 0xFF);
    b[11] = static_cast<std::uint8_t>((height - 1) >> 8);
    b[65] = 1;
    b[66] = static_cast<std::uint8_t>(bytesPerLine & 0xFF);
    b[67] = static_cast<std::uint8_t>(bytesPerLine >> 8);
    std::size_t at = 0;
    while (at < lines.size()) {
        std::size_t run = 1;
        while (at + run < lines.size() && lines[at + run] == lines[at] && run < 63)
            ++run;
        if (run > 1 || (lines[at] & 0xC0) == 0xC0) b.push_back(static_cast<std::uint8_t>(0xC0 | run));
        b.push_back(lines[at]);
        at += run;
    }
    if (!palette.empty()) {
        b.push_back(0x0C);
        for (std::size_t i = 0; i < 256; ++i) {
            const QRgb c = i < palette.size() ? palette[i] : 0;
            b.push_back(static_cast<std::uint8_t>(qRed(c)));
            b.push_back(static_cast<std::uint8_t>(qGreen(c)));
            b.push_back(static_cast<std::uint8_t>(qBlue(c)));
        }
    }
    return b;
}

QRgb RawPixel(const DecodedPicture& p, int x, int y) {
    switch (p.format) {
    case PictureFormat::Jpeg:
    case PictureFormat::Bmp: {
        const std::uint8_t* q = p.pixels.data() + static_cast<std::size_t>(p.height - 1 - y) * p.width * 3 + 3 * x;
        return qRgb(q[2], q[1], q[0]);
    }
    case PictureFormat::Gif:
    case PictureFormat::Pcx8: {
        const std::size_t stride = (static_cast<std::size_t>(p.width) + 3) / 4 * 4;
        const std::uint8_t index = p.pixels[kPaletteBitmapPrefixSize + (p.height - 1 - y) * stride + x];
        const std::uint8_t* c = p.pixels.data() + kBitmapInfoHeaderSize + 4 * index;
        return qRgb(c[2], c[1], c[0]);
    }
    case PictureFormat::Pcx1: {
        const std::size_t stride = (static_cast<std::size_t>(p.width) + 15) / 16 * 2;
        return (p.pixels[y * stride + x / 8] >> (7 - x % 8) & 1) != 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    case PictureFormat::Icon:
    case PictureFormat::Cursor:
        return p.images.front().pixel(x, y);
    case PictureFormat::None:
        break;
    }
    return 0;
}

bool CloseColour(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance && qAlpha(a) == qAlpha(b);
}

} // namespace paveno::test
