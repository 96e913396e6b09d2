#pragma once

class QLabel;
class QWidget;

namespace mv {

class GradientPanel;

// The header the windows share: a panel of the given height painted with the
// house gradient (#235E8D to #62A4D9), named RzPanel1, holding the 283 x 57
// banner picture, named Image1, at its left edge.
GradientPanel *createBannerPanel(QWidget *parent, QLabel **image, int height = 57);

} // namespace mv
