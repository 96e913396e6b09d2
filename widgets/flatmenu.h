#pragma once

#include <QMenu>

namespace mv {

// A menu drawn flat by ourselves: Tahoma 8 points, a 24-pixel icon column,
// the selected item in the system highlight colour, the default item bold.
class FlatMenu : public QMenu
{
    Q_OBJECT
public:
    explicit FlatMenu(QWidget *parent = nullptr);

    // Adds an item with the given object name and caption.
    QAction *addItem(const QString &objectName, const QString &caption);
    QAction *addSeparatorItem(const QString &objectName);
};

} // namespace mv
