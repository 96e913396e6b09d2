// A small window around the editing surface: a toolbar with the formatting
// commands, and the document's BODY HTML shown on demand.
#include "uHtmlEdit.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolBar>

#include <exception>

namespace {

class DemoApplication : public QApplication
{
public:
    using QApplication::QApplication;

    // Errors reach the user as a message box and the program goes on.
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            QMessageBox::critical(nullptr, applicationName(), QString::fromUtf8(e.what()));
        }
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    DemoApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("htmledit-demo"));

    QMainWindow window;
    auto *splitter = new QSplitter(Qt::Vertical, &window);
    auto *edit = new THtmlEdit(splitter);
    auto *source = new QPlainTextEdit(splitter);
    source->setReadOnly(true);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    window.setCentralWidget(splitter);

    TEditCommander *cmd = edit->Commander();
    QToolBar *bar = window.addToolBar(QStringLiteral("Format"));
    bar->addAction(QStringLiteral("New"), edit, &THtmlEdit::NewDocument);
    bar->addAction(QStringLiteral("B"), [cmd] { cmd->Bold(); });
    bar->addAction(QStringLiteral("I"), [cmd] { cmd->Italic(); });
    bar->addAction(QStringLiteral("U"), [cmd] { cmd->Underline(); });
    bar->addAction(QStringLiteral("Centre"), [cmd] { cmd->JustifyCenter(); });
    bar->addAction(QStringLiteral("List"), [cmd] { cmd->InsertOrderedList(); });
    bar->addAction(QStringLiteral("Size 5"), [cmd] { cmd->FontSize(5); });
    bar->addAction(QStringLiteral("Colour"), [cmd, &window] {
        const QColor c = QColorDialog::getColor(Qt::red, &window);
        if (c.isValid())
            cmd->ForeColor(c.red() | (c.green() << 8) | (c.blue() << 16));
    });
    bar->addAction(QStringLiteral("Picture"), [cmd, &window] {
        const QString file = QFileDialog::getOpenFileName(
            &window, QString(), QString(), QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.bmp)"));
        if (!file.isEmpty())
            cmd->InsertImage(file);
    });
    bar->addAction(QStringLiteral("Read only"), [edit] { edit->setReadOnly(!edit->ReadOnly()); });
    bar->addAction(QStringLiteral("Preview"), edit, &THtmlEdit::PrintPreview);
    bar->addAction(QStringLiteral("Show HTML"), [edit, source] { source->setPlainText(edit->HTML()); });

    edit->setHTML(QStringLiteral("<p>Type here.</p>"));
    window.resize(800, 600);
    window.show();
    edit->SetFocus();
    return app.exec();
}
