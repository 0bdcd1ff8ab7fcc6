#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/atomic_file.h"
#include "zok/build_archive.h"
#include "zok/entry_record.h"

namespace zok {

// Writes one ZOK archive (version 1.1.0), the one place that knows its layout and the rule that
// nothing is lost: the header and directory are reserved first, entries are placed one after
// another behind them (a failed entry is stepped back over, so the next one starts where it
// started), nothing may start or end past the format's 2 GiB, and the directory is written
// last. The file is written unnamed beside the target and put in place only by Commit;
// without a Commit nothing of it remains.
class ZokWriter {
public:
    // names: the entries' names as stored (CP949), in directory order.
    explicit ZokWriter(std::vector<std::string> cp949Names);

    // Creates the file and reserves the header and directory. False with *problem.
    bool Create(const std::string& targetPath, Error* problem);

    // The archive stream, positioned at the end of the last entry: where the next one goes.
    FILE* Stream() const { return m_file.Get(); }
    uint64_t End() const { return m_end; }
    size_t Count() const { return m_records.size(); }

    // Entry index starts at the current end. False when that lies at or past 2 GiB.
    bool BeginEntry(size_t index, const std::string& label, Error* problem);
    // Writes bytes at pos (encoders that work apart from the archive hand in pieces).
    bool WriteAt(uint64_t pos, const uint8_t* bytes, size_t size, Error* problem);
    // Entry index ends at end; its record gets the sizes and kind. What lies past end is
    // stepped back over. False when the entry ends past 2 GiB or the stream cannot go there.
    bool EndEntry(size_t index, uint64_t end, uint32_t sourceSize, uint32_t storedSize,
                  EntryKind kind, const std::string& label, Error* problem);
    // The stream's position as the end of the entry just written by a codec.
    uint64_t StreamPosition() const;

    const EntryRecord& Record(size_t index) const { return m_records[index]; }

    // Cuts off what follows the last entry, writes the header and directory, and puts the
    // archive in place (over an existing file only when replace). False with *problem.
    bool Commit(bool replace, Error* problem);

private:
    bool Seek(uint64_t pos, Error* problem);
    bool WriteFailure(Error* problem, int error) const;
    bool CreateFailure(const Error& error, Error* problem) const;

    std::vector<EntryRecord> m_records;
    std::string m_target;
    std::vector<char> m_buffer;  // stdio buffer: fewer system calls for many small entries
    AtomicFile m_file;
    uint64_t m_end = 0;
    uint64_t m_position = 0;  // where the stream stands, as far as this writer moved it
};

}  // namespace zok
