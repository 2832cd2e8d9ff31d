// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Criterion.h"

namespace {

class Parser {
public:
    Parser(const QString &text, const TableInfo &table) : m_text(text), m_table(table) {}

    ParsedCriterion run()
    {
        ParsedCriterion out;
        skipSpaces();
        if (atEnd())
            return fail(QStringLiteral("il criterio è vuoto"));
        for (;;) {
            Term term;
            if (!parseTerm(term))
                return fail(m_error);
            out.terms.append(term);
            const int before = m_pos;
            skipSpaces();
            if (atEnd())
                break;
            if (m_pos == before || !takeKeywordAnd())
                return fail(QStringLiteral("atteso AND alla posizione %1").arg(m_pos + 1));
            skipSpaces();
        }
        return out;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text.at(m_pos); }
    void skipSpaces()
    {
        while (!atEnd() && (peek() == QLatin1Char(' ') || peek() == QLatin1Char('\t')))
            ++m_pos;
    }
    static bool isIdentStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
    static bool isIdentChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

    bool takeKeywordAnd()
    {
        if (m_text.mid(m_pos, 3).compare(QLatin1String("AND"), Qt::CaseInsensitive) != 0)
            return false;
        const int after = m_pos + 3;
        if (after >= m_text.size() || (m_text.at(after) != QLatin1Char(' ') && m_text.at(after) != QLatin1Char('\t')))
            return false;
        m_pos = after;
        return true;
    }

    bool parseTerm(Term &term)
    {
        const int start = m_pos;
        if (!isIdentStart(peek()))
            return error(QStringLiteral("atteso un nome di campo alla posizione %1").arg(m_pos + 1));
        while (!atEnd() && isIdentChar(peek()))
            ++m_pos;
        const QString name = m_text.mid(start, m_pos - start);
        term.column = m_table.indexOf(name);
        if (term.column < 0)
            return error(QStringLiteral("il campo %1 non esiste nella tabella %2").arg(name, m_table.name));
        skipSpaces();
        if (peek() != QLatin1Char('='))
            return error(QStringLiteral("atteso = dopo %1").arg(name));
        ++m_pos;
        skipSpaces();

        const Column &column = m_table.columns[term.column];
        if (peek() == QLatin1Char('\'')) {
            QString value;
            if (!parseQuoted(value))
                return false;
            if (column.kind == FieldKind::Number)
                return error(QStringLiteral("il campo %1 richiede un numero").arg(column.name));
            term.value = value;
            return true;
        }
        const int numStart = m_pos;
        if (peek() == QLatin1Char('-') || peek() == QLatin1Char('+'))
            ++m_pos;
        const int digitsStart = m_pos;
        while (!atEnd() && peek() >= QLatin1Char('0') && peek() <= QLatin1Char('9'))
            ++m_pos;
        if (m_pos == digitsStart)
            return error(QStringLiteral("valore non valido per il campo %1").arg(column.name));
        const QString digits = m_text.mid(numStart, m_pos - numStart);
        if (!atEnd() && peek() != QLatin1Char(' ') && peek() != QLatin1Char('\t'))
            return error(QStringLiteral("valore non valido per il campo %1").arg(column.name));
        if (column.kind == FieldKind::Number) {
            bool ok = false;
            const qlonglong n = digits.toLongLong(&ok);
            if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
                return error(QStringLiteral("il numero %1 è fuori dall'intervallo ammesso").arg(digits));
            term.value = static_cast<qint64>(n);
        } else {
            term.value = digits;
        }
        return true;
    }

    bool parseQuoted(QString &value)
    {
        ++m_pos; // opening apostrophe
        for (;;) {
            if (atEnd())
                return error(QStringLiteral("apostrofo non chiuso"));
            const QChar c = peek();
            ++m_pos;
            if (c == QLatin1Char('\'')) {
                if (peek() == QLatin1Char('\'')) {
                    value.append(c);
                    ++m_pos;
                    continue;
                }
                return true;
            }
            value.append(c);
        }
    }

    bool error(const QString &message)
    {
        m_error = message;
        return false;
    }
    ParsedCriterion fail(const QString &message)
    {
        ParsedCriterion out;
        out.error = QStringLiteral("Criterio di ricerca non valido: %1.").arg(message);
        return out;
    }

    const QString &m_text;
    const TableInfo &m_table;
    int m_pos = 0;
    QString m_error;
};

} // namespace

ParsedCriterion parseCriterion(const QString &text, const TableInfo &table)
{
    return Parser(text, table).run();
}
