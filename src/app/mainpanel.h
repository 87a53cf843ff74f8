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

signals:
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Ui::MainPanel* mUi;
};
