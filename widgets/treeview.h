#pragma once

#include <QTreeWidget>

class QMenu;

namespace mv {

// A tree whose right button selects the node under the pointer, and which
// reports every button press to its owner before handling it.
class TreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TreeView(QWidget *parent = nullptr);

    // The selected node, or none.
    QTreeWidgetItem *selectedNode() const;

    void setPopupMenu(QMenu *menu) { popup_ = menu; }
    QMenu *popupMenu() const { return popup_; }

signals:
    // Emitted on every button press, before the tree's own handling.
    void mouseDown(Qt::MouseButton button, const QPoint &pos);
    // A left click anywhere in the tree, after the tree moved its selection.
    void leftClicked();
    // The popup menu is about to open at a global position.
    void popupRequested(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QMenu *popup_ = nullptr;
};

} // namespace mv
