#pragma once

#include <QMainWindow>

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

signals:
    void windowWillClose();
    // Moved or resized.
    void frameChanged();
    // A key pressed in the window is about to be matched against the shortcuts.
    void shortcutAboutToMatch();
    void fileDropped(const QString& path);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;

private:
    Ui::MainPanel* mUi;
};
