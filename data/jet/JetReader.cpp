// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/jet/JetReader.h"

#include "data/Codepage.h"
#include "data/Files.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <limits>

#include <iconv.h>
#include <mdbtools.h>

namespace {

constexpr char kJetMagic[] = "Standard Jet DB";
constexpr char kAceMagic[] = "Standard ACE DB";
constexpr int kOffsetMask = 0x1fff;
constexpr quint32 kDeletedRow = 0x4000;
constexpr int kMemoHeader = 12;
// A memo chain longer than this many pieces is a loop in a damaged file.
constexpr int kMaxMemoPieces = 1 << 20;

quint32 u32(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Day numbers of 1 January 100 and 1 January 10000 from 30 December 1899.
constexpr double kFirstDay = -657434.0;
constexpr double kPastLastDay = 2958466.0;

QVariant dateValue(double stored)
{
    if (!std::isfinite(stored) || stored < kFirstDay || stored >= kPastLastDay)
        return stored;
    const double whole = std::trunc(stored);
    qint64 seconds = std::llround(std::fabs(stored - whole) * 86400.0);
    qint64 days = qint64(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    const QDate day = QDate(1899, 12, 30).addDays(days);
    return QDateTime(day, QTime(0, 0).addSecs(int(seconds)), Qt::UTC);
}

QString moneyText(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(tenThousandths) : quint64(tenThousandths);
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10000) + QLatin1Char('.')
           + QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
}

} // namespace

struct JetReader::Private {
    QByteArray bytes;          // for openBytes: libmdb reads from this memory
    MdbHandle *mdb = nullptr;
    int version = 0;
    int codePage = 1252;
    iconv_t toUtf16 = iconv_t(-1);

    MdbTableDef *table = nullptr;
    QString tableName;
    bool started = false;
    int pageRow = 0;
    qint64 rowNumber = 0;      // rows handed out so far, for messages
    QVector<MdbField> fields;
    MdbCatalogEntry systemEntry{};
    bool skipLongValues = false;

    ~Private() { reset(); }

    void closeTable()
    {
        if (table)
            mdb_free_tabledef(table);
        table = nullptr;
        started = false;
        pageRow = 0;
        rowNumber = 0;
    }

    void reset()
    {
        closeTable();
        if (mdb)
            mdb_close(mdb);
        mdb = nullptr;
        if (toUtf16 != iconv_t(-1))
            iconv_close(toUtf16);
        toUtf16 = iconv_t(-1);
        bytes.clear();
    }

    bool jet3() const { return version == MDB_VER_JET3; }

    QString fromCodePage(const char *data, int size) const
    {
        if (codePage == 1252 || toUtf16 == iconv_t(-1))
            return Codepage::fromWindows1252(QByteArray::fromRawData(data, size));
        QByteArray out(size * 4 + 4, Qt::Uninitialized);
        char *in = const_cast<char *>(data);
        size_t inLeft = size_t(size);
        char *o = out.data();
        size_t outLeft = size_t(out.size());
        iconv(toUtf16, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            if (iconv(toUtf16, &in, &inLeft, &o, &outLeft) == size_t(-1)) {
                if (errno == E2BIG)
                    break;
                // A byte the code page does not define: the replacement character.
                ++in;
                --inLeft;
                if (outLeft >= 2) {
                    *o++ = char(0xFD);
                    *o++ = char(0xFF);
                    outLeft -= 2;
                }
            }
        }
        const qsizetype written = o - out.data();
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(out.constData()), written / 2);
    }

    // Jet 4 texts are UCS-2, optionally "compressed": after the mark FF FE, a
    // zero byte switches between one byte per character and two.
    QString text(const unsigned char *p, int size) const
    {
        if (jet3())
            return fromCodePage(reinterpret_cast<const char *>(p), size);
        QString out;
        if (size >= 2 && p[0] == 0xff && p[1] == 0xfe) {
            out.reserve(size);
            bool compressed = true;
            int i = 2;
            while (i < size) {
                if (p[i] == 0) {
                    compressed = !compressed;
                    ++i;
                } else if (compressed) {
                    out.append(QChar(char16_t(p[i])));
                    ++i;
                } else if (i + 1 < size) {
                    out.append(QChar(char16_t(p[i] | p[i + 1] << 8)));
                    i += 2;
                } else {
                    break;
                }
            }
            return out;
        }
        out.reserve(size / 2);
        for (int i = 0; i + 1 < size; i += 2)
            out.append(QChar(char16_t(p[i] | p[i + 1] << 8)));
        return out;
    }

