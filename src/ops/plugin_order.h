#pragma once
// The order in which the host tries the plugins of one kind: the numbers of the Lister and Content
// keys, the key order of the Packer section. The user reorders a list; Write puts it back.

#include "catalog/plugin_table.h"
#include "ops/command.h"

#include <string>
#include <vector>

namespace varnel {

struct OrderRow {
    std::string caption;     // "%d:  %s" (number and name) or the packer's name
    std::string association; // the detect string or the extension
    std::string rawValue;    // packers: the key's value as stored
    int tableRow = 0;        // Lister and Content: the plugin table row
    std::string file;        // the module's Windows path, to tell rows of one name apart
};

class PluginOrder {
public:
    // Reads the plugins of `kind` (Lister, Packer or Content) from the loaded plugin table or,
    // for packers, from the host configuration.
    PluginOrder(const PluginTable& table, PluginKind kind);

    PluginKind Kind() const { return m_kind; }
    const std::vector<OrderRow>& Rows() const { return m_rows; }
    // Moves the row at `from` to `to` (the rows between shift by one); false when either is
    // outside the list.
    bool Move(int from, int to);
    // Writes the order into the host configuration (in the caller's transaction). Lister and
    // Content plugins keep the set of numbers they had, handed out in list order; two plugins
    // that shared a number keep both registrations, the later one getting the next free number.
    void Write() const;

private:
    void Caption(OrderRow& row, int number) const;

    const PluginTable* m_table;
    PluginKind m_kind;
    std::vector<OrderRow> m_rows;
    std::vector<int> m_numbers;              // Lister and Content: the numbers to hand out, ascending
    std::vector<std::string> m_originalKeys; // the number keys of the rows as read, to remove
};

// The order as the user left it, written as one change: what another program changed since the
// dialog opened (since) is kept, or refused as a conflict in the same section.
Result WriteOrder(const Context& context, const PluginOrder& order, const platform::ProfileSnapshot& since);

} // namespace varnel
