// SPDX-License-Identifier: MIT
// GIF: the first image of the file, decoded by our own LZW decoder into an 8-bit palette bitmap the size of the
// logical screen. Later images of an animation and transparency are not shown.
#include "forms/pictures/PictureCodecs.h"

#include <vector>

namespace paveno::pictures {

namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;

// Reads the image's data sub-blocks as one stream of bits, least significant bit first.
class SubBlockBits {
public:
    SubBlockBits(Bytes data, std::size_t at) : data_(data), at_(at) {}

    // The next code of the given width; false when the data ends (block terminator or end of file).
    bool Next(int width, int& code) {
        while (bitCount_ < width) {
            if (blockLeft_ == 0) {
                if (ended_ || at_ >= data_.size()) return false;
                blockLeft_ = data_[at_++];
                if (blockLeft_ == 0) {
                    ended_ = true;
                    return false;
                }
            }
            if (at_ >= data_.size()) return false;
            bits_ |= static_cast<std::uint32_t>(data_[at_++]) << bitCount_;
            bitCount_ += 8;
            --blockLeft_;
        }
        code = static_cast<int>(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        bitCount_ -= width;
        return true;
    }

    // Skips what is left of the sub-blocks up to their terminator; false if the file ends first.
    bool Finish() {
        if (ended_) return true;
        at_ += blockLeft_;
        blockLeft_ = 0;
        while (at_ < data_.size()) {
            const std::uint8_t size = data_[at_++];
            if (size == 0) return true;
            at_ += size;
        }
        return false;
    }

private:
    Bytes data_;
    std::size_t at_;
    std::size_t blockLeft_ = 0;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    bool ended_ = false;
};

// Skips a run of sub-blocks starting at at; false if the file ends before their terminator.
bool SkipSubBlocks(Bytes data, std::size_t& at) {
    while (at < data.size()) {
        const std::uint8_t size = data[at++];
        if (size == 0) return true;
        at += size;
    }
    return false;
}

bool ReadColourTable(Bytes data, std::size_t& at, int sizeBits, std::array<std::uint32_t, 256>& palette) {
    const std::size_t entries = std::size_t{1} << (sizeBits + 1);
    if (!Fits(data, at, entries * 3)) return false;
    palette.fill(0);
    for (std::size_t i = 0; i < entries; ++i, at += 3)
        palette[i] =
            static_cast<std::uint32_t>(data[at]) << 16 | static_cast<std::uint32_t>(data[at + 1]) << 8 | data[at + 2];
    return true;
}

// Puts decoded pixels of the frame where they belong on the screen, following the interlaced row order.
class FrameWriter {
public:
    FrameWriter(DecodedPicture& picture, int left, int top, int width, int height, bool interlaced)
        : picture_(picture), left_(left), top_(top), width_(width), height_(height), interlaced_(interlaced) {}

    bool Done() const { return row_ >= height_; }

