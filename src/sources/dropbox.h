#pragma once

#include <QLabel>

// The well on the main window that takes dropped bookmark files.
class DropBox : public QLabel
{
    Q_OBJECT

public:
    explicit DropBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
