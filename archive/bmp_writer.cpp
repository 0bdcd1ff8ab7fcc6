#include "archive/bmp_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "io/little_endian.h"
#include "io/size_limits.h"
#include "zok/bitmap_info.h"

namespace zok {

namespace {

constexpr size_t kPieceBytes = 1 << 20;
constexpr uint64_t kBmpHeaders = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;

}  // namespace

Error WriteAt(int fd, const uint8_t* bytes, size_t size, uint64_t position) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, off_t(position));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return MakeError(ErrorCode::CannotWrite, "", "", n < 0 ? errno : EIO);
        }
        bytes += n;
        size -= size_t(n);
        position += uint64_t(n);
    }
    return Error();
}

Error BmpRowWriter::Begin(int fd, uint32_t width, uint32_t height) {
    m_fd = fd;
    m_width = width;
    m_height = height;
    const uint64_t stride = BitmapRowBytes(width, 24);
    const uint64_t fileSize = kBmpHeaders + stride * height;
    if (width == 0 || height == 0 || width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX) ||
        fileSize > uint64_t(kMaxZokFileSize)) {
        return MakeError(ErrorCode::PictureTooLargeForBmp);
    }
    m_stride = size_t(stride);
    m_rowsPerPiece = std::max<size_t>(1, kPieceBytes / m_stride);
    m_piece.assign(m_rowsPerPiece * m_stride, 0);
    uint8_t head[kBmpHeaders] = {};
    head[0] = 'B';
    head[1] = 'M';
    PutU32(head + 2, uint32_t(fileSize));
    PutU32(head + 10, uint32_t(kBmpHeaders));
    BITMAPINFOHEADER info;
    info.biSize = kBitmapInfoHeaderSize;
    info.biWidth = int32_t(width);
    info.biHeight = int32_t(height);
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = uint32_t(stride * height);
    WriteBitmapInfoHeader(info, head + kBitmapFileHeaderSize);
    return WriteAt(fd, head, sizeof head, 0);
}

Error BmpRowWriter::Row(uint32_t y, const uint8_t* pixels, size_t pixelBytes) {
    if (m_gathered == 0) {
        m_first = y;
    }
    // Rows gathered top-down fill the piece from its end: in the file they run bottom-up.
    uint8_t* to = m_piece.data() + (m_rowsPerPiece - 1 - m_gathered) * m_stride;
    for (size_t x = 0; x < m_width; ++x) {
        std::memcpy(to + x * 3, pixels + x * pixelBytes, 3);
    }
    ++m_gathered;
    return m_gathered == m_rowsPerPiece ? Flush() : Error();
}

Error BmpRowWriter::Flush() {
    if (m_gathered == 0) {
        return Error();
    }
    // The lowest row gathered is the first of them in the file.
    const uint32_t lowest = m_first + m_gathered - 1;
    const uint64_t position = kBmpHeaders + uint64_t(m_height - 1 - lowest) * m_stride;
    const uint8_t* from = m_piece.data() + (m_rowsPerPiece - m_gathered) * m_stride;
    const Error error = WriteAt(m_fd, from, m_gathered * m_stride, position);
    m_gathered = 0;
    return error;
}

Error BmpRowWriter::Finish() {
    return Flush();
}

Error PgmRowWriter::Begin(int fd, uint32_t width, uint32_t height) {
    m_fd = fd;
    m_width = width;
    m_line.assign(width, 0xFF);
    const std::string head =
        "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    m_start = head.size();
    return WriteAt(fd, reinterpret_cast<const uint8_t*>(head.data()), head.size(), 0);
}

Error PgmRowWriter::Row(uint32_t y, const uint8_t* pixels, size_t pixelBytes) {
    if (pixelBytes == 4) {
        for (size_t x = 0; x < m_width; ++x) {
            m_line[x] = pixels[x * 4 + 3];
        }
    }
    return WriteAt(m_fd, m_line.data(), m_line.size(), m_start + uint64_t(y) * m_width);
}

}  // namespace zok
