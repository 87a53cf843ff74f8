#pragma once

#include <QTest>

// A data table's columns: the types in order, one name each.
template <class... T, class... Name> void columns(const Name&... names)
{
    static_assert(sizeof...(T) == sizeof...(Name), "one name per column");
    (QTest::addColumn<T>(names), ...);
}
