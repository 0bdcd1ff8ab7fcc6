#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zok/bitmap_info.h"
#include "zok/entry_description.h"
#include "zok/entry_reader.h"
#include "zok/entry_record.h"
#include "zok/error.h"
#include "zok/export.h"
#include "zok/picture.h"
#include "zok/zok_error.h"

namespace zok {

// Raised when the archive file itself cannot be opened. what() is exactly
// "Cannot create ZOK File instance for file " + path; Problem() is CannotOpen with the system's
// reason, which ErrorNumber() gives too.
class ZOK_API ZokOpenError : public ZokError {
public:
    ZokOpenError(const std::string& path, int errorNumber);
    ~ZokOpenError() override;
    int ErrorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

struct ArchiveDirectory;

// An open ZOK archive: its directory in memory and its file open for reading until the object
// goes away. Entries are looked up by name without regard to case; the first match wins. Every
// operation comes in two forms: by name (the first entry of that name) and by directory
// position (...At), so that entries sharing a name can each be reached.
//
// Every entry is read from exactly its own stored bytes [offset, offset + storedSize) and
// yields exactly its content, or its operation fails: no operation reports success with a
// buffer it did not fill, and no read reaches into another entry's bytes.
//
// How it fails: opening raises ZokOpenError for a file that cannot be opened and ZokError (its
// Problem() says why: NotAnArchive, DirectoryPastEnd, DataOverlap ...) for a file that is not a
// ZOK archive or cannot be trusted. A file without the "ZOK" magic is taken as a version 1.0.0
// archive only when its directory parses whole, every entry lies after the directory inside the
// file and nothing follows the last entry's data. An archive that was cut short still opens:
// the entries past its end are damaged (EntryProblem), the others read. The operations that the
// format's callers have always used keep their results (0, false, null) and the PNG codec's
// exceptions ("Not a PNG", "error"), which now name the entry in Problem(); the newer ones
// return an Error. A name that no entry has, or a position at or past Count(), is NoSuchEntry
// for every operation (0, false or null for the older ones); the accessors Record, RawName and
// Describe raise std::out_of_range for a position past the end.
//
// Threads: after opening, every const operation may run on several threads at once (each read
// goes by position in the file, sharing nothing); SetPictureLimit must come before them.
class ZOK_API CZokFile {
public:
    explicit CZokFile(const std::string& path);
    // Reads the archive from a file that is open already (a copy of fd is kept, fd stays the
    // caller's), such as a spooled copy of standard input; shownPath names it in Path() and in
    // every error. Fails as opening by path does.
    CZokFile(int fd, const std::string& shownPath);
    ~CZokFile();
    CZokFile(const CZokFile&) = delete;
    CZokFile& operator=(const CZokFile&) = delete;

    // The buffer size ExtractEntry needs: storedSize for a PNG stream, else sourceSize;
    // 0 when no entry has that name (Find tells an empty entry from none).
    uint32_t GetEntrySize(std::string_view name) const;
    // Fills buffer with the entry's content (GetEntrySize bytes, at most capacity). False when
    // there is no such entry, the content does not fit capacity, the entry holds no data, its
    // kind is unknown or its data is damaged. The form without capacity trusts the buffer to
    // hold GetEntrySize bytes.
    bool ExtractEntry(std::string_view name, uint8_t* buffer, size_t capacity) const;
    bool ExtractEntry(std::string_view name, uint8_t* buffer) const;
    // Decodes a picture entry into the bitmap form: 24-bit pixels in blue-green-red order, the
    // bottom row first. Without an alpha plane (alpha null, or a picture without one) each row
    // is padded to a multiple of 4 bytes (BitmapRowBytes(width, 24)); with one the rows are
    // packed (width x 3 bytes) and *alpha receives width x height bytes, top row first. Null,
    // with *alpha cleared, for anything else, an entry that holds no data or a picture past the
    // picture limit included. The PNG codec's ZokError ("Not a PNG", "error") passes. For game
    // code DecodePicture is simpler: one layout, top row first.
    PixelBuffer DecodeEntryBitmap(std::string_view name, BITMAPINFOHEADER* header,
                                  PixelBuffer* alpha) const;
    // Fills only the bitmap header of a picture entry.
    bool ReadEntryBitmapInfo(std::string_view name, BITMAPINFOHEADER* header) const;

