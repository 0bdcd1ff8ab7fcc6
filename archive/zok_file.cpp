#include "zok/zok_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/atomic_file.h"
#include "archive/little_endian.h"
#include "archive/names.h"
#include "archive/zok_format.h"

namespace {

// Deflate cannot expand one stored byte to more than 1032 bytes; a larger source size means a
// damaged record, and must not make a caller allocate gigabytes.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 1024;

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string DecodeName(const std::string& raw) {
    if (IsAscii(raw)) {
        return raw;
    }
    std::optional<std::string> utf8 = Cp949ToUtf8(raw);
    return utf8 ? std::move(*utf8) : EscapeRawName(raw);
}

// Entries of kind 3 were written by the codec their name chose; "old" means stored unchanged.
bool IsStoredEntry(const EntryRecord& record) {
    return EqualsNoCase(KindName(record.name), "OLD");
}

}  // namespace

ZokOpenError::ZokOpenError(const std::string& path, int errorNumber)
    : ZokError("Cannot create ZOK File instance for file " + path), m_errorNumber(errorNumber) {}

std::string EscapeRawName(std::string_view raw) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

CZokFile::CZokFile(const std::string& path) : m_path(path) {
    // Archives are only ever read here, so read-only files and media work.
    stream = FileHandle::Open(path, "rb");
    if (!stream) {
        throw ZokOpenError(path, errno);
    }
    struct stat st {};
    if (::fstat(::fileno(stream.Get()), &st) != 0) {
        throw ZokOpenError(path, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        throw ZokOpenError(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    ReadDirectory();
}

CZokFile::~CZokFile() = default;

void CZokFile::ReadDirectory() {
    FILE* f = stream.Get();
    const auto fail = [this](const std::string& problem) {
        throw ZokError(m_path + ": not a readable ZOK archive: " + problem);
    };
    if (fseeko(f, 0, SEEK_END) != 0) {
        fail(SystemReason(errno));
    }
    const off_t size = ftello(f);
    if (size < 0) {
        fail(SystemReason(errno));
    }
    if (size > kMaxZokFileSize) {
        fail("the file is 2 GiB or larger, more than the format can describe");
    }
    m_fileSize = uint64_t(size);

    uint8_t head[kHeaderSize] = {};
    const size_t headSize = size_t(std::min<uint64_t>(m_fileSize, kHeaderSize));
    if (fseeko(f, 0, SEEK_SET) != 0 || std::fread(head, 1, headSize, f) != headSize) {
        fail("cannot read the header: " + SystemReason(errno != 0 ? errno : EIO));
    }
    uint64_t dirStart = 0;
    if (headSize >= 3 && std::memcmp(head, kZokMagic, 3) == 0) {
        if (headSize < kHeaderSize) {
            fail("the header is cut short");
        }
        std::memcpy(version, head + 3, 3);
        count = GetU32(head + 6);
        dirStart = kHeaderSize;
    } else {
        // Version 1.0.0: no magic, the count stands at offset 0.
        if (headSize < 4) {
            fail("the file is too short to hold an entry count");
        }
        std::memcpy(version, "100", 3);
        count = GetU32(head);
        dirStart = 4;
    }

    const uint64_t available = m_fileSize - dirStart;
    if (uint64_t(count) * kRecordFixedSize > available) {
        fail("the directory of " + std::to_string(count) +
             " entries runs past the end of the file");
    }

    // The whole directory is normally fetched with one read; the guess for the name bytes only
    // grows (never past the end of the file) when names are longer than usual.
    std::vector<uint8_t> dir;
    const auto ensure = [&](uint64_t end) {
        if (end <= dir.size()) {
            return true;
        }
        if (end > available) {
            return false;
        }
        const uint64_t target = std::min(available, std::max(end, uint64_t(dir.size()) * 2));
        const size_t have = dir.size();
        dir.resize(size_t(target));
        if (fseeko(f, off_t(dirStart + have), SEEK_SET) != 0 ||
            std::fread(dir.data() + have, 1, dir.size() - have, f) != dir.size() - have) {
            fail("cannot read the directory: " + SystemReason(errno != 0 ? errno : EIO));
        }
        return true;
    };
    errno = 0;
    if (count > 0) {
        ensure(std::min(available, uint64_t(count) * (kRecordFixedSize + 32) + 4096));
    }

    records.resize(count);
    m_rawNames.resize(count);
    m_index.reserve(count);
    uint64_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const std::string which = "entry " + std::to_string(i + 1);
        if (!ensure(pos + 4)) {
            fail(which + " runs past the end of the file");
        }
        const uint32_t nameLength = GetU32(dir.data() + pos);
        if (!ensure(pos + 4 + uint64_t(nameLength) + 13)) {
            fail(which + ": its name of " + std::to_string(nameLength) +
                 " bytes runs past the end of the file");
        }
        const uint8_t* p = dir.data() + pos + 4;
        std::string raw(reinterpret_cast<const char*>(p), nameLength);
        p += nameLength;
        EntryRecord& r = records[i];
        r.offset = GetU32(p);
        r.sourceSize = GetU32(p + 4);
        r.storedSize = GetU32(p + 8);
        r.kind = static_cast<EntryKind>(p[12]);
        if (r.offset > m_fileSize) {
            fail(which + " points past the end of the file");
        }
        r.name = DecodeName(raw);
        m_rawNames[i] = std::move(raw);
        m_index.emplace(FoldCase(r.name), i);
        pos += 4 + uint64_t(nameLength) + 13;
    }
}

std::optional<size_t> CZokFile::Find(std::string_view name) const {
    const auto it = m_index.find(FoldCase(name));
    if (it == m_index.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> CZokFile::EntryProblem(size_t index) const {
    if (index >= records.size()) {
        return "no such entry";
    }
    const EntryRecord& r = records[index];
    const auto kind = static_cast<unsigned>(r.kind);
    if (kind > static_cast<unsigned>(EntryKind::Other)) {
        return "its kind " + std::to_string(kind) + " is unknown";
    }
    if (uint64_t(r.offset) + r.storedSize > m_fileSize) {
        return "its data runs past the end of the file";
    }
    switch (r.kind) {
        case EntryKind::None:
        case EntryKind::BmpFile:
            if (r.sourceSize > r.storedSize) {
                return "its size is larger than its stored data";
            }
            break;
        case EntryKind::PngStream:
            break;
        case EntryKind::Other:
            if (IsStoredEntry(r)) {
                if (r.sourceSize > r.storedSize) {
                    return "its size is larger than its stored data";
                }
            } else if (r.sourceSize > uint64_t(r.storedSize) * kMaxInflateRatio + kInflateSlack) {
                return "its size is larger than its compressed data can hold";
            }
            break;
    }
    return std::nullopt;
}

bool CZokFile::SeekTo(uint32_t offset) {
    std::clearerr(stream.Get());
    return fseeko(stream.Get(), off_t(offset), SEEK_SET) == 0;
}

uint32_t CZokFile::GetEntrySizeAt(size_t index) const {
    if (index >= records.size()) {
        return 0;
    }
    const EntryRecord& r = records[index];
    return r.kind == EntryKind::PngStream ? r.storedSize : r.sourceSize;
}

bool CZokFile::ExtractEntryAt(size_t index, uint8_t* buffer) {
    if (EntryProblem(index) || (buffer == nullptr && GetEntrySizeAt(index) > 0)) {
        return false;
    }
    uint8_t none = 0;
    if (buffer == nullptr) {
        buffer = &none;  // an empty entry still goes through its codec's checks
    }
    const EntryRecord& r = records[index];
    if (!SeekTo(r.offset)) {
        return false;
    }
    switch (r.kind) {
        case EntryKind::None:
        case EntryKind::BmpFile: {
            // The stored bytes are the content; read no more than the buffer holds.
            if (!codecs.At(CCodecTable::kBmp)
                     ->Extract(stream.Get(), buffer, r.sourceSize, r.sourceSize)) {
                return false;
            }
            const off_t end = ftello(stream.Get());
            return end >= 0 && uint64_t(end) == uint64_t(r.offset) + r.sourceSize &&
                   std::ferror(stream.Get()) == 0;
        }
        case EntryKind::PngStream:
            return codecs.At(CCodecTable::kPng)
                ->Extract(stream.Get(), buffer, r.sourceSize, r.storedSize);
        case EntryKind::Other: {
            CEntryCodec* codec =
                codecs.At(IsStoredEntry(r) ? CCodecTable::kStored : CCodecTable::kText);
            return codec->Extract(stream.Get(), buffer, r.sourceSize, r.storedSize);
        }
    }
    return false;
}

PixelBuffer CZokFile::DecodeEntryBitmapAt(size_t index, BITMAPINFOHEADER* header,
                                          PixelBuffer* alpha) {
    if (alpha != nullptr) {
        alpha->reset();
    }
    if (EntryProblem(index) || header == nullptr) {
        return nullptr;
    }
    const EntryRecord& r = records[index];
    if (r.kind != EntryKind::BmpFile && r.kind != EntryKind::PngStream) {
        return nullptr;
    }
    if (!SeekTo(r.offset)) {
        return nullptr;
    }
    if (r.kind == EntryKind::BmpFile) {
        return codecs.At(CCodecTable::kBmp)->DecodeBitmap(stream.Get(), header, nullptr);
    }
    return codecs.At(CCodecTable::kPng)->DecodeBitmap(stream.Get(), header, alpha);
}

bool CZokFile::ReadEntryBitmapInfoAt(size_t index, BITMAPINFOHEADER* header) {
    if (EntryProblem(index) || header == nullptr) {
        return false;
    }
    const EntryRecord& r = records[index];
    if (r.kind != EntryKind::BmpFile && r.kind != EntryKind::PngStream) {
        return false;
    }
    if (!SeekTo(r.offset)) {
        return false;
    }
    const CCodecTable::Slot slot =
        r.kind == EntryKind::BmpFile ? CCodecTable::kBmp : CCodecTable::kPng;
    return codecs.At(slot)->ReadBitmapInfo(stream.Get(), header);
}

uint32_t CZokFile::GetEntrySize(std::string_view name) const {
    const std::optional<size_t> index = Find(name);
    return index ? GetEntrySizeAt(*index) : 0;
}

bool CZokFile::ExtractEntry(std::string_view name, uint8_t* buffer) {
    const std::optional<size_t> index = Find(name);
    return index && ExtractEntryAt(*index, buffer);
}

PixelBuffer CZokFile::DecodeEntryBitmap(std::string_view name, BITMAPINFOHEADER* header,
                                        PixelBuffer* alpha) {
    const std::optional<size_t> index = Find(name);
    if (!index) {
        if (alpha != nullptr) {
            alpha->reset();
        }
        return nullptr;
    }
    return DecodeEntryBitmapAt(*index, header, alpha);
}

bool CZokFile::ReadEntryBitmapInfo(std::string_view name, BITMAPINFOHEADER* header) {
    const std::optional<size_t> index = Find(name);
    return index && ReadEntryBitmapInfoAt(*index, header);
}
