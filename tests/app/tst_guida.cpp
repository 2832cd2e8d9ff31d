// SPDX-License-Identifier: GPL-3.0-or-later
// The "?" menu of the main window: the user guide in its own window, and the
// information window.
#include "GuiSupport.h"
#include "TestSupport.h"
#include "Version.h"
#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QDirIterator>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

namespace {
const QString kGuide = QStringLiteral(VELBOR_GUIDE);

// A copy of the guide beside the test's program, as the build places it.
bool copyGuide(const QString &to)
{
    QDirIterator it(kGuide, QDir::Files, QDirIterator::Subdirectories);
    bool ok = it.hasNext();
    while (ok && it.hasNext()) {
        const QString from = it.next();
        const QString target = to + QLatin1Char('/') + QDir(kGuide).relativeFilePath(from);
        ok = QDir().mkpath(QFileInfo(target).absolutePath()) && QFile::copy(from, target);
    }
    return ok;
}

// Links (href) and pictures (src) of a page, as the help window reads it.
void linksOf(QTextDocument *doc, QStringList *links, QStringList *pictures, QStringList *anchors)
{
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                *links << format.anchorHref();
            *anchors << format.anchorNames();
            if (format.isImageFormat())
                *pictures << format.toImageFormat().name();
        }
}

// Clicks the first link to href in the page on show, as a person does.
bool clickLink(QTextBrowser *browser, const QString &href)
{
    QTextDocument *doc = browser->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().anchorHref() != href || f.length() < 2)
                continue;
            QTextCursor at(doc);
            at.setPosition(f.position() + 1);
            browser->setTextCursor(at);
            browser->ensureCursorVisible();
            const QRect place = browser->cursorRect(at);
            QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, place.center() + QPoint(2, 0));
            return true;
        }
    return false;
}

QString pageOf(QTextBrowser *browser)
{
    return browser->source().fileName();
}

// The program started on the test's data folder, its guide beside it or not.
struct Started {
    GuiFixture f;
    Session s;
    frmMain w{s};
    bool ready = false;
    explicit Started(bool withGuide = true)
    {
        writeBytes(f.program() + QStringLiteral("/SERVER.DAT"), (f.data() + QStringLiteral("\r\n")).toUtf8());
        ready = (!withGuide || copyGuide(f.program() + QStringLiteral("/guida"))) && w.Form_Load() && activate(&w);
    }
};
} // namespace

