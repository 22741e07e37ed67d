#pragma once
// Random access to bytes, from a file or from memory.

#include <cstdint>
#include <cstring>
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

} // namespace varnel
