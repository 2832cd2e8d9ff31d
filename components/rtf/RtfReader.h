// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The RTF reader: its character and paragraph state, the destinations it
// knows, and the Reader class. The Reader's parts live in RtfReader.cpp (the
// walk over the bytes, groups, control words, text), RtfReaderBlocks.cpp
// (paragraphs, tables, lists) and RtfReaderDestinations.cpp (kept groups,
// pictures, fields, the font, colour and list tables).

#include "components/rtf/RtfShared.h"

#include <QColor>
#include <QHash>
#include <QTextCursor>
#include <QTextFormat>
#include <QVector>

#include <algorithm>
#include <functional>

class QTextList;
class QTextTable;

namespace Rtf::detail {

struct CharState {
    bool bold = false, italic = false, underline = false, strike = false, hidden = false;
    int vertical = 0;   // 1 superscript, 2 subscript
    int font = -1;      // -1: the default font
    int halfPoints = 24;
    int color = 0;      // index in the colour table, 0 = automatic
    int highlight = 0;
    QString href;
    bool operator==(const CharState &o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline && strike == o.strike
               && hidden == o.hidden && vertical == o.vertical && font == o.font && halfPoints == o.halfPoints
               && color == o.color && highlight == o.highlight && href == o.href;
    }
    bool operator!=(const CharState &o) const { return !(*this == o); }
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0;   // twips
    bool intbl = false;
    int itap = -1;
    int ls = 0, ilvl = 0;                 // list table membership
    int pnType = 0, pnStyle = 0, pnLevel = 0;   // old \pn list: 1 bullet, 2 numbered
    bool operator==(const ParaState &o) const
    {
        return align == o.align && left == o.left && right == o.right && first == o.first && intbl == o.intbl
               && itap == o.itap && ls == o.ls && ilvl == o.ilvl && pnType == o.pnType && pnStyle == o.pnStyle
               && pnLevel == o.pnLevel;
    }
};

inline int tableLevel(const ParaState &p)
{
    return std::min(p.itap > 0 ? p.itap : (p.intbl ? 1 : 0), kMaxTableDepth);
}

enum class Dest { Text, Skip, FontTable, ColorTable, ListTable, ListOverride, Pn, TableProps };

struct State {
    CharState chr;
    ParaState para;
    int uc = 1;
    Dest dest = Dest::Text;
    bool starred = false;
    qsizetype starPos = -1;
    bool levelText = false;
};

struct Font {
    QString name;
    int charset = 0;
};

// What a destination word does.
enum class Act { Skip, Text, Doc, Section, Inline, FontTable, ColorTable, ListTable, ListOverride, ListPicture, Pn, Field,
                 Pict, TableProps };

struct TableAt {
    QTextTable *table = nullptr;
    int row = 0, column = 0;
    bool pendingCell = false, pendingRow = false;
};

struct LevelDef {
    int nfc = 0;
    QString text;
    int picture = -1;   // \levelpicture: which picture of \listpicture is the bullet
    bool pictureNoSize = false;
};

class Reader {
public:
    Reader(const QByteArray &in, qsizetype start, QTextDocument *doc, const std::function<bool(int)> &progress);
    bool run();

private:
    // RtfReader.cpp: groups, text, control words, what the document keeps
    void openGroup();
    void closeGroup();
    void leaveGroup(qsizetype end);
    bool skipping() const { return m_overflow > 0 || m_state.dest == Dest::Skip; }
    int codepage() const;
    void textByte(char c);
    void appendText(const QString &text);
    void flushBytes();
    void flush();
    void insertObject(const QTextCharFormat &format);
    QTextCharFormat charFormat() const;
    void control();
    void word_(const QByteArray &w, bool hasParam, int param, qsizetype wordStart);
    static void charWord(const QByteArray &w, int param, bool on, CharState &c);
    void store();

    // RtfReaderBlocks.cpp: paragraphs, tables, lists
    static QTextBlockFormat blockFormat(const ParaState &p);
    void paragraph();
    void applyPara(const ParaState &p);
    void applyPending(bool openNext);
    void beginContent(int level);
    void openTable();
    void closeTable();
    void advance(TableAt &at);
    void endCell(int level);
    void endRow(int level);
    void finish();
    QTextList *listFor(const ParaState &p);

    // RtfReaderDestinations.cpp: kept groups, pictures, fields, tables
    QByteArray rawGroup(qsizetype start, qsizetype end, int missing) const;
    void keep(Act act, qsizetype start, qsizetype end, int missing);
    void picture(qsizetype start);
    void field(qsizetype start);
    void destination(Act act, qsizetype start);
    void fontNameBytesToText();
    void finishFontName();
    void fontWord(const QByteArray &w, bool hasParam, int param);
    void colorWord(const QByteArray &w, int param);
    void listWord(const QByteArray &w, bool hasParam, int param);
    void pnWord(const QByteArray &w, int param);

    const QByteArray &m_in;
    QTextDocument *m_doc;
    QTextCursor m_cursor;
    qsizetype m_pos = 0;
    std::function<bool(int)> m_progress;
    State m_state;
    QVector<State> m_stack;
    int m_overflow = 0;
    int m_skipChars = 0;
    int m_ansi = 1252;
    int m_defaultFont = 0;
    QHash<int, Font> m_fonts;
    int m_fontNumber = -1;
    QByteArray m_fontName;   // bytes of the name being read
    QString m_fontText;      // and what is decoded of it so far
    QVector<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    QByteArray m_bytes;
    QString m_text;
    QVector<ParaState> m_pending;
    ParaState m_lastPara;   // of the last content read
    bool m_sawContent = false;
    bool m_placeholder = false;
    QVector<TableAt> m_tables;
    QHash<qint64, QTextList *> m_lists;
    QHash<int, QTextList *> m_pnLists;
    QHash<int, QVector<LevelDef>> m_listDefs;
    QVector<LevelDef> m_levels;
    QHash<int, int> m_overrides;
    int m_overrideList = -1;
    ParaState m_pn;
    QByteArray m_docGroups, m_sectionGroups, m_listPictures;
};

} // namespace Rtf::detail
