#include "zok/zok_file.h"

#include <algorithm>
#include <cstdlib>

#include "archive/content_readers.h"
#include "archive/zok_directory.h"
#include "archive/zok_format.h"
#include "io/names.h"
#include "zok/names.h"

namespace zok {

ZokOpenError::ZokOpenError(const std::string& path, int errorNumber)
    : ZokError("Cannot create ZOK File instance for file " + path,
               MakeError(ErrorCode::CannotOpen, path, "", errorNumber)),
      m_errorNumber(errorNumber) {}

std::string EscapeRawName(std::string_view raw) {
    return EscapeBytes(raw, [](unsigned char byte) { return byte >= 0x80; });
}

CZokFile::CZokFile(const std::string& path) : m_directory(std::make_unique<ArchiveDirectory>()) {
    m_directory->path = path;
    LoadDirectory(*m_directory);
}

ZokOpenError::~ZokOpenError() = default;

std::string_view CZokFile::Version() const {
    return std::string_view(m_directory->version, 3);
}

bool CZokFile::NeedsUpgrade() const {
    return VersionNeedsUpgrade(Version());
}

uint32_t CZokFile::Count() const {
    return uint32_t(m_directory->entries.size());
}

const char* ContentKindName(ContentKind content) {
    switch (content) {
        case ContentKind::PngPicture:
            return "png";
        case ContentKind::StoredBitmap:
            return "bitmap";
        case ContentKind::Deflated:
            return "deflated";
        case ContentKind::Stored:
            return "stored";
        case ContentKind::Unknown:
            break;
    }
    return "unknown";
}

EntryDescription CZokFile::Describe(size_t index) const {
    const CompactRecord& r = m_directory->entries.at(index);
    EntryDescription d;
    d.name = DecodeName(m_directory->RawName(r));
    d.kind = r.kind;
    d.offset = r.offset;
    d.sourceSize = r.sourceSize;
    d.storedSize = r.storedSize;
    d.contentSize = m_directory->ContentSize(r);
    d.holdsData = !m_directory->HoldsNoData(r);
    if (const std::optional<EntryReadRule> rule = m_directory->Rule(r)) {
        d.picture = rule->picture;
        d.extractsAsBmp = ExtractsAsBmp(r.kind, m_directory->RawName(r));
        d.content = r.kind == EntryKind::PngStream       ? ContentKind::PngPicture
                    : rule->codec == CCodecTable::kBmp   ? ContentKind::StoredBitmap
                    : rule->read == ContentRead::Inflate ? ContentKind::Deflated
                                                         : ContentKind::Stored;
    }
    return d;
}

CZokFile::~CZokFile() = default;

const ArchiveDirectory& DirectoryOf(const CZokFile& archive) {
    return *archive.m_directory;
}

const std::string& CZokFile::Path() const {
    return m_directory->path;
}

uint64_t CZokFile::FileSize() const {
    return m_directory->fileSize;
}

EntryRecord CZokFile::Record(size_t index) const {
    EntryDescription d = Describe(index);
    EntryRecord out;
    out.name = std::move(d.name);
    out.offset = d.offset;
    out.sourceSize = d.sourceSize;
    out.storedSize = d.storedSize;
    out.kind = d.kind;
    return out;
}

std::string CZokFile::RawName(size_t index) const {
    return std::string(m_directory->RawName(m_directory->entries.at(index)));
}

std::optional<size_t> CZokFile::Find(std::string_view name) const {
    return FindEntryNamed(*m_directory, name);
}

std::vector<size_t> CZokFile::FindAll(std::string_view nameOrPattern) const {
    if (const std::optional<size_t> literal = Find(nameOrPattern)) {
        return {*literal};
    }
    std::vector<size_t> found;
    if (!HasWildcards(nameOrPattern)) {
        return found;
    }
    for (size_t i = 0; i < m_directory->entries.size(); ++i) {
        if (MatchesPattern(nameOrPattern,
                           DecodeName(m_directory->RawName(m_directory->entries[i])))) {
            found.push_back(i);
        }
    }
    return found;
}

bool CZokFile::HoldsNoData(size_t index) const {
    return index < m_directory->entries.size() &&
           m_directory->HoldsNoData(m_directory->entries[index]);
}

Error CZokFile::EntryProblem(size_t index) const {
    const auto problem = [&](ErrorCode code) {
        Error error = MakeError(code, m_directory->path);
        if (index < m_directory->entries.size()) {
            error.entry = DecodeName(m_directory->RawName(m_directory->entries[index]));
        }
        return error;
    };
    if (index >= m_directory->entries.size()) {
        Error error = problem(ErrorCode::NoSuchEntry);
        error.number = index;
        return error;
    }
    const CompactRecord& r = m_directory->entries[index];
    const std::optional<EntryReadRule> rule = m_directory->Rule(r);
    if (!rule) {
        Error error = problem(ErrorCode::UnknownKind);
        error.number = unsigned(r.kind);
        return error;
    }
    if (m_directory->HoldsNoData(r)) {
        return problem(ErrorCode::HoldsNoData);
    }
    // An entry without stored bytes needs none of the file, wherever its offset points.
    if (r.storedSize > 0 && uint64_t(r.offset) + r.storedSize > m_directory->fileSize) {
        return problem(ErrorCode::DataPastEnd);
    }
    if (rule->read == ContentRead::Copy && m_directory->ContentSize(r) > r.storedSize) {
        return problem(ErrorCode::SizeLargerThanStored);
    }
    if (rule->read == ContentRead::Inflate && r.sourceSize > MaxInflatedSize(r.storedSize)) {
        return problem(ErrorCode::SizeLargerThanCompressed);
    }
    return Error();
}

uint32_t CZokFile::GetEntrySizeAt(size_t index) const {
    if (index >= m_directory->entries.size()) {
        return 0;
    }
    return uint32_t(m_directory->ContentSize(m_directory->entries[index]));
}

std::unique_ptr<EntryReader> CZokFile::OpenEntry(size_t index) const {
    const uint64_t size = GetEntrySizeAt(index);
    EntryContext context{m_directory->path, index < Count() ? Record(index).name : std::string()};
    if (Error problem = EntryProblem(index)) {
        return MakeFailedReader(std::move(context), size, std::move(problem));
    }
    const CompactRecord& r = m_directory->entries[index];
    if (m_directory->Rule(r)->read == ContentRead::Inflate) {
        return MakeInflatingReader(std::move(context), m_directory->Source(r), size);
    }
    return MakeCopyReader(std::move(context), m_directory->Source(r), size);
}

bool CZokFile::ExtractEntryAt(size_t index, uint8_t* buffer) const {
    return ExtractEntryAt(index, buffer, GetEntrySizeAt(index));
}

bool CZokFile::ExtractEntryAt(size_t index, uint8_t* buffer, size_t capacity) const {
    const std::unique_ptr<EntryReader> reader = OpenEntry(index);
    if (reader->Problem() || reader->Size() > capacity ||
        (buffer == nullptr && reader->Size() > 0)) {
        return false;
    }
    uint8_t none = 0;
    uint8_t* out = buffer != nullptr ? buffer : &none;
    uint64_t done = 0;
    for (;;) {
        // An empty entry still goes through its checks, with room for one byte.
        const size_t want = size_t(std::max<uint64_t>(reader->Size() - done, 1));
        const size_t got = reader->Read(reader->Size() > 0 ? out + done : out, want);
        if (got == 0) {
            break;
        }
        done += got;
    }
    return reader->Complete();
}

PixelBuffer CZokFile::DecodeEntryBitmapAt(size_t index, BITMAPINFOHEADER* header,
                                          PixelBuffer* alpha) const {
    if (alpha != nullptr) {
        alpha->reset();
    }
    if (header == nullptr || EntryProblem(index)) {
        return nullptr;
    }
    const CompactRecord& r = m_directory->entries[index];
    const EntryReadRule rule = *m_directory->Rule(r);
    if (!rule.picture) {
        return nullptr;
    }
    // A picture larger than the limit is refused before anything is allocated for it.
    BITMAPINFOHEADER probe;
    if (ReadEntryBitmapInfoAt(index, &probe) &&
        uint64_t(std::llabs(probe.biWidth)) * uint64_t(std::llabs(probe.biHeight)) >
            PictureLimit()) {
        return nullptr;
    }
    EntrySource source = m_directory->Source(r);
    FileHandle stream = OpenEntryStream(source);
    if (!stream) {
        return nullptr;
    }
    // A stored bitmap has no alpha plane; the codec is not asked for one. The codec's exception
    // keeps its text and learns which entry it concerns.
    try {
        return m_directory->codecs.At(rule.codec)
            ->DecodeBitmap(stream.Get(), header, r.kind == EntryKind::BmpFile ? nullptr : alpha);
    } catch (const ZokError& e) {
        Error problem = e.Problem();
        problem.path = m_directory->path;
        problem.entry = Record(index).name;
        throw ZokError(e.what(), std::move(problem));
    }
}

bool CZokFile::ReadEntryBitmapInfoAt(size_t index, BITMAPINFOHEADER* header) const {
    if (header == nullptr || EntryProblem(index)) {
        return false;
    }
    const CompactRecord& r = m_directory->entries[index];
    const EntryReadRule rule = *m_directory->Rule(r);
    if (!rule.picture) {
        return false;
    }
    EntrySource source = m_directory->Source(r);
    FileHandle stream = OpenEntryStream(source);
    return stream && m_directory->codecs.At(rule.codec)->ReadBitmapInfo(stream.Get(), header);
}

uint32_t CZokFile::GetEntrySize(std::string_view name) const {
    const std::optional<size_t> index = Find(name);
    return index ? GetEntrySizeAt(*index) : 0;
}

bool CZokFile::ExtractEntry(std::string_view name, uint8_t* buffer) const {
    const std::optional<size_t> index = Find(name);
    return index && ExtractEntryAt(*index, buffer);
}

bool CZokFile::ExtractEntry(std::string_view name, uint8_t* buffer, size_t capacity) const {
    const std::optional<size_t> index = Find(name);
    return index && ExtractEntryAt(*index, buffer, capacity);
}

PixelBuffer CZokFile::DecodeEntryBitmap(std::string_view name, BITMAPINFOHEADER* header,
                                        PixelBuffer* alpha) const {
    const std::optional<size_t> index = Find(name);
    if (!index) {
        if (alpha != nullptr) {
            alpha->reset();
        }
        return nullptr;
    }
    return DecodeEntryBitmapAt(*index, header, alpha);
}

bool CZokFile::ReadEntryBitmapInfo(std::string_view name, BITMAPINFOHEADER* header) const {
    const std::optional<size_t> index = Find(name);
    return index && ReadEntryBitmapInfoAt(*index, header);
}

}  // namespace zok
