#pragma once

#include <QColor>
#include <QWidget>

namespace mv {

// A borderless panel painted with a horizontal colour gradient, with an
// optional caption at its left edge, vertically centred.
class GradientPanel : public QWidget
{
    Q_OBJECT
public:
    explicit GradientPanel(QWidget *parent = nullptr);

    void setGradient(const QColor &start, const QColor &stop);
    QColor gradientStart() const { return start_; }
    QColor gradientStop() const { return stop_; }
    // The colour children use for "the panel's colour".
    QColor panelColor() const;

    void setCaption(const QString &caption);
    QString caption() const { return caption_; }
    void setCaptionColor(const QColor &c);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor start_;
    QColor stop_;
    QColor captionColor_;
    QString caption_;
};

// A rectangle outline drawn around its contents (no fill).
class FrameShape : public QWidget
{
    Q_OBJECT
public:
    explicit FrameShape(const QColor &outline, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor outline_;
};

} // namespace mv
