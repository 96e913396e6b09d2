#include "datagrid.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QPainter>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyledItemDelegate>

namespace mv {

class DataGridDelegate : public QStyledItemDelegate
{
public:
    explicit DataGridDelegate(DataGrid *grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        DataGrid::Cell cell;
        cell.rect = option.rect;
        cell.selected = option.state & QStyle::State_Selected;
        cell.background = (index.row() % 2 == 0) ? grid_->even_ : grid_->odd_;
        const QVariant fg = index.data(Qt::ForegroundRole);
        cell.textColor = fg.isValid() ? fg.value<QColor>() : option.palette.color(QPalette::Text);
        const QVariant font = index.data(Qt::FontRole);
        cell.font = font.isValid() ? font.value<QFont>() : option.font;
        cell.text = index.data(Qt::DisplayRole).toString();
        const QVariant align = index.data(Qt::TextAlignmentRole);
        if (align.isValid())
            cell.alignment = Qt::Alignment(align.toInt());
        if (cell.selected) {
            cell.background = option.palette.color(QPalette::Highlight);
            cell.textColor = option.palette.color(QPalette::HighlightedText);
        }
        if (grid_->hook_)
            grid_->hook_(p, cell, index);
        else
            grid_->defaultDrawColumnCell(p, cell);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(grid_->verticalHeader()->defaultSectionSize());
        return s;
    }

private:
    DataGrid *grid_;
};

DataGrid::DataGrid(QWidget *parent) : QTableView(parent), even_(Qt::white), odd_(Qt::white)
{
    setItemDelegate(new DataGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *find = new QShortcut(QKeySequence::Find, this, this, &DataGrid::showFindDialog);
    find->setContext(Qt::WidgetWithChildrenShortcut);
}

void DataGrid::setRowColors(const QColor &even, const QColor &odd)
{
    even_ = even;
    odd_ = odd;
    viewport()->update();
}

void DataGrid::defaultDrawColumnCell(QPainter *p, const Cell &cell) const
{
    p->save();
    p->fillRect(cell.rect, cell.background);
    p->setPen(cell.textColor);
    p->setFont(cell.font);
    const QRect tr = cell.rect.adjusted(3, 0, -3, 0);
    const QString text = QFontMetrics(cell.font).elidedText(cell.text, Qt::ElideRight, tr.width());
    p->drawText(tr, int(cell.alignment) | Qt::TextSingleLine, text);
    p->restore();
}

void DataGrid::setColumnWidthHint(int column, int width)
{
    widthHints_[column] = width;
    setColumnWidth(column, width);
}

void DataGrid::fitColumns()
{
    if (fitting_ || !model())
        return;
    fitting_ = true;
    const int cols = model()->columnCount();
    int total = 0;
    QList<int> visible;
    for (int c = 0; c < cols; ++c) {
        if (isColumnHidden(c))
            continue;
        visible.append(c);
        total += widthHints_.value(c, 64);
    }
    const int avail = viewport()->width();
    if (total > 0 && avail > 0) {
        int used = 0;
        for (int i = 0; i < visible.size(); ++i) {
            const int c = visible[i];
            const int w = (i + 1 == visible.size()) ? avail - used : widthHints_.value(c, 64) * avail / total;
            setColumnWidth(c, qMax(w, 8));
            used += w;
        }
    }
    fitting_ = false;
}

void DataGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    fitColumns();
}

bool DataGrid::findNext(const QString &what)
{
    if (!model() || what.isEmpty())
        return false;
    const int rows = model()->rowCount();
    const int cols = model()->columnCount();
    const int start = currentIndex().isValid() ? currentIndex().row() + 1 : 0;
    for (int k = 0; k < rows; ++k) {
        const int r = (start + k) % rows;
        for (int c = 0; c < cols; ++c) {
            if (isColumnHidden(c))
                continue;
            if (model()->index(r, c).data().toString().contains(what, Qt::CaseInsensitive)) {
                selectRow(r);
                scrollTo(model()->index(r, c));
                return true;
            }
        }
    }
    return false;
}

void DataGrid::showFindDialog()
{
    bool ok = false;
    const QString what = QInputDialog::getText(this, QStringLiteral("查找"), QStringLiteral("查找内容:"),
                                               QLineEdit::Normal, lastFind_, &ok);
    if (!ok || what.isEmpty())
        return;
    lastFind_ = what;
    findNext(what);
}

} // namespace mv
