#pragma once
// Random access to bytes, from a file or from memory.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace varnel {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Fills `out` with `size` bytes at `offset`; false when they are not all there.
    virtual bool Read(uint64_t offset, size_t size, void* out) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    uint64_t Size() const override { return m_bytes.size(); }
    bool Read(uint64_t offset, size_t size, void* out) override {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset)
            return false;
        std::memcpy(out, m_bytes.data() + offset, size);
        return true;
    }

private:
    std::string_view m_bytes;
};

// Hands the source's bytes to `take` a block of at most `blockSize` at a time, so that a source of
// any size needs no more memory; false when a block cannot be read or `take` refuses it.
template <typename Take> bool ForEachBlock(ByteSource& source, Take take, size_t blockSize = 1 << 20) {
    std::string block;
    for (uint64_t offset = 0; offset < source.Size();) {
        block.resize(static_cast<size_t>(std::min<uint64_t>(source.Size() - offset, blockSize)));
        if (!source.Read(offset, block.size(), block.data()) || !take(std::string_view(block)))
            return false;
        offset += block.size();
    }
    return true;
}

} // namespace varnel