    uint32_t GetEntrySizeAt(size_t index) const;
    bool ExtractEntryAt(size_t index, uint8_t* buffer, size_t capacity) const;
    bool ExtractEntryAt(size_t index, uint8_t* buffer) const;
    PixelBuffer DecodeEntryBitmapAt(size_t index, BITMAPINFOHEADER* header,
                                    PixelBuffer* alpha) const;
    bool ReadEntryBitmapInfoAt(size_t index, BITMAPINFOHEADER* header) const;

    // Pictures with more pixels than maxPixels are refused by every picture operation
    // (PictureTooLarge; DecodeEntryBitmap gives null) before anything is allocated for them.
    // kDefaultPictureLimit unless set.
    void SetPictureLimit(uint64_t maxPixels);
    uint64_t PictureLimit() const;

    // A picture entry decoded into one buffer for game code: top row first, RGB8, or RGBA8 when
    // the picture has alpha (see Picture). The picture is decoded row by row into the buffer,
    // which is its only copy. Errors: NoSuchEntry, NotAPicture, the entry's damage
    // (PictureDamaged ...), PictureTooLarge, OutOfMemory.
    Error DecodePicture(std::string_view name, Picture* picture) const;
    Error DecodePictureAt(size_t index, Picture* picture) const;

    // A picture entry row by row, top row first, without holding the picture (only an
    // interlaced PNG stream is held whole while it is decoded): begin hears the size before the
    // first row; each row has width pixels of 3 bytes (PictureInfo::hasAlpha false) or 4 (alpha
    // last; only when keepAlpha), colours in order. A callback that returns false stops the
    // decoding (Cancelled), as does *cancel, looked at between rows. Errors as DecodePicture.
    Error ReadPictureRows(size_t index, PixelOrder order, bool keepAlpha,
                          const std::function<bool(const PictureInfo& info)>& begin,
                          const std::function<bool(uint32_t y, const uint8_t* row)>& row,
                          const std::atomic<bool>* cancel = nullptr) const;

    // The entry's content in pieces (see EntryReader); never null. For an entry that cannot be
    // read the reader's Problem() says why at once.
    std::unique_ptr<EntryReader> OpenEntry(size_t index) const;

    // Position of the first entry with that name (ASCII letters folded; a name shown with \xNN
    // escapes is found in that form too), or nullopt.
    std::optional<size_t> Find(std::string_view name) const;
    // The entries a name or a shell-style pattern (MatchesPattern, zok/names.h) gives, in
    // directory order: a name that an entry has literally gives that entry alone (the first of
    // that name), so that names holding *, ? or [ can still be reached; otherwise every entry
    // whose name, as listed, matches the pattern. Empty when nothing matches.
    std::vector<size_t> FindAll(std::string_view nameOrPattern) const;

    // Why the entry's data cannot be read, as far as the directory tells (NoSuchEntry,
    // UnknownKind, HoldsNoData, DataPastEnd, SizeLargerThanStored, SizeLargerThanCompressed),
    // or an Error with code None when it looks sound. Reading it may still find damage.
    Error EntryProblem(size_t index) const;
    // True for an entry that was left empty because it could not be encoded when the archive
    // was built (a picture or deflate entry with no stored bytes).
    bool HoldsNoData(size_t index) const;

    // Everything the archive can tell about an entry without reading it (see EntryDescription).
    EntryDescription Describe(size_t index) const;

    // Three version characters: as stored, or "100" for a file without the magic.
    std::string_view Version() const;
    // True for a version 1.0.0 archive, which UpgradeArchive rewrites as 1.1.0.
    bool NeedsUpgrade() const;
    uint32_t Count() const;
    // Record index of the directory; its name in UTF-8 (bytes that are not CP949 as \xNN).
    EntryRecord Record(size_t index) const;
    // Its name exactly as stored on disk (CP949 bytes).
    std::string RawName(size_t index) const;
    const std::string& Path() const;
    uint64_t FileSize() const;

private:
    // The directory behind an archive object, for the library's own operations.
    friend const ArchiveDirectory& DirectoryOf(const CZokFile& archive);

    std::unique_ptr<ArchiveDirectory> m_directory;
};

// How an entry name that is not valid CP949 is shown: ASCII bytes kept, every other byte
// written as \xNN (upper-case hex).
ZOK_API std::string EscapeRawName(std::string_view raw);

}  // namespace zok