    // The whole of a memo or OLE value, following its pages; false when the
    // file's pointers lead nowhere.
    bool longValue(int start, int size, QByteArray *out) const
    {
        out->clear();
        if (size == 0)
            return true;
        if (size < kMemoHeader)
            return false;
        const unsigned char *head = mdb->pg_buf + start;
        const quint32 word = u32(head);
        const quint32 length = word & 0x3fffffff;
        if (word & 0x80000000) {
            out->append(reinterpret_cast<const char *>(head + kMemoHeader), size - kMemoHeader);
            return true;
        }
        qint32 pageRow = qint32(u32(head + 4));
        if (word & 0x40000000) {
            void *buf = nullptr;
            int offset = 0;
            size_t len = 0;
            if (mdb_find_pg_row(mdb, pageRow, &buf, &offset, &len) != 0
                || offset + qint64(len) > mdb->fmt->pg_size)
                return false;
            out->append(static_cast<const char *>(buf) + offset, qsizetype(len));
            return true;
        }
        if (word & 0xc0000000)
            return false;
        for (int pieces = 0; pageRow; ++pieces) {
            void *buf = nullptr;
            int offset = 0;
            size_t len = 0;
            if (pieces > kMaxMemoPieces || mdb_find_pg_row(mdb, pageRow, &buf, &offset, &len) != 0 || len < 4
                || offset + qint64(len) > mdb->fmt->pg_size)
                return false;
            const auto *row = static_cast<const unsigned char *>(buf) + offset;
            if (quint64(out->size()) + len - 4 > length)
                return false;
            out->append(reinterpret_cast<const char *>(row + 4), qsizetype(len - 4));
            pageRow = qint32(u32(row));
        }
        return quint32(out->size()) == length;
    }
};

JetReader::JetReader() : d(std::make_unique<Private>()) {}
JetReader::~JetReader() = default;

bool JetReader::available()
{
    return true;
}

QString JetReader::unavailableText()
{
    return {};
}

QString JetReader::checkHeader(const QByteArray &head, qint64 fileSize)
{
    if (fileSize == 0)
        return QStringLiteral("Il file è vuoto.");
    if (head.size() < 0x20 || !head.startsWith(QByteArray("\x00\x01\x00\x00", 4))
        || (std::memcmp(head.constData() + 4, kJetMagic, sizeof kJetMagic) != 0
            && std::memcmp(head.constData() + 4, kAceMagic, sizeof kAceMagic) != 0))
        return QStringLiteral("Il file non è un archivio Access/Jet.");
    const int version = static_cast<unsigned char>(head.at(0x14));
    if (version > MDB_VER_ACCDB_2019)
        return QStringLiteral("Versione del formato Access/Jet non riconosciuta (%1).").arg(version);
    const qint64 page = version == MDB_VER_JET3 ? 2048 : 4096;
    // Page 0 is the header, page 2 the catalogue's first data page.
    if (fileSize < 3 * page || fileSize % page != 0)
        return QStringLiteral("Il file Access/Jet è incompleto o danneggiato (troncato a %1 byte).").arg(fileSize);
    return {};
}

bool JetReader::open(const QString &path, QString *error)
{
    close();
    // A FIFO or a device named as the file is refused before anything waits on it.
    QFile file;
    if (!Files::openRegularFile(file, path, error))
        return false;
    const QString why = checkHeader(file.read(0x80), file.size());
    file.close();
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    return finishOpen(error);
}

bool JetReader::openBytes(const QByteArray &bytes, QString *error)
{
    close();
    const QString why = checkHeader(bytes.left(0x80), bytes.size());
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    d->bytes = bytes;
    d->bytes.detach();
    d->mdb = mdb_open_buffer(d->bytes.data(), size_t(d->bytes.size()), MDB_NOFLAGS);
    return finishOpen(error);
}

bool JetReader::finishOpen(QString *error)
{
    if (!d->mdb) {
        *error = QStringLiteral("Il file Access/Jet è danneggiato: la sua intestazione non è leggibile.");
        close();
        return false;
    }
    d->version = int(d->mdb->f->jet_version);
    if (d->jet3()) {
        d->codePage = d->mdb->f->code_page ? d->mdb->f->code_page : 1252;
        if (d->codePage != 1252) {
            d->toUtf16 = iconv_open("UTF-16LE", QByteArray("CP" + QByteArray::number(d->codePage)).constData());
            if (d->toUtf16 == iconv_t(-1)) {
                *error = QStringLiteral("La codifica dei testi del file (code page %1) non è supportata.").arg(d->codePage);
                close();
                return false;
            }
        }
    }
    if (!readCatalog(error)) {
        close();
        return false;
    }
    return true;
}

