// A file's progress while it transfers: the status line's text and the terminal's line from
// the figures, then the window's status line and bar, the task bar, and a --log run's terminal.
#include "download/transferrate.h"
#include "fixtureserver.h"
#include "support/qt.h"
#include "support/table.h"
#include "support/window.h"

#include <QProgressBar>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using download::TerminalLine;
using download::TransferRate;

static constexpr qint64 KiB = 1024;
static constexpr qint64 MiB = 1024 * KiB;
static constexpr qint64 kSize = 16 * MiB;
// 100 pieces 20 ms apart: about two seconds, each piece a hundredth of the file.
static constexpr int kPieces = 100;
static constexpr int kIntervalMs = 20;

namespace {

// What the window showed, each time its status line changed.
struct Seen
{
    qint64 ms;
    QString text;
    qint64 sent; // by the server at that moment
    int barValue;
    int barMaximum;
};

// The sizes a status line names, in bytes: so far, in all (with a length) and per second.
QList<double> sizesIn(const QString& text)
{
    static const QRegularExpression size(u"([0-9.]+) (bytes|KiB|MiB)"_s);
    QList<double> out;
    for (const QRegularExpressionMatch& m : size.globalMatch(text))
        out << m.captured(1).toDouble() * (m.captured(2) == u"MiB"   ? 1048576
                                           : m.captured(2) == u"KiB" ? 1024
                                                                     : 1);
    return out;
}

} // namespace

