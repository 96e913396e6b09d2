#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace mv::pictures {

namespace {

// A stack of two sheets with a folded corner: the program's mark. The same
// shapes are painted (windows, tray) and written as SVG (the installed icon).
struct MarkPart {
    QPainterPath path;
    QColor fill; // invalid: lines only
};

struct Mark {
    QList<MarkPart> parts; // back to front
    QColor line;
    qreal lineWidth;
};

Mark documentMark(const QRectF &box, const QColor &sheet, const QColor &line)
{
    Mark mark{{}, line, qMax<qreal>(1.0, box.width() / 24)};
    const qreal w = box.width() * 0.62;
    const qreal h = box.height() * 0.78;
    const qreal fold = w * 0.3;
    for (int k = 1; k >= 0; --k) {
        const QPointF o(box.left() + box.width() * 0.12 + k * box.width() * 0.14,
                        box.top() + box.height() * 0.06 + k * box.height() * 0.1);
        QPainterPath outline;
        outline.moveTo(o);
        outline.lineTo(o.x() + w - fold, o.y());
        outline.lineTo(o.x() + w, o.y() + fold);
        outline.lineTo(o.x() + w, o.y() + h);
        outline.lineTo(o.x(), o.y() + h);
        outline.closeSubpath();
        mark.parts.append({outline, k == 0 ? sheet : sheet.darker(112)});
        if (k == 0) {
            QPainterPath lines;
            lines.moveTo(o.x() + w - fold, o.y());
            lines.lineTo(o.x() + w - fold, o.y() + fold);
            lines.moveTo(o.x() + w - fold, o.y() + fold);
            lines.lineTo(o.x() + w, o.y() + fold);
            for (int i = 1; i <= 3; ++i) {
                const qreal y = o.y() + fold + i * (h - fold) / 4.5;
                lines.moveTo(o.x() + w * 0.15, y);
                lines.lineTo(o.x() + w * 0.85, y);
            }
            mark.parts.append({lines, QColor()});
        }
    }
    return mark;
}

void drawDocumentMark(QPainter &p, const QRectF &box, const QColor &sheet, const QColor &line)
{
    const Mark mark = documentMark(box, sheet, line);
    p.setPen(QPen(mark.line, mark.lineWidth));
    for (const MarkPart &part : mark.parts) {
        p.setBrush(part.fill.isValid() ? QBrush(part.fill) : QBrush(Qt::NoBrush));
        p.drawPath(part.path);
    }
}

const QColor ProgramSheet(0xF2, 0xF8, 0xFB);
const QColor ProgramLine(0x23, 0x5E, 0x8D);

} // namespace

QPixmap banner()
{
    QPixmap pm(283, 57);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 283, 0);
    g.setColorAt(0, QColor(0x23, 0x5E, 0x8D));
    g.setColorAt(1, QColor(0x3F, 0x7F, 0xB6));
    p.fillRect(pm.rect(), g);
    drawDocumentMark(p, QRectF(8, 6, 44, 46), QColor(0xF2, 0xF8, 0xFB), QColor(0x21, 0x5A, 0x89));
    QFont title(QStringLiteral("Noto Sans CJK SC"));
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(60, 4, 220, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Morvane资料系统"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(11);
    p.setFont(sub);
    p.setPen(QColor(0xDA, 0xEF, 0xF5));
    p.drawText(QRect(62, 34, 220, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Document Centre  V1.0"));
    return pm;
}

QPixmap searchGlyph()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x21, 0x5A, 0x89), 2));
    p.setBrush(QColor(0xDA, 0xEF, 0xF5));
    p.drawEllipse(QRectF(2, 2, 8.5, 8.5));
    p.setPen(QPen(QColor(0x21, 0x5A, 0x89), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
    return pm;
}

QPixmap aboutGlyph()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x23, 0x5E, 0x8D));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
    p.drawRect(QRectF(7, 7, 2.2, 5.5));
    return pm;
}

QImage programImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawDocumentMark(p, QRectF(0, 0, size, size), ProgramSheet, ProgramLine);
    return image;
}

QPixmap programPicture(int size)
{
    return QPixmap::fromImage(programImage(size));
}

QByteArray programSvg(int size)
{
    // Qt's pen: square caps, bevelled joins.
    const Mark mark = documentMark(QRectF(0, 0, size, size), ProgramSheet, ProgramLine);
    const auto number = [](qreal v) { return QByteArray::number(v, 'g', 6); };
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
                     + QByteArray::number(size) + "\" height=\"" + QByteArray::number(size) + "\" viewBox=\"0 0 "
                     + QByteArray::number(size) + ' ' + QByteArray::number(size) + "\">\n";
    for (const MarkPart &part : mark.parts) {
        QByteArray d;
        for (int i = 0; i < part.path.elementCount(); ++i) {
            const QPainterPath::Element e = part.path.elementAt(i);
            d += (e.isMoveTo() ? "M" : "L") + number(e.x) + ' ' + number(e.y) + ' ';
        }
        if (part.fill.isValid())
            d += 'Z';
        svg += "  <path d=\"" + d.trimmed() + "\" fill=\""
               + (part.fill.isValid() ? part.fill.name().toLatin1() : QByteArray("none")) + "\" stroke=\""
               + mark.line.name().toLatin1() + "\" stroke-width=\"" + number(mark.lineWidth)
               + "\" stroke-linecap=\"square\" stroke-linejoin=\"bevel\"/>\n";
    }
    return svg + "</svg>\n";
}

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(programPicture(16));
    icon.addPixmap(programPicture(32));
    return icon;
}

} // namespace mv::pictures
