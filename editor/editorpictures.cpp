#include "editorpictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace mv::editorpictures {

namespace {

const QColor Ink(0x21, 0x5A, 0x89);
const QColor Dark(0x30, 0x30, 0x30);
const QColor Paper(0xFF, 0xFF, 0xFF);
const QColor PaperEdge(0x6A, 0x7F, 0x93);

QPixmap blank(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// A sheet with a folded top-right corner.
void drawPage(QPainter &p, const QRectF &r, const QColor &fill, const QColor &edge, qreal pen = 1.0)
{
    const qreal fold = r.width() * 0.32;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(QPen(edge, pen));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

// A curved arrow; leftwards when toLeft.
void drawCurvedArrow(QPainter &p, const QRectF &r, bool toLeft, const QColor &c, qreal pen)
{
    p.save();
    if (!toLeft) {
        p.translate(r.left() + r.right(), 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(r.right() - r.width() * 0.1, r.bottom());
    arc.cubicTo(r.right() + r.width() * 0.05, r.top() + r.height() * 0.2, r.left() + r.width() * 0.55,
                r.top() + r.height() * 0.1, r.left() + r.width() * 0.25, r.top() + r.height() * 0.42);
    p.setPen(QPen(c, pen, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    const QPointF tip(r.left() + r.width() * 0.12, r.top() + r.height() * 0.55);
    QPolygonF head;
    head << tip << QPointF(tip.x() + r.width() * 0.05, tip.y() - r.height() * 0.42)
         << QPointF(tip.x() + r.width() * 0.42, tip.y() - r.height() * 0.05);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
    p.restore();
}

void drawLines(QPainter &p, const QRectF &r, int count, const QColor &c, const QList<qreal> &starts,
               const QList<qreal> &ends)
{
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::FlatCap));
    const qreal step = r.height() / (count - 1);
    for (int i = 0; i < count; ++i) {
        const qreal y = r.top() + i * step;
        p.drawLine(QPointF(r.left() + starts.value(i) * r.width(), y), QPointF(r.left() + ends.value(i) * r.width(), y));
    }
}

void drawLetter(QPainter &p, const QRectF &r, const QString &letter, bool bold, bool italic, const QColor &c)
{
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPixelSize(int(r.height()));
    f.setBold(bold);
    f.setItalic(italic);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, letter);
}

// Four small colour squares: the palette of the colour buttons.
void drawPalette(QPainter &p, const QRectF &r)
{
    const QColor colours[4] = {QColor(0xE0, 0x30, 0x30), QColor(0x30, 0xA0, 0x30), QColor(0x30, 0x60, 0xE0),
                               QColor(0xF0, 0xC0, 0x20)};
    const qreal w = r.width() / 4;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(colours[i]);
        p.drawRect(QRectF(r.left() + i * w, r.top(), w, r.height()));
    }
}

void drawRecordSymbol(QPainter &p, Record which, const QRectF &r)
{
    const QColor white(Qt::white);
    switch (which) {
    case Record::Add:
        drawPage(p, r.adjusted(r.width() * 0.18, 0, -r.width() * 0.18, 0), white, white.darker(140), 1.2);
        break;
    case Record::Edit: {
        p.setPen(QPen(white, 1.6));
        p.setBrush(Qt::NoBrush);
        const QRectF g = r.adjusted(1, 2, -1, -2);
        p.drawRect(g);
        for (int i = 1; i < 3; ++i) {
            p.drawLine(QPointF(g.left(), g.top() + i * g.height() / 3), QPointF(g.right(), g.top() + i * g.height() / 3));
            p.drawLine(QPointF(g.left() + i * g.width() / 3, g.top()), QPointF(g.left() + i * g.width() / 3, g.bottom()));
        }
        break;
    }
    case Record::Cancel:
        drawCurvedArrow(p, r.adjusted(0, 1, 0, -1), true, white, 2.4);
        break;
    case Record::Delete:
        p.setPen(QPen(white, 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(r.topLeft() + QPointF(2, 2), r.bottomRight() - QPointF(2, 2));
        p.drawLine(r.topRight() + QPointF(-2, 2), r.bottomLeft() + QPointF(2, -2));
        break;
    case Record::Save: {
        const QRectF d = r.adjusted(1, 1, -1, -1);
        p.setPen(QPen(white, 1.4));
        p.setBrush(Qt::NoBrush);
        QPainterPath body;
        body.moveTo(d.topLeft());
        body.lineTo(d.right() - 3, d.top());
        body.lineTo(d.right(), d.top() + 3);
        body.lineTo(d.bottomRight());
        body.lineTo(d.bottomLeft());
        body.closeSubpath();
        p.drawPath(body);
        p.setBrush(white);
        p.drawRect(QRectF(d.left() + d.width() * 0.25, d.top(), d.width() * 0.45, d.height() * 0.3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(d.left() + d.width() * 0.18, d.top() + d.height() * 0.55, d.width() * 0.64,
                          d.height() * 0.45));
        // the arrow into the disk
        p.setPen(QPen(white, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(d.center().x(), d.top() + d.height() * 0.6), QPointF(d.center().x(), d.bottom() - 2));
        p.drawLine(QPointF(d.center().x() - 2.5, d.bottom() - 4.5), QPointF(d.center().x(), d.bottom() - 2));
        p.drawLine(QPointF(d.center().x() + 2.5, d.bottom() - 4.5), QPointF(d.center().x(), d.bottom() - 2));
        break;
    }
    }
}

} // namespace

QPixmap recordPicture(Record which, bool enabled)
{
    const int size = 26;
    QPixmap pm = blank(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(QPointF(size * 0.4, size * 0.35), size * 0.6);
    if (enabled) {
        disc.setColorAt(0, QColor(0x62, 0xA4, 0xD9));
        disc.setColorAt(1, QColor(0x23, 0x5E, 0x8D));
    } else {
        disc.setColorAt(0, QColor(0xC8, 0xC8, 0xC8));
        disc.setColorAt(1, QColor(0x8C, 0x8C, 0x8C));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    drawRecordSymbol(p, which, QRectF(7, 7, size - 14, size - 14));
    return pm;
}

QIcon recordIcon(Record which)
{
    QIcon icon;
    icon.addPixmap(recordPicture(which, true), QIcon::Normal);
    icon.addPixmap(recordPicture(which, true), QIcon::Active);
    icon.addPixmap(recordPicture(which, false), QIcon::Disabled);
    return icon;
}

QPixmap formatPicture(int index)
{
    QPixmap pm = blank(20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all(2, 2, 16, 16);
    switch (index) {
    case 4: { // scissors
        p.setPen(QPen(Dark, 1.4));
        p.drawLine(QPointF(6, 2), QPointF(12.5, 13));
        p.drawLine(QPointF(14, 2), QPointF(7.5, 13));
        p.setPen(QPen(QColor(0xC0, 0x20, 0x20), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3, 12, 5, 5));
        p.drawEllipse(QRectF(12, 12, 5, 5));
        break;
    }
    case 5: // two overlapping pages
        drawPage(p, QRectF(2, 2, 10, 12), Paper, PaperEdge);
        drawPage(p, QRectF(7, 6, 10, 12), Paper, PaperEdge);
        break;
    case 6: // clipboard with a page
        p.setPen(QPen(QColor(0x7A, 0x50, 0x20), 1));
        p.setBrush(QColor(0xC8, 0x90, 0x48));
        p.drawRoundedRect(QRectF(2, 3, 12, 15), 1.5, 1.5);
        p.setBrush(QColor(0xA0, 0xA0, 0xA0));
        p.drawRect(QRectF(5, 1.5, 6, 3));
        drawPage(p, QRectF(8, 7, 10, 12), Paper, PaperEdge);
        break;
    case 7: // black cross
        p.setPen(QPen(Qt::black, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(16, 16));
        p.drawLine(QPointF(16, 4), QPointF(4, 16));
        break;
    case 9: // arrow curving to the left
        drawCurvedArrow(p, QRectF(2, 3, 16, 14), true, Ink, 2.0);
        break;
    case 10: // arrow curving to the right
        drawCurvedArrow(p, QRectF(2, 3, 16, 14), false, Ink, 2.0);
        break;
    case 11: { // the word "all" above three lines
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(8);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Ink);
        p.drawText(QRectF(0, 0, 20, 9), Qt::AlignCenter, QStringLiteral("all"));
        drawLines(p, QRectF(2, 11, 16, 7), 3, Dark, {0, 0, 0}, {1, 1, 1});
        break;
    }
    case 12: { // dotted arrow pointer
        QPolygonF arrow;
        arrow << QPointF(5, 2) << QPointF(5, 16) << QPointF(8.5, 12.5) << QPointF(11, 18) << QPointF(13, 17)
              << QPointF(10.5, 11.5) << QPointF(15, 11.5);
        p.setPen(QPen(Dark, 1.1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(arrow);
        break;
    }
    case 15: { // numbered list
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(6);
        p.setFont(f);
        p.setPen(Ink);
        for (int i = 0; i < 3; ++i)
            p.drawText(QRectF(1, 2 + i * 6, 5, 6), Qt::AlignCenter, QString::number(i + 1));
        drawLines(p, QRectF(2, 5, 16, 12), 3, Dark, {0.35, 0.35, 0.35}, {1, 1, 1});
        break;
    }
    case 16:
        drawLetter(p, all, QStringLiteral("B"), true, false, Dark);
        break;
    case 17:
        drawLetter(p, all, QStringLiteral("I"), false, true, Dark);
        break;
    case 18:
        drawLetter(p, QRectF(2, 1, 16, 15), QStringLiteral("U"), false, false, Dark);
        p.setPen(QPen(Dark, 1.4));
        p.drawLine(QPointF(5, 17.5), QPointF(15, 17.5));
        break;
    case 19: // T with a palette: text colour
        drawLetter(p, QRectF(2, 0, 16, 14), QStringLiteral("T"), true, false, Dark);
        drawPalette(p, QRectF(2, 15, 16, 4));
        break;
    case 20: // B with a palette: background colour
        drawLetter(p, QRectF(2, 0, 16, 14), QStringLiteral("B"), true, false, Dark);
        drawPalette(p, QRectF(2, 15, 16, 4));
        break;
    case 21: // justified
        drawLines(p, QRectF(2, 3, 16, 14), 5, Dark, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1});
        break;
    case 22: // flush left
        drawLines(p, QRectF(2, 3, 16, 14), 5, Dark, {0, 0, 0, 0, 0}, {1, 0.6, 0.85, 0.5, 0.75});
        break;
    case 23: // centred
        drawLines(p, QRectF(2, 3, 16, 14), 5, Dark, {0, 0.2, 0.08, 0.25, 0.12}, {1, 0.8, 0.92, 0.75, 0.88});
        break;
    case 24: // flush right
        drawLines(p, QRectF(2, 3, 16, 14), 5, Dark, {0, 0.4, 0.15, 0.5, 0.25}, {1, 1, 1, 1, 1});
        break;
    case 25: { // printer
        p.setPen(QPen(Dark, 1));
        drawPage(p, QRectF(5, 1, 10, 7), Paper, PaperEdge);
        p.setPen(QPen(Dark, 1));
        p.setBrush(QColor(0xB8, 0xC4, 0xD0));
        p.drawRoundedRect(QRectF(1.5, 7, 17, 7.5), 1.5, 1.5);
        p.setBrush(Paper);
        p.drawRect(QRectF(5, 12, 10, 6.5));
        p.setBrush(QColor(0x30, 0xB0, 0x30));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(15, 8.5, 2, 2));
        break;
    }
    case 26: // magnifier over a page
        drawPage(p, QRectF(2, 1, 12, 16), Paper, PaperEdge);
        p.setPen(QPen(Ink, 1.6));
        p.setBrush(QColor(0xDA, 0xEF, 0xF5, 200));
        p.drawEllipse(QRectF(8, 8, 7, 7));
        p.setPen(QPen(Ink, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 14), QPointF(18, 18));
        break;
    case 27: { // a picture with a small flag
        p.setPen(QPen(PaperEdge, 1));
        p.setBrush(QColor(0xCF, 0xE8, 0xFA));
        p.drawRect(QRectF(1.5, 4.5, 15, 13));
        QPolygonF hill;
        hill << QPointF(2, 17) << QPointF(7, 10) << QPointF(10, 14) << QPointF(12.5, 11.5) << QPointF(16, 17);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3C, 0x9A, 0x3C));
        p.drawPolygon(hill);
        p.setBrush(QColor(0xF0, 0xC0, 0x20));
        p.drawEllipse(QRectF(4, 6.5, 3, 3));
        p.setPen(QPen(Dark, 1));
        p.drawLine(QPointF(15, 1), QPointF(15, 9));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xD0, 0x20, 0x20));
        QPolygonF flag;
        flag << QPointF(15, 1) << QPointF(19.5, 2.8) << QPointF(15, 4.6);
        p.drawPolygon(flag);
        break;
    }
    default:
        break;
    }
    return pm;
}

} // namespace mv::editorpictures
