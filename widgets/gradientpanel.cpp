#include "gradientpanel.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>

namespace mv {

GradientPanel::GradientPanel(QWidget *parent)
    : QWidget(parent), start_(Qt::white), stop_(QApplication::palette().color(QPalette::Button)),
      captionColor_(QApplication::palette().color(QPalette::WindowText))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::setGradient(const QColor &start, const QColor &stop)
{
    start_ = start;
    stop_ = stop;
    update();
}

QColor GradientPanel::panelColor() const
{
    return stop_;
}

void GradientPanel::setCaption(const QString &caption)
{
    caption_ = caption;
    update();
}

void GradientPanel::setCaptionColor(const QColor &c)
{
    captionColor_ = c;
    update();
}

void GradientPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QLinearGradient g(0, 0, width(), 0);
    g.setColorAt(0, start_);
    g.setColorAt(1, stop_);
    p.fillRect(rect(), g);
    if (!caption_.isEmpty()) {
        p.setPen(captionColor_);
        p.setFont(font());
        p.drawText(rect().adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
    }
}

FrameShape::FrameShape(const QColor &outline, QWidget *parent) : QWidget(parent), outline_(outline)
{
}

void FrameShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(outline_);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace mv
