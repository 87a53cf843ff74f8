#pragma once

#include <QWidget>

class QPropertyAnimation;

// The log's side drawer: it slides out of the window's right edge by animating
// its width. Presses while it moves are ignored, as with a real drawer.
class LogDrawer : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int drawerWidth READ drawerWidth WRITE setDrawerWidth)

public:
    enum State { Closed = 0, Opening = 1, Open = 2, Closing = 3 };
    Q_ENUM(State)

    explicit LogDrawer(QWidget* parent = nullptr);

    State state() const;
    void open();
    void close();

    int drawerWidth() const { return mWidth; }
    void setDrawerWidth(int width);
    static constexpr int kOpenWidth = 380;

signals:
    void stateChanged(LogDrawer::State state);

private:
    void animateTo(int width);

    QPropertyAnimation* mAnimation;
    int mWidth = 0;
};
