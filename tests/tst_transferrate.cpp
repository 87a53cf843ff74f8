#include "download/transferrate.h"
#include "support/table.h"

#include <QTest>

using namespace Qt::StringLiterals;
using download::TerminalLine;
using download::TransferRate;

static constexpr qint64 KiB = 1024;
static constexpr qint64 MiB = 1024 * KiB;

class TestTransferRate : public QObject
{
    Q_OBJECT
private slots:
    // Figures as they arrive (milliseconds, bytes, in turn) → the status line and time left.
    void text_data()
    {
        columns<QList<qint64>, qint64, QString, qint64>("samples", "total", "text", "secondsLeft");
        QTest::newRow("steady, length known")
            << QList<qint64>{0, 0, 500, qint64(12.4 * MiB)} << 500 * MiB
            << u"ProgressKnown pic013.jpg 12.4 MiB 500.0 MiB 24.8 MiB DurationSeconds 20"_s
            << qint64(20);
        QTest::newRow("no speed within the first half second")
            << QList<qint64>{0, 0, 400, 1 * MiB} << 4 * MiB
            << u"ProgressStarting pic013.jpg 1.0 MiB 4.0 MiB"_s << qint64(-1);
        QTest::newRow("speed of the last seconds, not since the start")
            << QList<qint64>{0,    0,
                             1000, 10 * MiB,
                             2000, 10 * MiB + 512 * KiB,
                             3000, 11 * MiB,
                             4000, 11 * MiB + 512 * KiB,
                             5000, 12 * MiB}
            << 20 * MiB
            << u"ProgressKnown pic013.jpg 12.0 MiB 20.0 MiB 512.0 KiB DurationSeconds 16"_s
            << qint64(16);
        QTest::newRow("a pause without figures still counts")
            << QList<qint64>{0, 0, 10000, 10 * MiB} << 20 * MiB
            << u"ProgressKnown pic013.jpg 10.0 MiB 20.0 MiB 1.0 MiB DurationSeconds 10"_s
            << qint64(10);
        QTest::newRow("stalled") << QList<qint64>{0, 1 * MiB, 1000, 1 * MiB} << 2 * MiB
                                 << u"ProgressStalled pic013.jpg 1.0 MiB 2.0 MiB"_s << qint64(-1);
        QTest::newRow("started again from its first byte")
            << QList<qint64>{0, 0, 1000, 3 * MiB, 1100, 100 * KiB} << 4 * MiB
            << u"ProgressStarting pic013.jpg 100.0 KiB 4.0 MiB"_s << qint64(-1);
        QTest::newRow("minutes left") << QList<qint64>{0, 0, 1000, 1 * MiB} << 100 * MiB
                                      << u"ProgressKnown pic013.jpg 1.0 MiB 100.0 MiB 1.0 MiB "
                                         u"DurationMinutes 1 39"_s
                                      << qint64(99);
        QTest::newRow("hours left") << QList<qint64>{0, 0, 1000, 1 * MiB} << 10 * 1024 * MiB
                                    << u"ProgressKnown pic013.jpg 1.0 MiB 10.0 GiB 1.0 MiB "
                                       u"DurationHours 2 50"_s
                                    << qint64(10239);
        QTest::newRow("part of a second left is a second")
            << QList<qint64>{0, 0, 1000, 4 * MiB} << 4 * MiB + 1
            << u"ProgressKnown pic013.jpg 4.0 MiB 4.0 MiB 4.0 MiB DurationSeconds 1"_s << qint64(1);
        QTest::newRow("no length: bytes and speed")
            << QList<qint64>{0, 0, 1000, 3 * MiB} << qint64(-1)
            << u"ProgressBytesSpeed pic013.jpg 3.0 MiB 3.0 MiB"_s << qint64(-1);
        QTest::newRow("no length, just begun")
            << QList<qint64>{0, 512} << qint64(-1) << u"ProgressBytes pic013.jpg 512 bytes"_s
            << qint64(-1);
    }
    void text()
    {
        QFETCH(QList<qint64>, samples);
        QFETCH(qint64, total);
        TransferRate rate;
        for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
            rate.add(samples.at(i), samples.at(i + 1), total);
        QTEST(download::progressText(u"pic013.jpg"_s, rate, QLocale::c()), "text");
        QTEST(rate.secondsLeft(), "secondsLeft");
    }

    // The terminal's line: redrawn from its first column, never wider than the terminal.
    void terminalLine_data()
    {
        columns<QString, double, int, QByteArray>("text", "fraction", "width", "line");
        QTest::newRow("percent first") << u"pic013.jpg 1.0 MiB"_s << 0.425 << 80
                                       << QByteArray("\r 42% pic013.jpg 1.0 MiB\x1b[K");
        QTest::newRow("no length, no percent")
            << u"pic013.jpg 1.0 MiB"_s << -1.0 << 80 << QByteArray("\rpic013.jpg 1.0 MiB\x1b[K");
        QTest::newRow("cut short of the last column")
            << u"pic013.jpg 1.0 MiB"_s << 1.0 << 12 << QByteArray("\r100% pic013\x1b[K");
        QTest::newRow("wide letters take two columns")
            << u"写真013.jpg"_s << -1.0 << 6 << u"\r写真0\x1b[K"_s.toUtf8();
    }
    void terminalLine()
    {
        QFETCH(QString, text);
        QFETCH(double, fraction);
        QFETCH(int, width);
        QTEST(TerminalLine::lineOf(text, fraction, width), "line");
    }
};

QTEST_GUILESS_MAIN(TestTransferRate)
#include "tst_transferrate.moc"
