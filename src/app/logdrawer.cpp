#include "logdrawer.h"

#include <QLayout>
#include <QPropertyAnimation>

LogDrawer::LogDrawer(QWidget* parent)
    : QWidget(parent), mAnimation(new QPropertyAnimation(this, "drawerWidth", this))
{
    mAnimation->setDuration(180);
    mAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(mAnimation, &QPropertyAnimation::finished, this, [this] {
        if (mWidth > 0)
            letUserSize();
        emit stateChanged(state());
    });
    setDrawerWidth(0);
}

LogDrawer::State LogDrawer::state() const
{
    if (mAnimation->state() == QAbstractAnimation::Running)
        return mAnimation->endValue().toInt() > 0 ? Opening : Closing;
    return mWidth > 0 ? Open : Closed;
}

void LogDrawer::open()
{
    if (state() == Closed)
        animateTo(kOpenWidth);
}

void LogDrawer::close()
{
    if (state() != Open)
        return;
    // It slides in from the width the user left it at.
    mWidth = width();
    setFixedWidth(mWidth);
    animateTo(0);
}

void LogDrawer::showOpen()
{
    mAnimation->stop();
    setDrawerWidth(kOpenWidth);
    letUserSize();
    emit stateChanged(state());
}

QSize LogDrawer::sizeHint() const
{
    return {mWidth, QWidget::sizeHint().height()};
}

void LogDrawer::animateTo(int width)
{
    mAnimation->setStartValue(mWidth);
    mAnimation->setEndValue(width);
    mAnimation->start();
    emit stateChanged(state());
}

void LogDrawer::setDrawerWidth(int width)
{
    int grown = width - mWidth;
    // The layout's gap beside the drawer comes and goes with it.
    const QLayout* beside = parentWidget() ? parentWidget()->layout() : nullptr;
    if (beside && (mWidth == 0) != (width == 0))
        grown += width > 0 ? beside->spacing() : -beside->spacing();
    mWidth = width;
    // The drawer slides out of the window's edge: the window grows and shrinks with it, so the
    // controls keep the width they had. The window is sized first: a window never sized by
    // hand would otherwise take its preferred size as the drawer appears.
    QWidget* frame = window();
    if (frame != this && frame->isVisible() &&
        !(frame->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        frame->resize(frame->width() + grown, frame->height());
    // Both bounds move together so the layout gives the drawer exactly this width.
    setFixedWidth(width);
    setVisible(width > 0);
}

// Open and still: the user may make the log wider or narrower with the window.
void LogDrawer::letUserSize()
{
    setMinimumWidth(qMin(kNarrowestWidth, mWidth));
    setMaximumWidth(QWIDGETSIZE_MAX);
    updateGeometry();
}
