#pragma once

#include <QColor>
#include <QFont>
#include <QTableView>

#include <functional>

namespace mv {

// A read-only, whole-row grid: alternating row colours, cells drawn through
// a hook of the owner, visible columns stretched to fill the width, and a
// find dialog (Ctrl+F) over the rows.
class DataGrid : public QTableView
{
    Q_OBJECT
public:
    // What one data cell is about to be drawn with; a draw hook may change it.
    struct Cell {
        QRect rect;
        bool selected = false;
        QColor background;
        QColor textColor;
        QFont font;
        QString text;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    };
    using DrawHook = std::function<void(QPainter *, Cell &, const QModelIndex &)>;

    explicit DataGrid(QWidget *parent = nullptr);

    void setRowColors(const QColor &even, const QColor &odd);
    void setDrawColumnCell(DrawHook hook) { hook_ = std::move(hook); }
    // The grid's normal drawing of a cell.
    void defaultDrawColumnCell(QPainter *p, const Cell &cell) const;

    // Widths at full scale; visible columns keep these proportions.
    void setColumnWidthHint(int column, int width);
    void fitColumns();

    // Selects the next row (after the current one, wrapping) whose visible
    // text contains what; false when none does.
    bool findNext(const QString &what);

    QColor evenRowColor() const { return even_; }
    QColor oddRowColor() const { return odd_; }

public slots:
    void showFindDialog();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class DataGridDelegate;
    QColor even_;
    QColor odd_;
    DrawHook hook_;
    QHash<int, int> widthHints_;
    bool fitting_ = false;
    QString lastFind_;
};

} // namespace mv
