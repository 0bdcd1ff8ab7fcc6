#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zok/error.h"

namespace zok {

// Writers for pictures taken out of an archive, fed one row at a time (top row first, as
// pictures are decoded) and writing into a file descriptor by position, so that a picture of
// any size costs a row or two of memory.

// A complete 24-bit uncompressed BMP file: file header, 40-byte info header, then the rows,
// which a BMP file holds bottom-up and padded to 4 bytes. Rows are gathered into pieces of
// about a megabyte (consecutive rows are neighbours in the file, in reverse), so that small
// pictures take few writes.
class BmpRowWriter {
public:
    // Writes the headers; PictureTooLargeForBmp when the file would not fit 32-bit sizes.
    Error Begin(int fd, uint32_t width, uint32_t height);
    // Row y (0 is the top) of width pixels, pixelBytes apart (3 or 4), blue, green, red first.
    Error Row(uint32_t y, const uint8_t* pixels, size_t pixelBytes);
    // Writes what is gathered; call after the last row.
    Error Finish();

private:
    Error Flush();

    int m_fd = -1;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    size_t m_stride = 0;
    size_t m_rowsPerPiece = 0;
    std::vector<uint8_t> m_piece;
    uint32_t m_first = 0;  // the first (topmost) row gathered
    uint32_t m_gathered = 0;
};

// A binary greyscale PGM (P5, maxval 255), top row first: the alpha plane of a picture.
class PgmRowWriter {
public:
    Error Begin(int fd, uint32_t width, uint32_t height);
    // Row y's alpha: the last of each pixel's pixelBytes bytes, or 255 (opaque) when the
    // pixels carry no alpha (pixelBytes 3).
    Error Row(uint32_t y, const uint8_t* pixels, size_t pixelBytes);

private:
    int m_fd = -1;
    uint32_t m_width = 0;
    uint64_t m_start = 0;
    std::vector<uint8_t> m_line;
};

// Writes all of bytes at position; CannotWrite with the system's reason on failure.
Error WriteAt(int fd, const uint8_t* bytes, size_t size, uint64_t position);

}  // namespace zok
