#pragma once

#include <QLabel>

// The well on the main window that takes dropped bookmark files and links. It offers to take
// any drag of files or of a link and shows the image "drop" while one hovers; its window
// decides what a drop is worth.
class DropBox : public QLabel
{
    Q_OBJECT

public:
    explicit DropBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
