#pragma once

#include <QMainWindow>

class QMimeData;

namespace Ui {
class MainPanel;
}

// The main window: a small panel that floats above ordinary windows.
class MainPanel : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainPanel(QWidget* parent = nullptr);
    ~MainPanel() override;

    Ui::MainPanel& ui() { return *mUi; }

    // A drop handed on by the drop box: the first path is taken when it names something that
    // exists with the extension "url" (in any letter case), and goes out as fileDropped.
    bool performDragOperation(const QStringList& paths);
    // The address a drag carries as a browser or file manager drags a link: the first of its
    // addresses when that is no local file, else its text when that is one word. Empty when
    // it carries none.
    static QString draggedLink(const QMimeData* data);
    // A dragged link handed on by the drop box or the window; false when it carries none.
    bool performLinkDrop(const QMimeData* data);
    // The status line under the counter: the file in transfer, or nothing. A text too long
    // for the window is shortened in the middle and shown whole in its tool tip.
    void setProgressLine(const QString& text);

signals:
    void windowWillClose();
    // Moved or resized.
    void frameChanged();
    // A key pressed in the window is about to be matched against the shortcuts.
    void shortcutAboutToMatch();
    void fileDropped(const QString& path);
    void linkDropped(const QString& text);
    // A sheet, alert or other modal window began or ceased to hold this one.
    void blockedChanged();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void elideProgressLine();

    Ui::MainPanel* mUi;
    QString mProgressText;
};
