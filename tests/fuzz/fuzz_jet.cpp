// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes given to the Jet reader are refused with a
// message or read table by table to the end, never a crash or a hang; every
// row has one value per column, and a failure always says why.
#include "data/jet/JetReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    JetReader reader;
    QString error;
    if (!reader.openBytes(bytes, &error)) {
        if (error.isEmpty())
            abort();
        return 0;
    }
    int rows = 0;
    for (const QString &table : reader.tables()) {
        QVector<JetColumn> columns;
        qint64 declared = 0;
        error.clear();
        if (!reader.openTable(table, &columns, &declared, &error)) {
            if (error.isEmpty())
                abort();
            continue;
        }
        QVector<QVariant> values;
        JetRowSource::Fetch got = JetRowSource::Fetch::End;
        // Bounded: a damaged file may declare any number of rows.
        while (rows++ < 20000 && (got = reader.next(&values, &error)) == JetRowSource::Fetch::Row)
            if (values.size() != columns.size())
                abort();
        if (rows < 20000 && got == JetRowSource::Fetch::Failed && error.isEmpty())
            abort();
    }
    return 0;
}
