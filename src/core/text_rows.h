#pragma once
// A language table as rows: a text's id and its wording in language 0
// (Simplified Chinese), 1 (Traditional Chinese) and 2 (English), one row an id,
// in the order of the ids, so that a text is found by its index.

#include <QString>
#include <cstddef>

namespace textrows {

template <class Id> struct Row {
    Id id;
    const char *text[3];
};

// Row i holds id i, and there is a row for every id below `count`.
template <class Id, std::size_t N> constexpr bool inIdOrder(const Row<Id> (&rows)[N], Id count)
{
    for (std::size_t i = 0; i < N; ++i)
        if (std::size_t(rows[i].id) != i)
            return false;
    return N == std::size_t(count);
}

// The wording of `id` in `language`, English outside 0..2; empty for an id the table lacks.
template <class Id, std::size_t N> QString text(const Row<Id> (&rows)[N], Id id, int language)
{
    const auto i = std::size_t(id);
    if (i >= N || rows[i].id != id)
        return {};
    return QString::fromUtf8(rows[i].text[language >= 0 && language < 3 ? language : 2]);
}

} // namespace textrows
