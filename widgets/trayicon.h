#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace mv {

// The notification-area icon: visibility, tip, menu, balloon, and the two
// mouse events the windows use (a double click and a click on a balloon).
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    enum class BalloonKind { None, Info, Warning, Error };
    struct Balloon {
        QString title;
        QString text;
        BalloonKind kind = BalloonKind::None;
        int timeoutMs = 0;
    };

    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    void setIcon(const QIcon &icon);
    void setHint(const QString &hint);
    QString hint() const { return hint_; }
    void setPopupMenu(QMenu *menu);
    // The menu the icon opens on a right click.
    QMenu *popupMenu() const;

    void setIconVisible(bool visible);
    bool iconVisible() const { return visible_; }

    // Removes a balloon that is showing, then shows this one.
    void showBalloon(const QString &title, const QString &text, BalloonKind kind, int timeoutSeconds);
    // The last balloon requested, and how many were (for tests).
    Balloon lastBalloon() const { return last_; }
    int balloonCount() const { return balloons_; }

    // Whether the desktop has a notification area at all.
    static bool available();
    // Tests decide it instead of the desktop; nullopt asks the desktop again.
    static void setAvailableOverride(std::optional<bool> available);

signals:
    void doubleClicked();
    void balloonClicked();

private:
    QSystemTrayIcon *icon_;
    QString hint_;
    bool visible_ = false;
    Balloon last_;
    int balloons_ = 0;
};

} // namespace mv
