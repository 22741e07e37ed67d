#include "catalog/module_facts_store.h"

#include <cstring>

namespace varnel {

namespace {

constexpr std::string_view kMagic = "TC Varnel module facts 2\n";
constexpr size_t kMaxPath = 32768;
constexpr size_t kMaxVersionInfo = 1u << 20;

void PutNumber(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string& out, std::string_view text) {
    PutNumber(out, text.size(), 4);
    out.append(text);
}

void PutStamp(std::string& out, const platform::FileStamp& stamp) {
    PutNumber(out, stamp.device, 8);
    PutNumber(out, stamp.inode, 8);
    PutNumber(out, stamp.size, 8);
    PutNumber(out, static_cast<uint64_t>(stamp.mtimeNs), 8);
}

// Reads from the front of the bytes; every read fails once one has failed.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_rest(bytes) {}
    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_rest.empty(); }

    uint64_t Number(int bytes) {
        if (!Take(static_cast<size_t>(bytes)))
            return 0;
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<uint64_t>(static_cast<unsigned char>(m_taken[static_cast<size_t>(i)]))
                     << (8 * i);
        return value;
    }
    std::string Text(size_t limit) {
        const uint64_t size = Number(4);
        if (size > limit)
            m_ok = false;
        return m_ok && Take(static_cast<size_t>(size)) ? std::string(m_taken) : std::string();
    }
    platform::FileStamp Stamp() {
        platform::FileStamp stamp;
        stamp.device = Number(8);
        stamp.inode = Number(8);
        stamp.size = Number(8);
        stamp.mtimeNs = static_cast<int64_t>(Number(8));
        return stamp;
    }

private:
    bool Take(size_t count) {
        if (!m_ok || m_rest.size() < count) {
            m_ok = false;
            return false;
        }
        m_taken = m_rest.substr(0, count);
        m_rest.remove_prefix(count);
        return true;
    }

    std::string_view m_rest;
    std::string_view m_taken;
    bool m_ok = true;
};

std::string g_store;

} // namespace

std::string EncodeModuleFacts(const ModuleFactsFile& facts) {
    std::string out(kMagic);
    PutNumber(out, facts.modules.size(), 4);
    for (const auto& [path, module] : facts.modules) {
        PutText(out, path);
        PutStamp(out, module.stamp);
        PutNumber(out, module.machine, 2);
        PutText(out, module.versionInfo);
    }
    return out;
}

std::optional<ModuleFactsFile> DecodeModuleFacts(std::string_view bytes) {
    if (bytes.size() > kMaxStoredFactsBytes || !bytes.starts_with(kMagic))
        return std::nullopt;
    Reader in(bytes.substr(kMagic.size()));
    ModuleFactsFile facts;
    const uint64_t modules = in.Number(4);
    if (modules > kMaxStoredEntries)
        return std::nullopt;
    for (uint64_t i = 0; i < modules && in.Ok(); ++i) {
        std::string path = in.Text(kMaxPath);
        ModuleFacts module;
        module.stamp = in.Stamp();
        module.machine = static_cast<uint16_t>(in.Number(2));
        module.versionInfo = in.Text(kMaxVersionInfo);
        facts.modules[std::move(path)] = std::move(module);
    }
    if (!in.Ok() || !in.AtEnd())
        return std::nullopt;
    return facts;
}

void SetModuleFactsStore(std::string path) {
    g_store = std::move(path);
}

const std::string& ModuleFactsStore() {
    return g_store;
}

} // namespace varnel
