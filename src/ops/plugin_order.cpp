#include "ops/plugin_order.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "ops/history.h"
#include "util/text.h"

#include <algorithm>
#include <set>

namespace varnel {

PluginOrder::PluginOrder(const PluginTable& table, PluginKind kind) : m_table(&table), m_kind(kind) {
    if (kind == kPacker) {
        ReadSectionKeys(SectionOfKind(kPacker));
        for (const std::string& key : KeyList()) {
            OrderRow row;
            row.association = key;
            row.file = ReadHostPath(SectionOfKind(kPacker), key);
            row.caption = PluginDisplayName(row.file);
            row.rawValue = ReadHostValue(SectionOfKind(kPacker), key);
            m_rows.push_back(std::move(row));
        }
        return;
    }
    // The enabled plugins of the kind by number; a number not below the row count is not shown
    // (and its key stays as it is).
    const int count = m_table->Count();
    std::vector<std::pair<int, int>> byNumber; // number, table row
    for (int row = 1; row <= count; ++row) {
        const PluginEntry& entry = m_table->Row(row);
        if (entry.Kind == kind && !entry.Disabled && entry.Index >= 0 && entry.Index < count)
            byNumber.emplace_back(entry.Index, row);
    }
    std::stable_sort(byNumber.begin(), byNumber.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Numbers in use by any key of the section, so that a shared number is replaced by a free one;
    // and the key each row was read from ("1", or "01" for a second plugin with number 1).
    std::set<int> used;
    std::vector<std::pair<std::string, std::string>> numberKeys; // key, folded module path
    ReadSectionKeys(SectionOfKind(kind));
    for (const std::string& key : KeyList()) {
        if (key.find('_') != std::string::npos)
            continue;
        used.insert(IntFromText(key, -1));
        numberKeys.emplace_back(key, FoldAnsi(ReadHostPath(SectionOfKind(kind), key)));
    }
    auto keyOf = [&](int number, const std::string& path) {
        const std::string folded = FoldAnsi(path);
        for (auto it = numberKeys.begin(); it != numberKeys.end(); ++it) {
            if (IntFromText(it->first, -1) == number && it->second == folded) {
                std::string key = it->first;
                numberKeys.erase(it);
                return key;
            }
        }
        return IntText(number);
    };
    int previous = -1;
    for (const auto& [number, tableRow] : byNumber) {
        int give = number;
        if (number == previous) {
            give = number + 1;
            while (used.count(give) != 0)
                ++give;
            used.insert(give);
        }
        previous = number;
        m_numbers.push_back(give);
        m_originalKeys.push_back(keyOf(number, m_table->Row(tableRow).FileName));
        OrderRow row;
        row.association = m_table->Row(tableRow).Association;
        row.tableRow = tableRow;
        row.file = m_table->Row(tableRow).FileName;
        Caption(row, give);
        m_rows.push_back(std::move(row));
    }
    std::sort(m_numbers.begin(), m_numbers.end());
}

void PluginOrder::Caption(OrderRow& row, int number) const {
    row.caption = FormatPrintf("%d:  %s", {number, m_table->Row(row.tableRow).Name});
}

bool PluginOrder::Move(int from, int to) {
    const int size = static_cast<int>(m_rows.size());
    if (from < 0 || to < 0 || from >= size || to >= size)
        return false;
    OrderRow moved = std::move(m_rows[static_cast<size_t>(from)]);
    m_rows.erase(m_rows.begin() + from);
    m_rows.insert(m_rows.begin() + to, std::move(moved));
    if (m_kind != kPacker)
        for (size_t i = 0; i < m_rows.size(); ++i)
            Caption(m_rows[i], m_numbers[i]);
    return true;
}

void PluginOrder::Write() const {
    const std::string section(SectionOfKind(m_kind));
    std::vector<std::string> remove;
    std::vector<std::pair<std::string, std::string>> entries;
    if (m_kind == kPacker) {
        for (const OrderRow& row : m_rows)
            remove.push_back(row.association);
        for (const OrderRow& row : m_rows)
            entries.emplace_back(row.association, row.rawValue);
    } else {
        for (const std::string& key : m_originalKeys) {
            remove.push_back(key);
            remove.push_back(key + "_detect");
        }
        for (size_t i = 0; i < m_rows.size(); ++i) {
            const PluginEntry& entry = m_table->Row(m_rows[i].tableRow);
            entries.emplace_back(IntText(m_numbers[i]), entry.FileName);
            if (!entry.Association.empty())
                entries.emplace_back(IntText(m_numbers[i]) + "_detect", entry.Association);
        }
    }
    ReplaceHostKeys(section, remove, entries);
}

Result WriteOrder(const Context& context, const PluginOrder& order, const platform::ProfileSnapshot& since) {
    CommandRun run(context, OrderChangeText(order.Kind()));
    return run.EditHost(
        [&] {
            order.Write();
            return Outcome::Done;
        },
        &since);
}

} // namespace varnel
