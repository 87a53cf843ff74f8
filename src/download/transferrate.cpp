#include "transferrate.h"

#include "host/localized.h"

#include <cmath>
#include <sys/ioctl.h>
#include <unistd.h>

namespace download {

namespace {
// A speed taken over less time than this jumps with every read.
constexpr qint64 kMinSpanMs = 500;
} // namespace

void TransferRate::clear()
{
    mSamples.clear();
    mTotal = -1;
}

void TransferRate::add(qint64 ms, qint64 bytes, qint64 total)
{
    // Fewer bytes than before: the file started again from its first byte.
    if (!mSamples.isEmpty() && bytes < mSamples.last().bytes)
        clear();
    if (mSamples.isEmpty())
        mStartMs = ms;
    mTotal = total;
    mSamples.append({ms, bytes});
    while (mSamples.size() > 2 && mSamples.at(1).ms <= ms - mWindowMs)
        mSamples.removeFirst();
}

qint64 TransferRate::elapsedMs() const
{
    return mSamples.isEmpty() ? 0 : mSamples.last().ms - mStartMs;
}

double TransferRate::fraction() const
{
    if (mTotal <= 0)
        return -1;
    return qBound(0.0, double(bytes()) / double(mTotal), 1.0);
}

double TransferRate::bytesPerSecond() const
{
    if (mSamples.size() < 2)
        return -1;
    const Sample& first = mSamples.first();
    const Sample& last = mSamples.last();
    if (last.ms - first.ms < kMinSpanMs)
        return -1;
    return double(last.bytes - first.bytes) * 1000.0 / double(last.ms - first.ms);
}

qint64 TransferRate::secondsLeft() const
{
    const double speed = bytesPerSecond();
    if (mTotal < 0 || speed <= 0)
        return -1;
    return qint64(std::ceil(double(qMax<qint64>(0, mTotal - bytes())) / speed));
}

QString durationText(qint64 seconds)
{
    if (seconds < 60)
        return localizedFormat("DurationSeconds", QString::number(seconds));
    if (seconds < 3600)
        return localizedFormat("DurationMinutes", QString::number(seconds / 60),
                               QString::number(seconds % 60));
    return localizedFormat("DurationHours", QString::number(seconds / 3600),
                           QString::number(seconds / 60 % 60));
}

QString progressText(const QString& name, const TransferRate& rate, const QLocale& locale)
{
    const auto size = [&](qint64 bytes) { return locale.formattedDataSize(bytes, 1); };
    const double speed = rate.bytesPerSecond();
    const QString bytes = size(rate.bytes());
    if (rate.total() < 0) {
        if (speed < 0)
            return localizedFormat("ProgressBytes", name, bytes);
        return localizedFormat("ProgressBytesSpeed", {name, bytes, size(qint64(speed))});
    }
    const QString total = size(rate.total());
    if (speed < 0)
        return localizedFormat("ProgressStarting", {name, bytes, total});
    if (rate.secondsLeft() < 0)
        return localizedFormat("ProgressStalled", {name, bytes, total});
    return localizedFormat("ProgressKnown", {name, bytes, total, size(qint64(speed)),
                                             durationText(rate.secondsLeft())});
}

bool TerminalLine::isTerminal() const
{
    return ::isatty(fileno(mStream)) == 1;
}

int TerminalLine::width() const
{
    winsize size{};
    if (::ioctl(fileno(mStream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

QByteArray TerminalLine::lineOf(const QString& text, double fraction, int width)
{
    QString line = fraction >= 0 ? QStringLiteral("%1% ").arg(int(fraction * 100), 3) : QString();
    line += text;
    // A line that wraps cannot be drawn over with a carriage return; the last column stays
    // free, where some terminals wrap at once. Wide (East Asian) letters take two columns.
    int columns = 0;
    qsizetype cut = 0;
    for (; cut < line.size(); ++cut) {
        const char32_t c = line.at(cut).unicode();
        const int w = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) ||
                              (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) ||
                              (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
                              (c >= 0xffe0 && c <= 0xffe6)
                          ? 2
                          : 1;
        if (columns + w > width - 1)
            break;
        columns += w;
    }
    // Never half of a surrogate pair.
    if (cut > 0 && cut < line.size() && line.at(cut - 1).isHighSurrogate())
        --cut;
    return "\r" + line.left(cut).toLocal8Bit() + "\x1b[K";
}

void TerminalLine::draw(const QString& text, double fraction)
{
    if (!isTerminal())
        return;
    std::fputs(lineOf(text, fraction, width()).constData(), mStream);
    std::fflush(mStream);
    mDrawn = true;
}

void TerminalLine::erase()
{
    if (!mDrawn)
        return;
    std::fputs("\r\x1b[K", mStream);
    std::fflush(mStream);
    mDrawn = false;
}

} // namespace download