// The list of objects, read from MSysObjects (its definition is page 2) with
// this reader's own row walk. libmdb's catalog reader also parses every
// object's properties, which a damaged file can send into a loop of hours;
// the program needs names, kinds and pages only.
bool JetReader::readCatalog(QString *error)
{
    const QString damaged = QStringLiteral("Il file Access/Jet è danneggiato: l'elenco delle tabelle non è leggibile.");
    std::memset(&d->systemEntry, 0, sizeof d->systemEntry);
    d->systemEntry.mdb = d->mdb;
    std::strcpy(d->systemEntry.object_name, "MSysObjects");
    d->systemEntry.object_type = MDB_TABLE;
    d->systemEntry.table_pg = 2;
    mdb_free_catalog(d->mdb);
    d->mdb->catalog = g_ptr_array_new();
    QVector<JetColumn> columns;
    qint64 rows = 0;
    if (!openEntry(&d->systemEntry, QStringLiteral("MSysObjects"), &columns, &rows, error)) {
        *error = damaged;
        return false;
    }
    int id = -1, name = -1, type = -1, flags = -1;
    for (int c = 0; c < columns.size(); ++c) {
        const QString &n = columns[c].name;
        id = n == QLatin1String("Id") ? c : id;
        name = n == QLatin1String("Name") ? c : name;
        type = n == QLatin1String("Type") ? c : type;
        flags = n == QLatin1String("Flags") ? c : flags;
    }
    if (id < 0 || name < 0 || type < 0 || flags < 0) {
        d->closeTable();
        *error = damaged;
        return false;
    }
    d->skipLongValues = true;
    QVector<QVariant> values;
    Fetch got;
    while ((got = next(&values, error)) == Fetch::Row) {
        if ((values[type].toLongLong() & 0x7f) != MDB_TABLE)
            continue;
        const QByteArray utf8 = values[name].toString().toUtf8();
        if (utf8.isEmpty() || utf8.size() > MDB_MAX_OBJ_NAME)
            continue;
        auto *entry = static_cast<MdbCatalogEntry *>(g_malloc0(sizeof(MdbCatalogEntry)));
        entry->mdb = d->mdb;
        std::memcpy(entry->object_name, utf8.constData(), size_t(utf8.size()));
        entry->object_type = MDB_TABLE;
        entry->table_pg = quint32(values[id].toLongLong()) & 0x00ffffff;
        entry->flags = int(values[flags].toLongLong());
        g_ptr_array_add(d->mdb->catalog, entry);
        d->mdb->num_catalog++;
    }
    d->skipLongValues = false;
    d->closeTable();
    if (got == Fetch::Failed) {
        *error = damaged + QLatin1Char(' ') + *error;
        return false;
    }
    return true;
}

void JetReader::close()
{
    d->reset();
}

QString JetReader::format() const
{
    if (!d->mdb)
        return {};
    return d->version == MDB_VER_JET3 ? QStringLiteral("Jet 3")
           : d->version == MDB_VER_JET4 ? QStringLiteral("Jet 4")
                                        : QStringLiteral("ACE");
}

QStringList JetReader::tables()
{
    QStringList names;
    if (!d->mdb || !d->mdb->catalog)
        return names;
    for (guint i = 0; i < d->mdb->catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry && entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            names.append(QString::fromUtf8(entry->object_name));
    }
    return names;
}

bool JetReader::openTable(const QString &name, QVector<JetColumn> *columns, qint64 *rowCount, QString *error)
{
    d->closeTable();
    columns->clear();
    MdbCatalogEntry *found = nullptr;
    for (guint i = 0; d->mdb && d->mdb->catalog && i < d->mdb->catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry && entry->object_type == MDB_TABLE && QString::fromUtf8(entry->object_name) == name) {
            found = entry;
            break;
        }
    }
    if (!found) {
        *error = QStringLiteral("La tabella %1 non esiste nel file.").arg(name);
        return false;
    }
    return openEntry(found, name, columns, rowCount, error);
}

bool JetReader::openEntry(void *catalogEntry, const QString &name, QVector<JetColumn> *columns, qint64 *rowCount,
                          QString *error)
{
    d->closeTable();
    columns->clear();
    d->table = mdb_read_table(static_cast<MdbCatalogEntry *>(catalogEntry));
    if (!d->table || !mdb_read_columns(d->table) || d->table->num_cols == 0
        || d->table->num_cols > MDB_MAX_COLS) {
        *error = QStringLiteral("La tabella %1 del file è danneggiata: le sue colonne non sono leggibili.").arg(name);
        d->closeTable();
        return false;
    }
    for (guint i = 0; i < d->table->columns->len; ++i) {
        const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(d->table->columns, i));
        columns->append({QString::fromUtf8(col->name), col->col_type});
    }
    d->tableName = name;
    d->fields.resize(int(d->table->num_cols));
    mdb_rewind_table(d->table);
    *rowCount = d->table->num_rows;
    return true;
}

