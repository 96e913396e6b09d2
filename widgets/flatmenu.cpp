#include "flatmenu.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace mv {

namespace {

constexpr int IconColumn = 24;
const QColor ColumnColor(0xEE, 0xF3, 0xF8);
const QColor BorderColor(0x88, 0xB5, 0xE1);
const QColor SeparatorColor(0xC5, 0xD2, 0xDE);

class FlatMenuStyle : public QProxyStyle
{
public:
    FlatMenuStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

    int pixelMetric(PixelMetric m, const QStyleOption *o, const QWidget *w) const override
    {
        switch (m) {
        case PM_MenuPanelWidth:
            return 1;
        case PM_MenuHMargin:
        case PM_MenuVMargin:
            return 1;
        case PM_SmallIconSize:
            return 16;
        default:
            return QProxyStyle::pixelMetric(m, o, w);
        }
    }

    QSize sizeFromContents(ContentsType t, const QStyleOption *o, const QSize &s, const QWidget *w) const override
    {
        if (t == CT_MenuItem) {
            const auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(o);
            if (mi && mi->menuItemType == QStyleOptionMenuItem::Separator)
                return {s.width(), 5};
            const QFontMetrics fm(mi ? mi->font : QFont());
            QString text = mi ? mi->text : QString();
            text.remove(QLatin1Char('&'));
            return {IconColumn + 8 + fm.horizontalAdvance(text) + 24, qMax(fm.height() + 6, 20)};
        }
        return QProxyStyle::sizeFromContents(t, o, s, w);
    }

    void drawPrimitive(PrimitiveElement pe, const QStyleOption *o, QPainter *p, const QWidget *w) const override
    {
        if (pe == PE_FrameMenu || pe == PE_PanelMenu) {
            p->save();
            p->fillRect(o->rect, Qt::white);
            p->fillRect(QRect(o->rect.left(), o->rect.top(), IconColumn + 1, o->rect.height()), ColumnColor);
            if (pe == PE_FrameMenu) {
                p->setPen(BorderColor);
                p->drawRect(o->rect.adjusted(0, 0, -1, -1));
            }
            p->restore();
            return;
        }
        QProxyStyle::drawPrimitive(pe, o, p, w);
    }

    void drawControl(ControlElement ce, const QStyleOption *o, QPainter *p, const QWidget *w) const override
    {
        if (ce == CE_MenuEmptyArea) {
            p->fillRect(o->rect, Qt::white);
            p->fillRect(QRect(o->rect.left(), o->rect.top(), IconColumn, o->rect.height()), ColumnColor);
            return;
        }
        if (ce != CE_MenuItem) {
            QProxyStyle::drawControl(ce, o, p, w);
            return;
        }
        const auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(o);
        if (!mi)
            return;
        p->save();
        const QRect r = mi->rect;
        p->fillRect(r, Qt::white);
        p->fillRect(QRect(r.left(), r.top(), IconColumn, r.height()), ColumnColor);
        if (mi->menuItemType == QStyleOptionMenuItem::Separator) {
            p->setPen(SeparatorColor);
            const int y = r.center().y();
            p->drawLine(r.left() + IconColumn + 4, y, r.right() - 2, y);
            p->restore();
            return;
        }
        const bool selected = (mi->state & State_Selected) && (mi->state & State_Enabled);
        if (selected)
            p->fillRect(r.adjusted(1, 0, -1, 0), mi->palette.color(QPalette::Highlight));
        if (!mi->icon.isNull()) {
            const QPixmap pm = mi->icon.pixmap(16, 16, (mi->state & State_Enabled) ? QIcon::Normal : QIcon::Disabled);
            p->drawPixmap(r.left() + (IconColumn - 16) / 2, r.top() + (r.height() - 16) / 2, pm);
        }
        QFont f = mi->font;
        if (mi->menuItemType == QStyleOptionMenuItem::DefaultItem)
            f.setBold(true);
        p->setFont(f);
        QColor text = mi->palette.color(QPalette::Text);
        if (!(mi->state & State_Enabled))
            text = mi->palette.color(QPalette::Disabled, QPalette::Text);
        else if (selected)
            text = mi->palette.color(QPalette::HighlightedText);
        p->setPen(text);
        QString caption = mi->text;
        QString shortcut;
        const qsizetype tab = caption.indexOf(QLatin1Char('\t'));
        if (tab >= 0) {
            shortcut = caption.mid(tab + 1);
            caption.truncate(tab);
        }
        const QRect tr = r.adjusted(IconColumn + 6, 0, -6, 0);
        p->drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine, caption);
        if (!shortcut.isEmpty())
            p->drawText(tr, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, shortcut);
        p->restore();
    }
};

QStyle *flatMenuStyle()
{
    static FlatMenuStyle *style = new FlatMenuStyle;
    return style;
}

} // namespace

FlatMenu::FlatMenu(QWidget *parent) : QMenu(parent)
{
    setStyle(flatMenuStyle());
    setFont(QFont(QStringLiteral("Tahoma"), 8));
}

QAction *FlatMenu::addItem(const QString &objectName, const QString &caption)
{
    QAction *a = addAction(caption);
    a->setObjectName(objectName);
    return a;
}

QAction *FlatMenu::addSeparatorItem(const QString &objectName)
{
    QAction *a = addSeparator();
    a->setObjectName(objectName);
    return a;
}

} // namespace mv
