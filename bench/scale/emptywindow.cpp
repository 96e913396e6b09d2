// A bare Qt Widgets program: one empty window of the main window's size.
// Prints "SHOWN" at its first paint and ends.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {
class Window : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
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
    w.resize(781, 568);
    w.show();
    return app.exec();
}
