// SPDX-License-Identifier: GPL-3.0-or-later
// The Jet reader against real files in the three formats: every table's rows
// and values equal what the mdb-export tool prints for them; damaged files
// are refused with a message.
#include "data/jet/JetImport.h"
#include "data/jet/JetReader.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

struct Cell {
    QString text;
    bool quoted = false;
};

// The tool's CSV: "," between fields, a line feed between rows, texts in
// double quotes with inner quotes doubled (line breaks stay inside).
QVector<QVector<Cell>> parseCsv(const QString &csv)
{
    QVector<QVector<Cell>> rows;
    QVector<Cell> row;
    Cell cell;
    bool inQuotes = false;
    bool any = false;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const QChar c = csv[i];
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < csv.size() && csv[i + 1] == QLatin1Char('"')) {
                    cell.text += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                cell.text += c;
            }
            continue;
        }
        any = true;
        if (c == QLatin1Char('"')) {
            inQuotes = true;
            cell.quoted = true;
        } else if (c == QLatin1Char(',')) {
            row.append(cell);
            cell = {};
        } else if (c == QLatin1Char('\n')) {
            row.append(cell);
            rows.append(row);
            row.clear();
            cell = {};
            any = false;
        } else {
            cell.text += c;
        }
    }
    if (any) {
        row.append(cell);
        rows.append(row);
    }
    return rows;
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Our value written the way the tool writes it.
QString asTool(const QVariant &v, int type)
{
    switch (type) {
    case JetType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case JetType::Single:
        return QString::asprintf("%.8g", v.toDouble());
    case JetType::Double:
        return QString::asprintf("%.16g", v.toDouble());
    case JetType::DateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case JetType::Ole:
    case JetType::Binary:
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    default:
        return v.typeId() == QMetaType::LongLong ? QString::number(v.toLongLong()) : v.toString();
    }
}

const QString kSamples = QStringLiteral(VELBOR_JET_SAMPLES);

QByteArray rc4(const QByteArray &key, const QByteArray &data)
{
    unsigned char box[256];
    for (int i = 0; i < 256; ++i)
        box[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + box[i] + static_cast<unsigned char>(key[i % key.size()])) % 256;
        std::swap(box[i], box[j]);
    }
    QByteArray out = data;
    for (int n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) % 256;
        j = (j + box[i]) % 256;
        std::swap(box[i], box[j]);
        out[n] = char(out[n] ^ box[(box[i] + box[j]) % 256]);
    }
    return out;
}

// A Jet 3 file whose header names another code page (the header's fields
// from 0x18 on are kept RC4-scrambled with a fixed key).
QByteArray withCodePage(QByteArray jet3, int codePage)
{
    const QByteArray key("\xC7\xDA\x39\x6B", 4);
    QByteArray header = rc4(key, jet3.mid(0x18, 126));
    header[0x3C - 0x18] = char(codePage & 0xff);
    header[0x3C - 0x18 + 1] = char(codePage >> 8);
    jet3.replace(0x18, 126, rc4(key, header));
    return jet3;
}

} // namespace

class TestJetReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString sample(const QString &name) { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const QString &name : {"nwind.mdb", "DateTestDatabase.mdb", "ASampleDatabase.accdb"})
            QVERIFY2(QFile::copy(kSamples + QLatin1Char('/') + name, sample(name)), qPrintable(name));
        writeBytes(sample("nwind-1251.mdb"), withCodePage(readBytes(sample("nwind.mdb")), 1251));
    }

    void sameAsTool_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("format");
        QTest::newRow("Jet 3") << "nwind.mdb" << "Jet 3";
        QTest::newRow("Jet 3, Cyrillic code page") << "nwind-1251.mdb" << "Jet 3";
        QTest::newRow("Jet 4") << "DateTestDatabase.mdb" << "Jet 4";
        QTest::newRow("ACE") << "ASampleDatabase.accdb" << "ACE";
    }
    void sameAsTool()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        const QString path = sample(file);
        const QByteArray before = readBytes(path);
        JetReader reader;
        QString error;
        QVERIFY2(reader.open(path, &error), qPrintable(error));
        QCOMPARE(reader.format(), format);

        const QStringList toolTables =
            run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), path}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!toolTables.isEmpty());
        QCOMPARE(reader.tables(), toolTables);

        int accented = 0, sharpS = 0, lineBreaks = 0, absent = 0, dates = 0, cyrillic = 0;
        for (const QString &table : toolTables) {
            const QVector<QVector<Cell>> tool = parseCsv(run(
                QStringLiteral("mdb-export"),
                {QStringLiteral("-0"), QStringLiteral("NULL"), QStringLiteral("-b"), QStringLiteral("hex"),
                 QStringLiteral("-D"), QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("-T"),
                 QStringLiteral("%Y-%m-%d %H:%M:%S"), path, table}));
            QVERIFY2(!tool.isEmpty(), qPrintable(table));
            QVector<JetColumn> columns;
            qint64 declared = 0;
            QVERIFY2(reader.openTable(table, &columns, &declared, &error), qPrintable(error));
            QCOMPARE(columns.size(), tool.first().size());
            for (int c = 0; c < columns.size(); ++c)
                QCOMPARE(columns[c].name, tool.first()[c].text);

            QVector<QVariant> values;
            qint64 row = 0;
            JetRowSource::Fetch got;
            while ((got = reader.next(&values, &error)) == JetRowSource::Fetch::Row) {
                ++row;
                QVERIFY2(row < tool.size(), qPrintable(QStringLiteral("%1: more rows than the tool's").arg(table)));
                const QVector<Cell> &expected = tool[row];
                QCOMPARE(values.size(), expected.size());
                for (int c = 0; c < columns.size(); ++c) {
                    const QVariant &v = values[c];
                    const Cell &e = expected[c];
                    const QString where = QStringLiteral("%1 row %2 %3: ours '%4', tool '%5'")
                                              .arg(table)
                                              .arg(row)
                                              .arg(columns[c].name, v.toString().left(60), e.text.left(60));
                    const bool toolNull = !e.quoted && e.text == QLatin1String("NULL");
                    if (!v.isValid()) {
                        ++absent;
                        QVERIFY2(toolNull, qPrintable(where));
                        continue;
                    }
                    const QString ours = asTool(v, columns[c].type);
                    if (toolNull) {
                        // The tool prints an empty text as it prints an absent one.
                        QVERIFY2(v.typeId() == QMetaType::QString && ours.isEmpty(), qPrintable(where));
                        continue;
                    }
                    if (columns[c].type == JetType::DateTime) {
                        ++dates;
                        // The tool leaves days before 1900 and after year 4637 unformatted (day 00).
                        if (e.text.startsWith(QLatin1String("1900-01-00"))) {
                            QVERIFY2(v.typeId() == QMetaType::QDateTime, qPrintable(where));
                            const QDate day = v.toDateTime().date();
                            QVERIFY2(day < QDate(1899, 12, 30) || day.year() > 4637, qPrintable(where));
                            continue;
                        }
                    }
                    QVERIFY2(ours == e.text, qPrintable(where));
                    if (v.typeId() == QMetaType::QString) {
                        accented += ours.contains(QRegularExpression(QStringLiteral("[àáâäçèéêíñóöúü]")));
                        sharpS += ours.contains(QChar(0xdf));
                        lineBreaks += ours.contains(QLatin1Char('\n'));
                        cyrillic += ours.contains(QString::fromUtf8("Mйxico"));
                    }
                }
            }
            QVERIFY2(got == JetRowSource::Fetch::End, qPrintable(error));
            QCOMPARE(row, qint64(tool.size() - 1));
            QCOMPARE(row, declared);
        }
        if (file == QLatin1String("nwind.mdb")) {
            QVERIFY(reader.tables().contains(QString::fromUtf8("Umsätze")));
            QVERIFY(accented > 0 && sharpS > 0 && lineBreaks > 0 && absent > 0 && dates > 0);
        }
        if (file == QLatin1String("nwind-1251.mdb")) {
            QVERIFY(reader.tables().contains(QString::fromUtf8("Umsдtze")));
            QVERIFY(cyrillic > 0);
        }
        reader.close();
        QCOMPARE(readBytes(path), before);
    }

    // Dates the tool cannot print, checked against what the rows say of them.
    void datesBeyondTheTool()
    {
        JetReader reader;
        QString error;
        QVERIFY2(reader.open(sample("DateTestDatabase.mdb"), &error), qPrintable(error));
        QVector<JetColumn> columns;
        qint64 declared = 0;
        QVERIFY(reader.openTable(QStringLiteral("DateTest"), &columns, &declared, &error));
        QVector<QVariant> v;
        QMap<QString, QDateTime> byLabel;
        while (reader.next(&v, &error) == JetRowSource::Fetch::Row)
            byLabel.insert(v[4].toString(), v[1].toDateTime());
        QCOMPARE(byLabel.value("Year 9999").date().year(), 9999);
        QVERIFY(byLabel.value("Pre-1900 years").date().year() < 1900);
        QVERIFY(byLabel.value("Pre-1900 years").date().year() >= 1000);
        QVERIFY(byLabel.value("Pre-1000 years").date().year() < 1000);
        QVERIFY(byLabel.value("Pre-1000 years").isValid());
        QCOMPARE(byLabel.value("Hello").date(), QDate(2021, 12, 2));
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const QByteArray jet = readBytes(kSamples + "/DateTestDatabase.mdb");
        QVERIFY(jet.size() > 65536);
        QTest::newRow("empty") << QByteArray() << "vuoto";
        QTest::newRow("cut inside a page") << jet.left(jet.size() / 2 + 100) << "troncato";
        QTest::newRow("header alone") << jet.left(4096) << "troncato";
        QByteArray random(8 * 4096, '\0');
        QRandomGenerator gen(7);
        for (char &c : random)
            c = char(gen.bounded(256));
        random.replace(0, 0x20, jet.left(0x20));
        QTest::newRow("random bytes with a Jet header") << random << "";
        QTest::newRow("foreign file") << QByteArray(8192, 'x') << "non è un archivio Access";
        QTest::newRow("whole pages cut") << jet.left(34 * 4096) << "";
    }
    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("Velbor.mdb");
        writeBytes(path, bytes);
        JetImportReport report;
        QString error;
        QVERIFY(!convertJetFile(path, dir.filePath("nuovo.mdb"), &report, &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Velbor.mdb"});
        QCOMPARE(readBytes(path), bytes);
    }

    // A FIFO named as the Access file is refused at once, never waited on.
    void aFifoIsRefusedAtOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Velbor.mdb");
        QVERIFY(makeFifo(path));
        const FifoGuard guard(path);
        JetImportReport report;
        QString error;
        QVERIFY(!convertJetFile(path, dir.filePath("nuovo.mdb"), &report, &error));
        QVERIFY2(!guard.fired(), "the conversion waited on the FIFO");
        QCOMPARE(error, QString("Il file %1 non può essere convertito: %1 non è un file ma una pipe (FIFO): non viene aperto.")
                            .arg(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{"Velbor.mdb"});
    }
};

QTEST_GUILESS_MAIN(TestJetReader)
#include "tst_jetreader.moc"
