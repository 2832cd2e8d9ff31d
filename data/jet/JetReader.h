// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the tables of an Access/Jet file (Jet 3, Jet 4, ACE) through libmdb.
// libmdb finds the pages, the rows and their fields; the values themselves
// (texts in the file's code page or in Jet 4's compressed UCS-2, memo chains,
// dates from their stored day number) are decoded here, so a text is never
// cut at a buffer's length and an absent value stays distinct from an empty text.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

// Kinds of Jet columns, numbered as the file numbers them.
namespace JetType {
enum : int {
    Bool = 0x01, Byte = 0x02, Int = 0x03, Long = 0x04, Money = 0x05, Single = 0x06, Double = 0x07,
    DateTime = 0x08, Binary = 0x09, Text = 0x0a, Ole = 0x0b, Memo = 0x0c, RepId = 0x0f, Numeric = 0x10,
};
}

struct JetColumn {
    QString name;
    int type = JetType::Text;
};

// Rows of a Jet file's tables, one table at a time, in each table's stored
// order. Values: an invalid QVariant is an absent value; bool for yes/no;
// qint64 for byte, integer and long integer; double for single and double;
// QString for texts, memos and the exact decimal text of currency and
// decimal numbers; QDateTime (UTC, no zone shifts) for dates, or the stored
// day number as a double when it lies outside years 100..9999; QByteArray
// for binary and OLE data.
class JetRowSource {
public:
    virtual ~JetRowSource() = default;
    virtual QStringList tables() = 0;
    // Starts reading a table from its first row; rowCount is what the file
    // declares (for progress only).
    virtual bool openTable(const QString &name, QVector<JetColumn> *columns, qint64 *rowCount, QString *error) = 0;
    enum class Fetch { Row, End, Failed };
    virtual Fetch next(QVector<QVariant> *values, QString *error) = 0;
};

class JetReader : public JetRowSource {
public:
    JetReader();
    ~JetReader() override;
    JetReader(const JetReader &) = delete;
    JetReader &operator=(const JetReader &) = delete;

    // Opens a file read-only; the file is never written. A file that does not
    // look like a whole Jet database is refused before libmdb reads it.
    bool open(const QString &path, QString *error);
    // The same over bytes in memory (kept for the reader's life).
    bool openBytes(const QByteArray &bytes, QString *error);
    void close();

    // "Jet 3", "Jet 4" or "ACE".
    QString format() const;

    QStringList tables() override;
    bool openTable(const QString &name, QVector<JetColumn> *columns, qint64 *rowCount, QString *error) override;
    Fetch next(QVector<QVariant> *values, QString *error) override;

    // Checks the header and size of a would-be Jet file; empty when it may be
    // handed to libmdb, otherwise why not.
    static QString checkHeader(const QByteArray &head, qint64 fileSize);

    // False in a build without libmdb (Windows): unavailableText() then says
    // how such an archive is converted.
    static bool available();
    static QString unavailableText();

private:
    struct Private;
    std::unique_ptr<Private> d;
    bool finishOpen(QString *error);
    bool readCatalog(QString *error);
    bool openEntry(void *catalogEntry, const QString &name, QVector<JetColumn> *columns, qint64 *rowCount,
                   QString *error);
};
