// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the saved fuzzing corpora in the ordinary test run.
#include <QDir>
#include <QtTest>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

class TestCorpus : public QObject {
    Q_OBJECT

private slots:
    void replay()
    {
        const QDir corpus(QStringLiteral(VELBOR_CORPUS));
        const QFileInfoList files = corpus.entryInfoList(QDir::Files);
        QVERIFY2(!files.isEmpty(), qPrintable(corpus.path()));
        for (const QFileInfo &info : files) {
            QFile file(info.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QCOMPARE(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
