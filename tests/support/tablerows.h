#ifndef QUORVANE_TESTS_SUPPORT_TABLEROWS_H
#define QUORVANE_TESTS_SUPPORT_TABLEROWS_H

// Data-driven cases read from a constexpr table of structs whose first member is the row's
// tag: a test's _data function calls addRows(table), the test itself takes its row with
// fetchRow(table). Tables whose cells are not constexpr (replies, scripts, Qt values) name
// their columns in one line with addColumns.

#include <QtTest>

#include <cstddef>
#include <string_view>

namespace testsupport {

// The columns of a data table, their types in the order of their names:
//   addColumns<QString, Reply, int>("command", "answer", "atLeastMs");
template<typename... Types, typename... Names> void addColumns(const Names &...names)
{
    static_assert(sizeof...(Types) == sizeof...(Names), "one name for each column type");
    (QTest::addColumn<Types>(names), ...);
}

template<typename Row, std::size_t N> void addRows(const Row (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(rows[i].tag) << int(i);
}

template<typename Row, std::size_t N> const Row &fetchRow(const Row (&rows)[N])
{
    QFETCH(int, row);
    return rows[row];
}

// Table bytes written as "..."sv keep their zero bytes.
inline QByteArray bytesOf(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

// For the pure functions of the byte work: an input (UTF-8 or plain bytes) and the text the
// function under test makes of it.
struct TextCase
{
    const char *tag;
    std::string_view in;
    const char *out;
};

template<typename Input, std::size_t N>
void checkRow(const TextCase (&rows)[N], QString (*function)(const Input &))
{
    const TextCase &row = fetchRow(rows);
    QCOMPARE(function(Input(bytesOf(row.in))), QString::fromUtf8(row.out));
}

} // namespace testsupport

#endif // QUORVANE_TESTS_SUPPORT_TABLEROWS_H
