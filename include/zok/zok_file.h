#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/codec_table.h"
#include "archive/entry_codec.h"
#include "archive/file_handle.h"
#include "zok/entry_record.h"
#include "zok/zok_error.h"

// Raised when the archive file itself cannot be opened. what() is exactly
// "Cannot create ZOK File instance for file " + path; ErrorNumber() gives the system's reason.
class ZokOpenError : public ZokError {
public:
    ZokOpenError(const std::string& path, int errorNumber);
    int ErrorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

// An open ZOK archive: its directory in memory and its file open for reading until the object
// goes away. Entries are looked up by name without regard to case; the first match wins.
//
// Opening checks every count, length and offset against the file's real size and raises
// ZokError (naming the file and the problem) for an archive that cannot be trusted. An entry
// whose data does not fit in the file fails its operations (false or null) instead.
class CZokFile {
public:
    explicit CZokFile(const std::string& path);
    ~CZokFile();
    CZokFile(const CZokFile&) = delete;
    CZokFile& operator=(const CZokFile&) = delete;

    // The buffer size ExtractEntry needs: storedSize for a PNG stream, else sourceSize;
    // 0 when no entry has that name.
    uint32_t GetEntrySize(std::string_view name) const;
    // Fills buffer (GetEntrySize bytes) with the entry's content. False when there is no such
    // entry, its kind is unknown or its data is damaged.
    bool ExtractEntry(std::string_view name, uint8_t* buffer);
    // Decodes a picture entry into 24-bit BGR bottom-up pixels (and the alpha plane when alpha
    // is given and the entry has one). Null, with *alpha cleared, for anything else.
    PixelBuffer DecodeEntryBitmap(std::string_view name, BITMAPINFOHEADER* header,
                                  PixelBuffer* alpha);
    // Fills only the bitmap header of a picture entry.
    bool ReadEntryBitmapInfo(std::string_view name, BITMAPINFOHEADER* header);

    // The same operations for the entry at a directory position, so that entries sharing a
    // name can each be reached.
    uint32_t GetEntrySizeAt(size_t index) const;
    bool ExtractEntryAt(size_t index, uint8_t* buffer);
    PixelBuffer DecodeEntryBitmapAt(size_t index, BITMAPINFOHEADER* header, PixelBuffer* alpha);
    bool ReadEntryBitmapInfoAt(size_t index, BITMAPINFOHEADER* header);

    // Position of the first entry with that name (ASCII letters folded), or nullopt.
    std::optional<size_t> Find(std::string_view name) const;

    // Why the entry's data cannot be read (it runs past the end of the file, its kind is
    // unknown, its sizes contradict each other), or nullopt when it looks sound. The operations
    // above fail for such entries; callers check this before allocating GetEntrySize bytes.
    std::optional<std::string> EntryProblem(size_t index) const;

    // Three version characters: as stored, or "100" for a file without the magic.
    std::string_view Version() const { return std::string_view(version, 3); }
    uint32_t Count() const { return count; }
    // The directory in file order; names in UTF-8.
    const std::vector<EntryRecord>& Records() const { return records; }
    // The name of entry index exactly as stored on disk (CP949 bytes).
    const std::string& RawName(size_t index) const { return m_rawNames.at(index); }
    const std::string& Path() const { return m_path; }
    uint64_t FileSize() const { return m_fileSize; }

private:
    void ReadDirectory();
    bool SeekTo(uint32_t offset);

    char version[3] = {'1', '0', '0'};
    uint32_t count = 0;
    std::vector<EntryRecord> records;
    FileHandle stream;
    CCodecTable codecs;

    std::string m_path;
    uint64_t m_fileSize = 0;
    std::vector<std::string> m_rawNames;
    // Folded name -> position of the first record with that name.
    std::unordered_map<std::string, size_t> m_index;
};

// How an entry name that is not valid CP949 is shown: ASCII bytes kept, every other byte
// written as \xNN (upper-case hex).
std::string EscapeRawName(std::string_view raw);
