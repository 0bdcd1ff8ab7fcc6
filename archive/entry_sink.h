#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "archive/encode_pipeline.h"

namespace zok {

// The write-only memory stream a worker gives a codec as its archive: every write becomes part
// of a piece at its position in the entry, and a codec may seek as in a file. Full pieces join
// the worker's handover, which goes to the writer once it holds a piece's worth.
class EntrySink {
public:
    EntrySink(EncodePipeline& pipeline, Handover& handover, size_t index)
        : m_pipeline(pipeline), m_handover(handover), m_index(index) {}

    // The stream, buffered in buffer; null when it cannot be made.
    FILE* Open(std::vector<char>& buffer);

    // Adds the last piece to the handover; false when the build stopped.
    bool Close() { return Seal(); }

    uint64_t Position() const { return m_pos; }

private:
    ssize_t Write(const char* buf, size_t size);
    int Seek(off64_t* offset, int whence);
    bool Seal();

    EncodePipeline& m_pipeline;
    Handover& m_handover;
    const size_t m_index;
    Piece m_open;
    uint64_t m_pos = 0;
    uint64_t m_extent = 0;
};

}  // namespace zok
