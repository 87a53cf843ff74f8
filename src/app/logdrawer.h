#pragma once

#include <QWidget>

class QPropertyAnimation;

// The log's side drawer: it slides out of the window's right edge by animating
// its width, the window growing with it. Presses while it moves are ignored, as with a real
// drawer. Once open it takes the window's height and shares a change of the window's width.
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
    // Open at once, without sliding: the window's saved size already holds the drawer.
    void showOpen();
    QSize sizeHint() const override;

    int drawerWidth() const { return mWidth; }
    void setDrawerWidth(int width);
    static constexpr int kOpenWidth = 380;
    static constexpr int kNarrowestWidth = 160;

signals:
    void stateChanged(LogDrawer::State state);

private:
    void animateTo(int width);
    void letUserSize();

    QPropertyAnimation* mAnimation;
    int mWidth = 0;
};
