#pragma once

#include <QTest>

#include <array>
#include <initializer_list>
#include <tuple>
#include <utility>

namespace datatable_detail {
template <class... Columns, std::size_t... Index>
void addColumns(const std::array<const char *, sizeof...(Columns)> &names, std::index_sequence<Index...>)
{
    (QTest::addColumn<Columns>(names[Index]), ...);
}
} // namespace datatable_detail

// A whole QtTest data table in one statement: the column names, then the rows, each its name first and then its
// values in the order of the columns. The values take the columns' types, so a row that does not fit the table
// fails to compile instead of failing at QFETCH.
template <class... Columns>
void addDataTable(const std::array<const char *, sizeof...(Columns)> &columns,
    std::initializer_list<std::tuple<const char *, Columns...>> rows)
{
    datatable_detail::addColumns<Columns...>(columns, std::index_sequence_for<Columns...>());
    for (const auto &row : rows)
        std::apply([](const char *name, const Columns &...values) { (QTest::newRow(name) << ... << values); }, row);
}
