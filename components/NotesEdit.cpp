// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotesEdit.h"

#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QUrl>

namespace {
// A picture named by a data: URL or a local file, as an image; null otherwise.
QImage imageFrom(const QString &name)
{
    const QUrl url(name);
    if (url.scheme() == QLatin1String("data")) {
        const QString text = url.toString(QUrl::FullyEncoded);
        const int comma = int(text.indexOf(QLatin1Char(',')));
        if (comma < 0)
            return {};
        const QByteArray payload = QByteArray::fromPercentEncoding(text.mid(comma + 1).toLatin1());
        const bool base64 = text.left(comma).endsWith(QLatin1String(";base64"));
        return QImage::fromData(base64 ? QByteArray::fromBase64(payload) : payload);
    }
    if (url.isLocalFile())
        return QImage(url.toLocalFile());
    if (url.scheme().isEmpty() && QFile::exists(name))
        return QImage(name);
    return {};
}
} // namespace

NotesEdit::NotesEdit(QWidget *parent) : QTextEdit(parent)
{
}

QString NotesEdit::addPicture(const QImage &image)
{
    QString name;
    do
        name = QStringLiteral("velbor-incollata-%1.png").arg(++m_pasted);
    while (document()->resource(QTextDocument::ImageResource, QUrl(name)).isValid());
    document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
    return name;
}

void NotesEdit::keyPressEvent(QKeyEvent *event)
{
    QTextCharFormat format;
    const QTextCharFormat now = textCursor().charFormat();
    if (event->matches(QKeySequence::Bold))
        format.setFontWeight(now.fontWeight() > QFont::Normal ? QFont::Normal : QFont::Bold);
    else if (event->matches(QKeySequence::Italic))
        format.setFontItalic(!now.fontItalic());
    else if (event->matches(QKeySequence::Underline))
        format.setFontUnderline(!now.fontUnderline());
    else {
        QTextEdit::keyPressEvent(event);
        return;
    }
    mergeCurrentCharFormat(format);
    event->accept();
}

bool NotesEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasImage() || QTextEdit::canInsertFromMimeData(source);
}

void NotesEdit::insertFromMimeData(const QMimeData *source)
{
    if (source->hasImage() && !source->hasHtml()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull())
            textCursor().insertImage(addPicture(image));
        return;
    }
    QTextEdit::insertFromMimeData(source);
    keepPicturesInPage();
}

void NotesEdit::keepPicturesInPage()
{
    QTextDocument *doc = document();
    // Pictures the page does not hold yet: by name, where each stands.
    QList<QPair<int, QString>> missing;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            const QVariant held = doc->resource(QTextDocument::ImageResource, QUrl(name));
            if (held.typeId() == QMetaType::QImage || held.typeId() == QMetaType::QPixmap
                || held.typeId() == QMetaType::QByteArray)
                continue;
            missing.append({fragment.position(), name});
        }
    // From the end, so earlier positions stay right.
    for (auto it = missing.crbegin(); it != missing.crend(); ++it) {
        QTextCursor cursor(doc);
        cursor.setPosition(it->first);
        cursor.setPosition(it->first + 1, QTextCursor::KeepAnchor);
        const QImage image = imageFrom(it->second);
        if (image.isNull()) {
            // A picture that cannot be had would vanish at the next save
            // anyway: it goes now, where the user sees it.
            cursor.removeSelectedText();
            continue;
        }
        QTextImageFormat format = cursor.charFormat().toImageFormat();
        format.setName(addPicture(image));
        cursor.setCharFormat(format);
    }
}
