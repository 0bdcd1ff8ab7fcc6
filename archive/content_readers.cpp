#include "archive/content_readers.h"

#include "codecs/inflate_reader.h"
#include "io/atomic_file.h"
#include "io/system_reason.h"

namespace zok {

namespace {

class FailedReader : public EntryReader {
public:
    FailedReader(uint64_t size, std::string error) : EntryReader(size) {
        m_error = std::move(error);
    }
    size_t Read(void*, size_t) override { return 0; }
};

std::string ReadFailure(const EntrySource& source) {
    return source.Failed() ? "its data cannot be read: " + SystemReason(source.ErrorNumber())
                           : "its data is cut short";
}

// The first size bytes of the entry's stored bytes.
class CopyReader : public EntryReader {
public:
    CopyReader(EntrySource source, uint64_t size) : EntryReader(size), m_source(source) {
        m_finished = size == 0;
    }

    size_t Read(void* buffer, size_t size) override {
        if (m_finished || !m_error.empty()) {
            return 0;
        }
        const size_t want = size_t(std::min<uint64_t>(size, m_size - m_done));
        const size_t got = m_source.Read(buffer, want);
        m_done += got;
        if (got < want) {
            m_error = ReadFailure(m_source);
        }
        m_finished = m_done == m_size;
        return got;
    }

private:
    EntrySource m_source;
};

// A zlib stream in the entry's stored bytes that inflates to exactly size bytes.
class InflatingReader : public EntryReader {
public:
    InflatingReader(EntrySource source, uint64_t size)
        : EntryReader(size), m_source(source), m_inflater(&Pull, &m_source, size) {}

    size_t Read(void* buffer, size_t size) override {
        if (m_finished || !m_error.empty()) {
            return 0;
        }
        const size_t got = m_inflater.Read(static_cast<uint8_t*>(buffer), size);
        m_done += got;
        if (m_inflater.Problem() != nullptr) {
            m_error = m_source.Failed() ? ReadFailure(m_source) : m_inflater.Problem();
        }
        m_finished = m_inflater.Complete();
        return got;
    }

private:
    static size_t Pull(void* context, uint8_t* buffer, size_t size) {
        return static_cast<EntrySource*>(context)->Read(buffer, size);
    }

    EntrySource m_source;
    InflateReader m_inflater;
};

}  // namespace

std::unique_ptr<EntryReader> MakeFailedReader(uint64_t size, std::string error) {
    return std::make_unique<FailedReader>(size, std::move(error));
}

std::unique_ptr<EntryReader> MakeCopyReader(const EntrySource& source, uint64_t size) {
    return std::make_unique<CopyReader>(source, size);
}

std::unique_ptr<EntryReader> MakeInflatingReader(const EntrySource& source, uint64_t size) {
    return std::make_unique<InflatingReader>(source, size);
}

}  // namespace zok