JetRowSource::Fetch JetReader::next(QVector<QVariant> *values, QString *error)
{
    MdbTableDef *table = d->table;
    if (!table) {
        *error = QStringLiteral("Nessuna tabella aperta.");
        return Fetch::Failed;
    }
    MdbHandle *mdb = d->mdb;
    const int pageSize = int(mdb->fmt->pg_size);
    const auto failed = [&](const QString &why) {
        *error = QStringLiteral("La tabella %1 del file è danneggiata (record %2): %3")
                     .arg(d->tableName)
                     .arg(d->rowNumber + 1)
                     .arg(why);
        return Fetch::Failed;
    };
    // The table's definition counts its rows: fewer found means pages are
    // missing (a truncated or damaged file), which must not pass for the end.
    const auto end = [&]() {
        if (d->rowNumber != qint64(table->num_rows)) {
            *error = QStringLiteral("La tabella %1 del file è incompleta: trovati %2 record dei %3 che dichiara.")
                         .arg(d->tableName)
                         .arg(d->rowNumber)
                         .arg(table->num_rows);
            return Fetch::Failed;
        }
        return Fetch::End;
    };
    if (!d->started) {
        d->started = true;
        d->pageRow = 0;
        if (!mdb_read_next_dpg(table))
            return end();
    }
    for (;;) {
        const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        if (d->pageRow >= rows) {
            d->pageRow = 0;
            if (!mdb_read_next_dpg(table))
                return end();
            continue;
        }
        const int row = d->pageRow++;
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, row, &start, &size) != 0 || size == 0)
            continue;
        if (quint32(start) & kDeletedRow)
            continue;
        start &= kOffsetMask;
        if (start + qint64(size) > pageSize)
            return failed(QStringLiteral("record oltre la fine della pagina"));
        if (mdb_crack_row(table, start, size, d->fields.data()) < 0)
            return failed(QStringLiteral("record non leggibile"));
        break;
    }

    const int n = int(table->num_cols);
    values->fill(QVariant(), n);
    for (int i = 0; i < n; ++i) {
        const MdbField &field = d->fields[i];
        if (field.colnum < 0 || field.colnum >= n)
            return failed(QStringLiteral("colonna fuori elenco"));
        const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, field.colnum));
        QVariant &out = (*values)[field.colnum];
        if (col->col_type == MDB_BOOL) {
            // A yes/no field lives in the null mask: the bit set is "yes".
            out = !field.is_null;
            continue;
        }
        if (field.is_null)
            continue;
        const int start = field.start;
        const int size = field.siz;
        if (start < 0 || size < 0 || start + qint64(size) > pageSize)
            return failed(QStringLiteral("campo %1 oltre la fine della pagina").arg(QString::fromUtf8(col->name)));
        const unsigned char *p = mdb->pg_buf + start;
        const auto needs = [&](int bytes) { return size >= bytes; };
        switch (col->col_type) {
        case MDB_BYTE:
            if (!needs(1))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            out = qint64(p[0]);
            break;
        case MDB_INT:
            if (!needs(2))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            out = qint64(qint16(quint16(p[0] | p[1] << 8)));
            break;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            if (!needs(4))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            out = qint64(qint32(u32(p)));
            break;
        case MDB_MONEY: {
            if (!needs(8))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            const quint64 raw = quint64(u32(p)) | quint64(u32(p + 4)) << 32;
            out = moneyText(qint64(raw));
            break;
        }
        case MDB_FLOAT: {
            if (!needs(4))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            float f;
            const quint32 raw = u32(p);
            std::memcpy(&f, &raw, 4);
            out = double(f);
            break;
        }
        case MDB_DOUBLE:
        case MDB_DATETIME: {
            if (!needs(8))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            double v;
            const quint64 raw = quint64(u32(p)) | quint64(u32(p + 4)) << 32;
            std::memcpy(&v, &raw, 8);
            out = col->col_type == MDB_DATETIME ? dateValue(v) : QVariant(v);
            break;
        }
        case MDB_TEXT:
            out = d->text(p, size);
            break;
        case MDB_MEMO:
        case MDB_OLE: {
            if (d->skipLongValues)
                break;
            QByteArray bytes;
            if (!d->longValue(start, size, &bytes))
                return failed(QStringLiteral("il contenuto del campo %1 non è leggibile")
                                  .arg(QString::fromUtf8(col->name)));
            if (col->col_type == MDB_MEMO)
                out = d->text(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()));
            else
                out = bytes;
            break;
        }
        case MDB_NUMERIC: {
            if (!needs(17))
                return failed(QStringLiteral("campo %1 troncato").arg(QString::fromUtf8(col->name)));
            char *text = mdb_numeric_to_string(mdb, start, col->col_scale, col->col_prec);
            out = QString::fromUtf8(text);
            g_free(text);
            break;
        }
        default:
            out = QByteArray(reinterpret_cast<const char *>(p), size);
            break;
        }
    }
    ++d->rowNumber;
    return Fetch::Row;
}
