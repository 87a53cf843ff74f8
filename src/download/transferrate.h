#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <cstdio>

namespace download {

// One file's transfer as the user follows it. The speed is taken over the last few seconds
// only, so that a transfer that slows down (or a resumed one) shows what it does now, not its
// average since the start; the time left follows from that speed.
class TransferRate
{
public:
    static constexpr qint64 kWindowMs = 3000; // the last seconds a speed is taken over
    explicit TransferRate(qint64 windowMs = kWindowMs) : mWindowMs(windowMs) {}

    void clear();
    // The file's bytes so far and in all (-1 when no length was given) at `ms`, a time from
    // any fixed origin that never goes back.
    void add(qint64 ms, qint64 bytes, qint64 total);

    bool isEmpty() const { return mSamples.isEmpty(); }
    qint64 bytes() const { return mSamples.isEmpty() ? 0 : mSamples.last().bytes; }
    qint64 total() const { return mTotal; }
    // Since the first figure.
    qint64 elapsedMs() const;
    // 0 to 1; -1 without a length.
    double fraction() const;
    // -1 until the figures span enough time to say.
    double bytesPerSecond() const;
    // Whole seconds, rounded up; -1 without a length or a speed.
    qint64 secondsLeft() const;

private:
    struct Sample
    {
        qint64 ms;
        qint64 bytes;
    };
    qint64 mWindowMs;
    qint64 mTotal = -1;
    qint64 mStartMs = 0;
    QList<Sample> mSamples; // the last window's, and the one just before it
};

// "pic013.jpg — 12.4 MiB of 500.0 MiB, 24.8 MiB/s, 19 s left"; without a length, bytes and speed.
QString progressText(const QString& name, const TransferRate& rate,
                     const QLocale& locale = QLocale());
// "19 s", "3 min 5 s", "2 h 10 min".
QString durationText(qint64 seconds);

// The one progress line that a terminal shows under a log, redrawn in place with a carriage
// return as curl draws its own; erased before anything else is written beside it.
class TerminalLine
{
public:
    explicit TerminalLine(std::FILE* stream = stderr) : mStream(stream) {}
    // Only a terminal is drawn on; a pipe or file gets nothing at all.
    bool isTerminal() const;
    // Columns of the terminal, 80 when it does not say.
    int width() const;
    // "42% " and the text, cut to the terminal's width so that it never wraps.
    void draw(const QString& text, double fraction);
    void erase();
    bool isDrawn() const { return mDrawn; }
    // The line as draw() writes it for `width` columns, the carriage return first.
    static QByteArray lineOf(const QString& text, double fraction, int width);

private:
    std::FILE* mStream;
    bool mDrawn = false;
};

} // namespace download
