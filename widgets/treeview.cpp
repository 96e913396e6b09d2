#include "treeview.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

namespace mv {

TreeView::TreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

QTreeWidgetItem *TreeView::selectedNode() const
{
    const QList<QTreeWidgetItem *> items = selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

void TreeView::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown(event->button(), event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        // Right-click selection; the node is not opened or closed by it.
        if (QTreeWidgetItem *item = itemAt(event->position().toPoint())) {
            setCurrentItem(item);
            item->setSelected(true);
        }
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void TreeView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit leftClicked();
}

void TreeView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!popup_)
        return;
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // Over empty space the menu opens only when some node is selected.
        if (!itemAt(event->pos()) && !selectedNode())
            return;
    } else if (QTreeWidgetItem *sel = selectedNode()) {
        global = viewport()->mapToGlobal(visualItemRect(sel).bottomLeft());
    }
    emit popupRequested(global);
    popup_->popup(global);
}

} // namespace mv
