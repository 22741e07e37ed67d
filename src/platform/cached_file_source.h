#pragma once
// Random access to a file with the reads that module inspection makes cheap: the first block, where
// every header lies (or the whole file, when it is small), is kept, and once a run of small reads elsewhere
// shows (the names of an export table), a block around them serves it with one read. Each platform supplies
// ReadAt.

#include "util/byte_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace varnel::platform {

class CachedFileSource : public ByteSource {
public:
    explicit CachedFileSource(uint64_t size) : m_size(size) {}

    uint64_t Size() const override { return m_size; }

    bool Read(uint64_t offset, size_t size, void* out) override {
        if (offset > m_size || size > m_size - offset)
            return false;
        if (!m_headLoaded) {
            // A module of ordinary size is read whole at once: its version resource lies at its
            // end, and every read is a round trip to the server under Wine.
            m_head.resize(
                static_cast<size_t>(m_size <= kWholeFileBytes ? m_size : std::min<uint64_t>(m_size, 4096)));
            m_headLoaded = true;
            if (!ReadAt(0, m_head.size(), m_head.data()))
                m_head.clear();
        }
        if (offset + size <= m_head.size()) {
            std::memcpy(out, m_head.data() + offset, size);
            return true;
        }
        // Long runs of small reads elsewhere (the names of an export table) go through one region:
        // once a run shows, a block around the reads serves it with one system call.
        if (size <= kBlockSize / 2 && ++m_smallReads > kReadsBeforeBlock) {
            if (offset < m_blockStart || offset + size > m_blockStart + m_block.size()) {
                m_blockStart = offset & ~uint64_t{4095};
                m_block.resize(static_cast<size_t>(std::min<uint64_t>(kBlockSize, m_size - m_blockStart)));
                if (!ReadAt(m_blockStart, m_block.size(), m_block.data())) {
                    m_block.clear();
                    return ReadAt(offset, size, out);
                }
            }
            std::memcpy(out, m_block.data() + (offset - m_blockStart), size);
            return true;
        }
        return ReadAt(offset, size, out);
    }

protected:
    // Exactly size bytes at offset from the file itself; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, size_t size, void* out) = 0;

private:
    static constexpr uint64_t kBlockSize = 64 * 1024;
    static constexpr uint64_t kWholeFileBytes = 512 * 1024;
    static constexpr int kReadsBeforeBlock = 16;

    uint64_t m_size;
    bool m_headLoaded = false;
    std::vector<char> m_head;
    int m_smallReads = 0;
    uint64_t m_blockStart = 0;
    std::vector<char> m_block;
};

} // namespace varnel::platform
