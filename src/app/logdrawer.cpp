#include "logdrawer.h"

#include <QPropertyAnimation>

LogDrawer::LogDrawer(QWidget* parent)
    : QWidget(parent), mAnimation(new QPropertyAnimation(this, "drawerWidth", this))
{
    mAnimation->setDuration(180);
    mAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(mAnimation, &QPropertyAnimation::finished, this,
            [this] { emit stateChanged(state()); });
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
    if (state() == Open)
        animateTo(0);
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
    mWidth = width;
    // Both bounds move together so the layout gives the drawer exactly this width.
    setMinimumWidth(width);
    setMaximumWidth(width);
    setVisible(width > 0);
}
