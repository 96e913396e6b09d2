#include "bannerpanel.h"

#include "gradientpanel.h"
#include "pictures.h"

#include <QLabel>

namespace mv {

GradientPanel *createBannerPanel(QWidget *parent, QLabel **image, int height)
{
    auto *panel = new GradientPanel(parent);
    panel->setObjectName(QStringLiteral("RzPanel1"));
    panel->setGradient(QColor(0x23, 0x5E, 0x8D), QColor(0x62, 0xA4, 0xD9));
    panel->setFixedHeight(height);
    auto *banner = new QLabel(panel);
    banner->setObjectName(QStringLiteral("Image1"));
    banner->setPixmap(pictures::banner());
    banner->setGeometry(0, 0, 283, 57);
    if (image)
        *image = banner;
    return panel;
}

} // namespace mv
