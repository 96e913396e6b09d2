// A bare Qt Widgets program: one empty window of the main window's size.
// Prints "SHOWN" at its first paint and ends. With --caption the window
// paints one line of Chinese text: the least any window of ours costs for
// its fonts.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {
class Window : public QWidget
{
public:
    bool caption = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (caption) {
            QPainter p(this);
            p.drawText(10, 20, QStringLiteral("文档中心 Document Centre"));
        }
        if (shown_)
            return;
        shown_ = true;
        std::puts("SHOWN");
        std::fflush(stdout);
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    }

private:
    bool shown_ = false;
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Window w;
    w.caption = argc > 1 && qstrcmp(argv[1], "--caption") == 0;
    w.resize(781, 568);
    w.show();
    return app.exec();
}
