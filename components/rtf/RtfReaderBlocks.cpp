// SPDX-License-Identifier: GPL-3.0-or-later
// Where the RTF reader puts what it reads: paragraphs and their formats,
// tables (nested ones too) and lists.
#include "components/rtf/RtfReader.h"

#include "components/rtf/Rtf.h"

#include <QTextBlock>
#include <QTextList>
#include <QTextTable>

namespace Rtf::detail {

namespace {

QTextListFormat::Style styleOfLevel(int nfc, const QString &levelText)
{
    switch (nfc) {
    case 1: return QTextListFormat::ListUpperRoman;
    case 2: return QTextListFormat::ListLowerRoman;
    case 3: return QTextListFormat::ListUpperAlpha;
    case 4: return QTextListFormat::ListLowerAlpha;
    case 23: case 255:
        if (levelText.contains(QLatin1Char('o')) || levelText.contains(QChar(0x25E6)))
            return QTextListFormat::ListCircle;
        if (levelText.contains(QChar(0x25AA)) || levelText.contains(QChar(0x25A0)) || levelText.contains(QChar(0xF0A7)))
            return QTextListFormat::ListSquare;
        return QTextListFormat::ListDisc;
    default: return QTextListFormat::ListDecimal;
    }
}

} // namespace

QTextBlockFormat Reader::blockFormat(const ParaState &p)
{
    QTextBlockFormat f;
    f.setAlignment(p.align);
    const bool listed = p.ls > 0 || p.pnType > 0;   // a list indents its items itself
    f.setLeftMargin(listed ? 0 : p.left / 15.0);
    f.setRightMargin(p.right / 15.0);
    f.setTextIndent(listed ? 0 : p.first / 15.0);
    return f;
}

// ---- paragraphs: a \par ends a paragraph; the next one opens only when
// something follows, so a closing \par adds no empty paragraph.
void Reader::paragraph()
{
    flush();
    beginContent(tableLevel(m_state.para));
    m_pending.append(m_state.para);
    m_sawContent = true;
}

void Reader::applyPara(const ParaState &p)
{
    m_cursor.setBlockFormat(blockFormat(p));
    if (QTextList *list = listFor(p))
        list->add(m_cursor.block());
}

// Gives the ended paragraphs their formats; with openNext, opens the
// block that the following content goes to.
void Reader::applyPending(bool openNext)
{
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (i > 0)
            m_cursor.insertBlock();
        applyPara(m_pending.at(i));
    }
    if (openNext && !m_pending.isEmpty())
        m_cursor.insertBlock(QTextBlockFormat());
    m_pending.clear();
}

// Puts the cursor where content of table level `level` goes: opening and
// closing tables, moving to the next cell or row.
void Reader::beginContent(int level)
{
    const bool moves = level != m_tables.size()
                       || (level > 0 && (m_tables.last().pendingCell || m_tables.last().pendingRow));
    if (!moves) {
        applyPending(true);
        return;
    }
    applyPending(false);
    while (m_tables.size() > level)
        closeTable();
    if (!m_tables.isEmpty())
        advance(m_tables.last());
    while (m_tables.size() < level)
        openTable();
}

void Reader::openTable()
{
    QTextTableFormat format;
    format.setBorder(1);
    format.setCellPadding(3);
    format.setCellSpacing(0);
    format.setBorderCollapse(true);
    TableAt at;
    at.table = m_cursor.insertTable(1, 1, format);
    m_tables.append(at);
    m_cursor = at.table->cellAt(0, 0).firstCursorPosition();
}

void Reader::closeTable()
{
    const TableAt at = m_tables.takeLast();
    const int used = at.row + 1;
    if (at.table->rows() > used)   // rows added ahead, unused
        at.table->removeRows(used, at.table->rows() - used);
    m_cursor = at.table->lastCursorPosition();
    m_cursor.movePosition(QTextCursor::NextBlock);
}

void Reader::advance(TableAt &at)
{
    if (at.pendingRow) {
        at.pendingRow = at.pendingCell = false;
        ++at.row;
        at.column = 0;
        // Rows are added ahead in growing batches: each addition costs
        // the whole table.
        if (at.row >= at.table->rows())
            at.table->appendRows(std::clamp(at.table->rows(), 1, 1024));
        m_cursor = at.table->cellAt(at.row, 0).firstCursorPosition();
    } else if (at.pendingCell) {
        at.pendingCell = false;
        if (at.column + 1 < kMaxColumns) {
            ++at.column;
            if (at.column >= at.table->columns())
                at.table->appendColumns(1);
            m_cursor = at.table->cellAt(at.row, at.column).firstCursorPosition();
        } else {
            m_cursor = at.table->cellAt(at.row, at.column).lastCursorPosition();
            m_cursor.insertBlock(QTextBlockFormat());
        }
    }
}

void Reader::endCell(int level)
{
    flush();
    beginContent(level);
    applyPara(m_state.para);
    m_tables.last().pendingCell = true;
    m_sawContent = true;
}

void Reader::endRow(int level)
{
    flush();
    if (m_tables.size() < level || level < 1)
        return;
    applyPending(false);
    while (m_tables.size() > level)
        closeTable();
    m_tables.last().pendingRow = true;
    m_tables.last().pendingCell = false;
}

void Reader::finish()
{
    flush();
    const ParaState last = m_lastPara;
    if (!m_pending.isEmpty()) {
        applyPending(false);
    } else if (tableLevel(last) == m_tables.size()
               && (m_tables.isEmpty() || !(m_tables.last().pendingCell || m_tables.last().pendingRow))) {
        applyPara(last);
    }
    while (!m_tables.isEmpty())
        closeTable();
}

// ---- lists
QTextList *Reader::listFor(const ParaState &p)
{
    if (p.ls > 0) {
        const qint64 key = qint64(p.ls) * 16 + p.ilvl;
        if (QTextList *list = m_lists.value(key))
            return list;
        QTextListFormat format;
        const auto def = m_listDefs.constFind(m_overrides.value(p.ls, -1));
        const bool defined = def != m_listDefs.constEnd() && p.ilvl < def->size();
        format.setStyle(defined ? styleOfLevel(def->at(p.ilvl).nfc, def->at(p.ilvl).text) : QTextListFormat::ListDisc);
        format.setIndent(p.ilvl + 1);
        if (defined && def->at(p.ilvl).picture >= 0) {
            format.setProperty(Rtf::LevelPicture, def->at(p.ilvl).picture);
            if (def->at(p.ilvl).pictureNoSize)
                format.setProperty(Rtf::LevelPictureNoSize, true);
        }
        QTextList *list = m_cursor.createList(format);
        m_lists.insert(key, list);
        return list;
    }
    if (p.pnType > 0) {
        const int key = p.pnStyle * 16 + p.pnLevel;
        if (QTextList *list = m_pnLists.value(key))
            return list;
        QTextListFormat format;
        format.setStyle(QTextListFormat::Style(p.pnStyle));
        format.setIndent(p.pnLevel + 1);
        QTextList *list = m_cursor.createList(format);
        m_pnLists.insert(key, list);
        return list;
    }
    m_pnLists.clear();   // old-style numbering restarts after a plain paragraph
    return nullptr;
}

} // namespace Rtf::detail