class TestProgress : public QObject
{
    Q_OBJECT
private slots:
    // Figures as they arrive (milliseconds, bytes, in turn) → the status line and time left.
    void text_data()
    {
        columns<QList<qint64>, qint64, QString, qint64>("samples", "total", "text", "secondsLeft");
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

    void statusLine_data()
    {
        // The series' first file (the window's own fetch); the server announces its length.
        columns<bool, bool>("first", "length");
        QTest::newRow("first file, length known") << true << true;
        QTest::newRow("later file, length known") << false << true;
        QTest::newRow("later file without a length") << false << false;
    }
    void statusLine()
    {
        QFETCH(bool, first);
        QFETCH(bool, length);
        FixtureServer server;
        const QString paced = first ? u"/p/big001.bin"_s : u"/p/big002.bin"_s;
        if (!first)
            server.addFile(u"/p/big001.bin"_s, QByteArray(1000, 'x'));
        server.addPaced(paced, kSize, kPieces, kIntervalMs, length);
        Window w(300); // a pause long enough to see the line empty between files
        QTemporaryDir out;
        w.controller.mOutputDirectory = out.path();
        w.controller.mCreateNewFolder = false;
        w.controller.mainWindow()->resize(1600, 200); // nothing elided
        const auto* line = w.get<QLabel>(u"mProgressLine"_s);
        const auto* bar = w.get<QProgressBar>(u"mProgressBar"_s);
        w.controller.takeAddress(server.baseUrl() + u"/p/big001.bin"_s);
        QElapsedTimer clock;
        clock.start();
        w.controller.start_download();
        QList<Seen> seen;
        QString last;
        while (w.controller.isRunning() && clock.elapsed() < 20000) {
            QTest::qWait(2);
            if (line->text() != last) {
                last = line->text();
                seen.append(
                    {clock.elapsed(), last, server.sentBytes(paced), bar->value(), bar->maximum()});
            }
        }
        QVERIFY(!w.controller.isRunning());
        QCOMPARE(line->text(), QString());
        QVERIFY(bar->isHidden());

        QList<Seen> ofFile; // the paced file's lines
        qsizetype before = -1;
        for (qsizetype i = 0; i < seen.size(); ++i)
            if (seen.at(i).text.contains(paced.mid(3))) {
                if (ofFile.isEmpty())
                    before = i - 1;
                ofFile << seen.at(i);
            }
        QVERIFY2(ofFile.size() >= 5, qPrintable(QString::number(ofFile.size())));
        // Only the file in transfer has a line: empty between files, and at the end.
        QVERIFY(before == -1 || seen.at(before).text.isEmpty());
        QCOMPARE(seen.last().text, QString());
        const Seen& start = ofFile.first();
        const qint64 span = ofFile.last().ms - start.ms;
        QVERIFY2((ofFile.size() - 1) * 100 <= span + 200,
                 qPrintable(u"%1 lines in %2 ms"_s.arg(ofFile.size()).arg(span)));
        int speeds = 0;
        for (const Seen& s : std::as_const(ofFile)) {
            const QList<double> sizes = sizesIn(s.text);
            const QString why = s.text + u" sent "_s + QString::number(s.sent);
            QVERIFY2(!sizes.isEmpty(), qPrintable(why));
            QVERIFY2(std::abs(sizes.at(0) - s.sent) <= 0.05 * kSize, qPrintable(why));
            if (length) {
                QVERIFY2(sizes.size() >= 2 && sizes.at(1) == kSize, qPrintable(why));
                QCOMPARE(s.barMaximum, 1000);
                QVERIFY2(std::abs(s.barValue / 1000.0 - double(s.sent) / kSize) <= 0.05,
                         qPrintable(why));
            } else {
                QCOMPARE(s.barMaximum, 0); // busy
            }
            // The speed, once the figures span a second, against the server's own over the same
            // last seconds: a busy machine makes the flow uneven, and the line tells the recent
            // speed, not the average since the start.
            const qsizetype speedAt = length ? 2 : 1;
            const auto from = std::find_if(ofFile.cbegin(), ofFile.cend(), [&](const Seen& f) {
                return f.ms >= s.ms - download::TransferRate::kWindowMs;
            });
            if (s.ms - from->ms < 1000 || sizes.size() <= speedAt)
                continue;
            const double truth = (s.sent - from->sent) * 1000.0 / (s.ms - from->ms);
            QVERIFY2(std::abs(sizes.at(speedAt) - truth) <= 0.05 * truth,
                     qPrintable(why + u" truth "_s + QString::number(truth)));
            ++speeds;
        }
        QVERIFY(speeds > 0);

        // The task bar: the file's fraction while it lasted, a few times a second at most, and
        // hidden at the end for good.
        const QList<RecordingHost::Shown>& taskbar = w.taskbar;
        const qsizetype shown = taskbar.size();
        QTest::qWait(300);
        QCOMPARE(taskbar.size(), shown);
        QVERIFY(!taskbar.isEmpty());
        QCOMPARE(taskbar.last().visible, false);
        bool fractionShown = false;
        for (qsizetype i = 0; i + 1 < taskbar.size(); ++i) {
            QVERIFY(taskbar.at(i).visible);
            fractionShown =
                fractionShown || (taskbar.at(i).fraction > 0 && taskbar.at(i).fraction < 1);
            if (i > 0)
                QVERIFY2(taskbar.at(i).ms - taskbar.at(i - 1).ms >= 200,
                         qPrintable(QString::number(taskbar.at(i).ms - taskbar.at(i - 1).ms)));
        }
        QCOMPARE(fractionShown, length);
        QCOMPARE(taskbar.last().count, first ? 1 : 2);
    }

    // A --log run draws its line on a terminal's standard error only, and never into the log.
    void terminal_data()
    {
        columns<bool>("terminal");
        QTest::newRow("standard error on a terminal") << true;
        QTest::newRow("standard error on a pipe") << false;
    }
    void terminal()
    {
        QFETCH(bool, terminal);
        FixtureServer server;
        server.addPaced(u"/p/big001.bin"_s, kSize, kPieces, kIntervalMs);
        QTemporaryDir out;
        int master = -1;
        int slave = -1;
        winsize size{};
        size.ws_col = 100;
        size.ws_row = 24;
        if (terminal) {
            QVERIFY(::openpty(&master, &slave, nullptr, nullptr, &size) == 0);
            // Raw: the terminal adds no carriage return of its own to a line end.
            termios mode{};
            QVERIFY(::tcgetattr(slave, &mode) == 0);
            ::cfmakeraw(&mode);
            QVERIFY(::tcsetattr(slave, TCSANOW, &mode) == 0);
        }
        const auto closeAll = qScopeGuard([&] {
            if (slave >= 0)
                ::close(slave);
            if (master >= 0)
                ::close(master);
        });
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        run.setProcessEnvironment(env);
        if (terminal)
            run.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
        run.start(QStringLiteral(STEPGRAB_BINARY),
                  {u"--start"_s, u"--quit-when-done"_s, u"--log"_s, u"--output"_s, out.path(),
                   server.baseUrl() + u"/p/big001.bin"_s});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitCode(), 0);
        QByteArray err = run.readAllStandardError();
        if (terminal) {
            ::close(slave);
            slave = -1;
            ::fcntl(master, F_SETFL, O_NONBLOCK);
            char buffer[4096];
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
                err.append(buffer, n);
        }
        const QByteArray log = run.readAllStandardOutput();
        QVERIFY2(log.contains("big001.bin\n"), log.constData());
        QVERIFY2(!log.contains('\r'), log.constData());
        static const QRegularExpression drawn(u"\r *\\d+% big001\\.bin "_s);
        const qsizetype lines = QString::fromUtf8(err).count(drawn);
        QVERIFY2(terminal ? lines > 0 : lines == 0, err.constData());
        QVERIFY2(!terminal || lines <= 30, err.constData()); // ten a second at most
        if (terminal)                                        // erased before the log's next line
            QVERIFY2(err.endsWith("\r\x1b[K"), err.constData());
    }
};

QTEST_MAIN(TestProgress)
#include "tst_ui_progress.moc"