    void Put(std::uint8_t index) {
        if (Done()) return;
        const int sx = left_ + x_, sy = top_ + row_;
        if (sx < picture_.width && sy < picture_.height) PaletteBitmapRow(picture_, sy)[sx] = index;
        if (++x_ < width_) return;
        x_ = 0;
        NextRow();
    }

private:
    void NextRow() {
        if (!interlaced_) {
            ++row_;
            return;
        }
        // Passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }

    DecodedPicture& picture_;
    int left_, top_, width_, height_;
    bool interlaced_;
    int x_ = 0, row_ = 0, pass_ = 0;
};

// LZW as GIF uses it: variable-width codes from minimum size + 1 up to 12 bits, clear and end codes, and no new
// entries once the table is full until the next clear. An impossible code is a damaged file.
bool DecodeLzw(SubBlockBits& bits, int minimumSize, FrameWriter& frame) {
    const int clear = 1 << minimumSize, end = clear + 1;
    std::vector<std::uint16_t> prefix(kMaxCodes);
    std::vector<std::uint8_t> suffix(kMaxCodes), stack(kMaxCodes + 1);
    for (int i = 0; i < clear; ++i)
        suffix[i] = static_cast<std::uint8_t>(i);
    int width = minimumSize + 1, next = end + 1, previous = -1;
    std::uint8_t first = 0;
    int code = 0;
    while (!frame.Done() && bits.Next(width, code)) {
        if (code == clear) {
            width = minimumSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code >= clear) return false;
            first = static_cast<std::uint8_t>(code);
            frame.Put(first);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) return false;
        int depth = 0, walk = code;
        if (code == next) { // the string just about to be defined: previous string plus its own first byte
            stack[depth++] = first;
            walk = previous;
        }
        while (walk >= clear) {
            stack[depth++] = suffix[walk];
            walk = prefix[walk];
        }
        first = static_cast<std::uint8_t>(walk);
        stack[depth++] = first;
        while (depth > 0)
            frame.Put(stack[--depth]);
        if (next < kMaxCodes) {
            prefix[next] = static_cast<std::uint16_t>(previous);
            suffix[next] = first;
            ++next;
            if (next == (1 << width) && width < kMaxCodeBits) ++width;
        }
        previous = code;
    }
    return true;
}

} // namespace

bool DecodeGif(Bytes data, DecodedPicture& out) {
    constexpr std::size_t kScreenDescriptorEnd = 13;
    if (!Fits(data, 0, kScreenDescriptorEnd)) return false;
    int screenWidth = U16(data, 6), screenHeight = U16(data, 8);
    const std::uint8_t screenFlags = data[10], background = data[11];
    std::size_t at = kScreenDescriptorEnd;
    std::array<std::uint32_t, 256> palette{};
    const bool globalTable = (screenFlags & 0x80) != 0;
    if (globalTable && !ReadColourTable(data, at, screenFlags & 7, palette)) return false;

    while (at < data.size()) {
        const std::uint8_t block = data[at++];
        if (block == 0x21) { // extension: label, then sub-blocks
            if (at >= data.size()) return false;
            ++at;
            if (!SkipSubBlocks(data, at)) return false;
            continue;
        }
        if (block != 0x2C) return false; // the trailer or anything else before the first image: nothing to show

        constexpr std::size_t kImageDescriptorSize = 9;
        if (!Fits(data, at, kImageDescriptorSize + 1)) return false;
        const int left = U16(data, at), top = U16(data, at + 2), width = U16(data, at + 4), height = U16(data, at + 6);
        const std::uint8_t flags = data[at + 8];
        at += kImageDescriptorSize;
        if (width == 0 || height == 0) return false;
        if ((flags & 0x80) != 0 && !ReadColourTable(data, at, flags & 7, palette)) return false;
        if (!globalTable && (flags & 0x80) == 0) // no colour table at all: shades of grey
            for (std::uint32_t i = 0; i < 256; ++i)
                palette[i] = i << 16 | i << 8 | i;
        if (at >= data.size()) return false;
        const int minimumSize = data[at++];
        if (minimumSize < 2 || minimumSize > 8) return false;
        // The screen frames the picture and the image is cut to it; only a screen of no size takes the image's.
        // Letting the image's own size grow the screen would let a few bytes claim hundreds of megabytes.
        if (screenWidth == 0 || screenHeight == 0) {
            screenWidth = left + width;
            screenHeight = top + height;
        }

        DecodedPicture result;
        if (!StartPaletteBitmap(screenWidth, screenHeight, palette, PictureFormat::Gif, result)) return false;
        if (background != 0) {
            for (int y = 0; y < screenHeight; ++y) {
                std::uint8_t* row = PaletteBitmapRow(result, y);
                std::fill(row, row + screenWidth, background);
            }
        }
        FrameWriter frame(result, left, top, width, height, (flags & 0x40) != 0);
        SubBlockBits bits(data, at);
        if (!DecodeLzw(bits, minimumSize, frame) || !bits.Finish()) return false;
        out = std::move(result);
        return true;
    }
    return false;
}

} // namespace paveno::pictures
