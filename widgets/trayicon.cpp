#include "trayicon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace mv {

namespace {
std::optional<bool> &overrideStore()
{
    static std::optional<bool> value;
    return value;
}
} // namespace

TrayIcon::TrayIcon(QObject *parent) : QObject(parent), icon_(new QSystemTrayIcon(this))
{
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick)
            emit doubleClicked();
    });
    connect(icon_, &QSystemTrayIcon::messageClicked, this, &TrayIcon::balloonClicked);
}

TrayIcon::~TrayIcon()
{
    icon_->hide();
}

void TrayIcon::setIcon(const QIcon &icon)
{
    icon_->setIcon(icon);
}

void TrayIcon::setHint(const QString &hint)
{
    hint_ = hint;
    icon_->setToolTip(hint);
}

void TrayIcon::setPopupMenu(QMenu *menu)
{
    icon_->setContextMenu(menu);
}

QMenu *TrayIcon::popupMenu() const
{
    return icon_->contextMenu();
}

void TrayIcon::setIconVisible(bool visible)
{
    visible_ = visible;
    icon_->setVisible(visible);
}

void TrayIcon::showBalloon(const QString &title, const QString &text, BalloonKind kind, int timeoutSeconds)
{
    last_ = {title, text, kind, timeoutSeconds * 1000};
    ++balloons_;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    switch (kind) {
    case BalloonKind::None:
        break;
    case BalloonKind::Info:
        icon = QSystemTrayIcon::Information;
        break;
    case BalloonKind::Warning:
        icon = QSystemTrayIcon::Warning;
        break;
    case BalloonKind::Error:
        icon = QSystemTrayIcon::Critical;
        break;
    }
    // A new message replaces the one showing.
    icon_->showMessage(title, text, icon, timeoutSeconds * 1000);
}

bool TrayIcon::available()
{
    if (overrideStore())
        return *overrideStore();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setAvailableOverride(std::optional<bool> available)
{
    overrideStore() = available;
}

} // namespace mv