class TestGuida : public QObject {
    Q_OBJECT

private slots:
    // F1 works in every window of the program, as does the menu entry.
    void theGuideOpensOnItsIndex_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("menu") << "menu";
        QTest::newRow("F1 in the main window") << "main";
        QTest::newRow("F1 in the client register") << "clienti";
    }
    void theGuideOpensOnItsIndex()
    {
        QFETCH(QString, how);
        Started o;
        QVERIFY(o.ready);
        if (how == QLatin1String("menu")) {
            o.w.findChild<QAction *>("mnuGuida")->trigger();
        } else if (how == QLatin1String("main")) {
            QTest::keyClick(&o.w, Qt::Key_F1);
        } else {
            o.w.cmdClienti_Click();
            QVERIFY(activate(o.w.clienti()));
            QTest::keyClick(o.w.clienti(), Qt::Key_F1);
        }
        QTRY_VERIFY(o.w.guida() && o.w.guida()->isVisible());
        QTextBrowser *browser = o.w.guida()->browser();
        QCOMPARE(browser->source(), QUrl::fromLocalFile(o.f.program() + "/guida/index.html"));
        QCOMPARE(browser->documentTitle(), QStringLiteral("Indice"));
        QVERIFY(browser->toPlainText().startsWith(QStringLiteral("Guida di Velbor")));
        QCOMPARE(o.w.guida()->windowTitle(), QStringLiteral("Guida di Velbor - Indice"));
        // The window grows with its user.
        QVERIFY(o.w.guida()->maximumSize().width() > 2000 && o.w.guida()->maximumSize().height() > 2000);
        QVERIFY(MessageBox::shown().isEmpty());
        // Once open, F1 brings the same window back.
        QPointer<frmGuida> first = o.w.guida();
        o.w.findChild<QAction *>("mnuGuida")->trigger();
        QCOMPARE(o.w.guida(), first.data());
    }

    void linksLeadFromPageToPage_data()
    {
        QTest::addColumn<bool>("pageThere");
        QTest::newRow("page there") << true;
        QTest::newRow("page missing") << false;
    }
    void linksLeadFromPageToPage()
    {
        QFETCH(bool, pageThere);
        Started o;
        QVERIFY(o.ready);
        if (!pageThere)
            QVERIFY(QFile::remove(o.f.program() + "/guida/clienti.html"));
        o.w.findChild<QAction *>("mnuGuida")->trigger();
        QTRY_VERIFY(o.w.guida());
        frmGuida *g = o.w.guida();
        QVERIFY(activate(g));
        QTextBrowser *browser = g->browser();
        auto *back = g->findChild<QPushButton *>("cmdIndietro");
        auto *forward = g->findChild<QPushButton *>("cmdAvanti");
        QVERIFY(!back->isEnabled() && !forward->isEnabled());
        QVERIFY(clickLink(browser, "clienti.html"));
        if (!pageThere) {
            // Said so, never a blank page: the index stays on show.
            QTRY_COMPARE(MessageBox::shown().size(), 1);
            QCOMPARE(MessageBox::shown().first().text,
                     QString("La pagina %1 della guida non è stata trovata.").arg(native(o.f.program() + "/guida/clienti.html")));
            QCOMPARE(pageOf(browser), QStringLiteral("index.html"));
            QVERIFY(browser->toPlainText().startsWith(QStringLiteral("Guida di Velbor")));
            return;
        }
        QTRY_COMPARE(pageOf(browser), QStringLiteral("clienti.html"));
        QCOMPARE(browser->documentTitle(), QStringLiteral("Clienti"));
        QCOMPARE(g->windowTitle(), QStringLiteral("Guida di Velbor - Clienti"));
        QVERIFY(back->isEnabled());
        // A picture of the page is found beside it.
        QStringList links, pictures, anchors;
        linksOf(browser->document(), &links, &pictures, &anchors);
        QVERIFY(pictures.contains("img/clienti.png"));
        QVERIFY(!browser->document()->resource(QTextDocument::ImageResource, QUrl("img/clienti.png")).isNull());

        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(pageOf(browser), QStringLiteral("index.html"));
        QVERIFY(forward->isEnabled());
        QTest::mouseClick(forward, Qt::LeftButton);
        QCOMPARE(pageOf(browser), QStringLiteral("clienti.html"));
        QTest::mouseClick(g->findChild<QPushButton *>("cmdIndice"), Qt::LeftButton);
        QCOMPARE(pageOf(browser), QStringLiteral("index.html"));
        QVERIFY(MessageBox::shown().isEmpty());
        QTest::mouseClick(g->findChild<QPushButton *>("cmdChiudi"), Qt::LeftButton);
        QTRY_VERIFY(!o.w.guida());
    }

    void aMissingGuideIsSaidSo_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("no guide folder") << "folder";
        QTest::newRow("no index page") << "index";
        QTest::newRow("a folder in place of the index") << "index folder";
    }
    void aMissingGuideIsSaidSo()
    {
        QFETCH(QString, damage);
        Started o(damage != QLatin1String("folder"));
        QVERIFY(o.ready);
        const QString index = o.f.program() + "/guida/index.html";
        if (damage != QLatin1String("folder"))
            QVERIFY(QFile::remove(index));
        if (damage == QLatin1String("index folder"))
            QVERIFY(QDir().mkpath(index));
        QTest::keyClick(&o.w, Qt::Key_F1);
        QTRY_COMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().first().text,
                 QString("La guida non è stata trovata: manca il file %1.\n"
                         "Il programma funziona anche senza la guida; per riaverla, installare di nuovo Velbor.")
                     .arg(native(index)));
        QCOMPARE(MessageBox::shown().first().icon, MessageBox::Icon::Exclamation);
        QVERIFY(!o.w.guida());
    }

    // Every page of the guide as shipped: titled, its links lead to pages and
    // places that exist, its pictures are there.
    void everyLinkOfTheGuideLeadsSomewhere_data()
    {
        QTest::addColumn<QString>("page");
        const QStringList pages = QDir(kGuide).entryList({"*.html"}, QDir::Files, QDir::Name);
        QVERIFY(pages.contains("index.html"));
        for (const QString &page : pages)
            QTest::newRow(qPrintable(page)) << page;
    }
    void everyLinkOfTheGuideLeadsSomewhere()
    {
        QFETCH(QString, page);
        QTextBrowser browser;
        browser.setSource(QUrl::fromLocalFile(kGuide + "/" + page));
        QVERIFY2(!browser.documentTitle().isEmpty(), "a page without a title");
        QStringList links, pictures, anchors;
        linksOf(browser.document(), &links, &pictures, &anchors);
        QVERIFY(page == QLatin1String("index.html") || links.contains("index.html"));
        for (const QString &link : std::as_const(links)) {
            const QUrl url(link);
            QVERIFY2(url.scheme().isEmpty(), qPrintable(link + ": the guide links outside itself"));
            const QString target = url.path().isEmpty() ? page : url.path();
            QVERIFY2(QFileInfo(kGuide + "/" + target).isFile(), qPrintable(link));
            if (url.hasFragment()) {
                QTextBrowser other;
                other.setSource(QUrl::fromLocalFile(kGuide + "/" + target));
                QStringList l, p, names;
                linksOf(other.document(), &l, &p, &names);
                QVERIFY2(names.contains(url.fragment()), qPrintable(link));
            }
        }
        for (const QString &picture : std::as_const(pictures)) {
            QVERIFY2(QFileInfo(kGuide + "/" + picture).isFile(), qPrintable(picture));
            QVERIFY2(!QImage(kGuide + "/" + picture).isNull(), qPrintable(picture));
        }
    }

    // What the information window says about the program and this run.
    void theInformationWindow()
    {
        Started o(false);
        QVERIFY(o.ready);
        o.w.findChild<QAction *>("mnuInformazioni")->trigger();
        QTRY_VERIFY(o.w.informazioni() && o.w.informazioni()->isVisible());
        QWidget *info = o.w.informazioni();
        const auto text = [info](const char *name) { return info->findChild<QLabel *>(name)->text(); };
        QCOMPARE(info->windowTitle(), QStringLiteral("Informazioni su Velbor"));
        QCOMPARE(text("lblNome"), QStringLiteral("Velbor"));
        QCOMPARE(text("lblVersione"), QStringLiteral("Versione " VELBOR_VERSION));
        QVERIFY(text("lblLicenza").contains("GPL-3.0-or-later"));
        QVERIFY(text("lblLicenza").contains("SENZA ALCUNA GARANZIA"));
        // The archive of this run: on a server, the server and the file naming it.
        const QString archive = testOnServer()
                                    ? QString("%1 (indicato da %2)").arg(o.s.archive.label(), o.f.dataArchive())
                                    : o.f.dataArchive();
        QCOMPARE(text("lblArchivio"), native(archive));
        if (testOnServer())
            QVERIFY(text("lblArchivio").startsWith("PostgreSQL: "));
        QCOMPARE(text("lblCartella"), o.f.data());
        QTest::mouseClick(info->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        QTRY_VERIFY(!o.w.informazioni());

        // The author's window names the same version.
        o.w.findChild<QAction *>("mnuAutore")->trigger();
        QTRY_VERIFY(o.w.autore());
        QVERIFY(o.w.autore()->findChild<QLabel *>("lblContatti")->text().endsWith("Versione " VELBOR_VERSION));
    }
};

QTEST_MAIN(TestGuida)
#include "tst_guida.moc"
