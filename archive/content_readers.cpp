#include "archive/content_readers.h"

#include <algorithm>
#include <new>

#include "codecs/inflate_reader.h"

namespace zok {

EntryReader::~EntryReader() = default;

Error DrainEntry(EntryReader& reader, const std::function<bool(const uint8_t*, size_t)>& sink,
                 const std::atomic<bool>* cancel, size_t pieceSize) {
    if (reader.Problem()) {
        return reader.Problem();
    }
    const size_t size = size_t(
        std::clamp<uint64_t>(reader.Size() - reader.Done(), 1, std::max<size_t>(pieceSize, 1)));
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[size]);
    if (!piece) {
        Error error = reader.Problem();
        error.code = ErrorCode::OutOfMemory;
        return error;
    }
    for (;;) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            return MakeError(ErrorCode::Cancelled);
        }
        const size_t got = reader.Read(piece.get(), size);
        if (got == 0) {
            break;
        }
        if (!sink(piece.get(), got)) {
            return MakeError(ErrorCode::Cancelled);
        }
    }
    return reader.Complete() ? Error() : reader.Problem();
}

namespace {

// What every reader of this file shares: the counts and the way a problem names its entry.
class ReaderBase : public EntryReader {
public:
    ReaderBase(EntryContext context, uint64_t size) : m_context(std::move(context)), m_size(size) {}

    uint64_t Size() const override { return m_size; }
    uint64_t Done() const override { return m_done; }
    bool Complete() const override { return m_finished && !m_problem; }
    const Error& Problem() const override { return m_problem; }

protected:
    void Fail(ErrorCode code, int errorNumber = 0) {
        m_problem = MakeError(code, m_context.path, m_context.entry, errorNumber);
    }
    // The source ended early or failed.
    void ReadFailure(const EntrySource& source) {
        if (source.Failed()) {
            Fail(ErrorCode::CannotRead, source.ErrorNumber());
        } else {
            Fail(ErrorCode::DataCutShort);
        }
    }
    bool Stopped() const { return m_finished || m_problem; }

    EntryContext m_context;
    uint64_t m_size;
    uint64_t m_done = 0;
    bool m_finished = false;
    Error m_problem;
};

class FailedReader : public ReaderBase {
public:
    FailedReader(EntryContext context, uint64_t size, Error problem)
        : ReaderBase(std::move(context), size) {
        m_problem = std::move(problem);
    }
    size_t Read(void*, size_t) override { return 0; }
};

// The first size bytes of the entry's stored bytes.
class CopyReader : public ReaderBase {
public:
    CopyReader(EntryContext context, EntrySource source, uint64_t size)
        : ReaderBase(std::move(context), size), m_source(source) {
        m_finished = size == 0;
    }

    size_t Read(void* buffer, size_t capacity) override {
        if (Stopped()) {
            return 0;
        }
        const size_t want = size_t(std::min<uint64_t>(capacity, m_size - m_done));
        const size_t got = m_source.Read(buffer, want);
        m_done += got;
        if (got < want) {
            ReadFailure(m_source);
        }
        m_finished = m_done == m_size;
        return got;
    }

private:
    EntrySource m_source;
};

// A zlib stream in the entry's stored bytes that inflates to exactly size bytes.
class InflatingReader : public ReaderBase {
public:
    InflatingReader(EntryContext context, EntrySource source, uint64_t size)
        : ReaderBase(std::move(context), size),
          m_source(source),
          m_inflater(&Pull, &m_source, size) {}

    size_t Read(void* buffer, size_t capacity) override {
        if (Stopped()) {
            return 0;
        }
        const size_t got = m_inflater.Read(static_cast<uint8_t*>(buffer), capacity);
        m_done += got;
        if (m_inflater.Problem() != ErrorCode::None) {
            if (m_source.Failed()) {
                ReadFailure(m_source);
            } else {
                Fail(m_inflater.Problem());
            }
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

std::unique_ptr<EntryReader> MakeFailedReader(EntryContext context, uint64_t size, Error problem) {
    return std::make_unique<FailedReader>(std::move(context), size, std::move(problem));
}

std::unique_ptr<EntryReader> MakeCopyReader(EntryContext context, const EntrySource& source,
                                            uint64_t size) {
    return std::make_unique<CopyReader>(std::move(context), source, size);
}

std::unique_ptr<EntryReader> MakeInflatingReader(EntryContext context, const EntrySource& source,
                                                 uint64_t size) {
    return std::make_unique<InflatingReader>(std::move(context), source, size);
}

}  // namespace zok
