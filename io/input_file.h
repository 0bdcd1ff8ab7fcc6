#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "io/file_handle.h"
#include "zok/build_archive.h"

namespace zok {

// One input of a build, opened without blocking and measured, then watched while a codec reads
// it: its reads are counted (for progress), a cancel makes them fail, and a file that changes
// while it is read — its size or time stamps differ from when it was measured, or it ends
// before its measured size — is found afterwards.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens and measures path: a regular file below 2 GiB. False with *problem otherwise.
    bool Open(const std::string& path, BuildProblem* problem);
    // Opens an already open stream (the upgrade's temporary file) the same way; it stays the
    // caller's. label names it in problems.
    bool Adopt(FILE* file, const std::string& label, BuildProblem* problem);

    uint32_t Size() const { return m_size; }
    const struct stat& Status() const { return m_status; }

    // The stream a codec reads, at the file's first byte.
    FILE* Stream() const { return m_stream.Get(); }

    // Called after reads with the bytes read so far, at most about once a megabyte.
    void OnRead(std::function<void(uint64_t)> hook) { m_onRead = std::move(hook); }
    // Reads fail once *cancel is set.
    void SetCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    bool Cancelled() const { return m_cancel != nullptr && m_cancel->load(); }

    // After the codec ran: true when the file is as it was measured; else *problem says so.
    bool Unchanged(BuildProblem* problem) const;
    // A read of the file failed (not a cancel): *problem names it with the system's reason.
    bool ReadFailed(BuildProblem* problem) const;

private:
    bool Start(int fd, bool ownsFd, const std::string& label, BuildProblem* problem);
    static ssize_t Read(void* cookie, char* buffer, size_t size);
    static int Seek(void* cookie, off64_t* offset, int whence);
    static int Close(void* cookie);

    std::string m_label;
    int m_fd = -1;
    bool m_ownsFd = false;
    uint32_t m_size = 0;
    struct stat m_status {};
    FileHandle m_stream;
    uint64_t m_read = 0;
    uint64_t m_reported = 0;
    bool m_endedEarly = false;
    int m_readError = 0;
    std::function<void(uint64_t)> m_onRead;
    const std::atomic<bool>* m_cancel = nullptr;
};

}  // namespace zok
