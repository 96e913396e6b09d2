// The program's windows on the web engine come from a plugin loaded after
// start-up: this test program is built as the program is (it does not link
// the engine) and loads the real plugin.

#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "dialogs.h"
#include "modalwatch.h"
#include "mvapplication.h"
#include "documentquery.h"
#include "testdb.h"
#include "treeview.h"
#include "windowsloader.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidgetItemIterator>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

bool engineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

} // namespace

class TestWindowsModule : public QObject
{
    Q_OBJECT

    std::unique_ptr<mvtest::TestDb> db_;
    std::unique_ptr<TfmDocumentList> w_;

    TfmDocumentList &open()
    {
        db_ = std::make_unique<mvtest::TestDb>(false);
        db_->exec({"insert into type values (4, 0, 'Top')"});
        mvlabDm = new TmvlabDm(db_->path());
        w_ = std::make_unique<TfmDocumentList>(mvlabDm, nullptr, TfmDocumentList::TreeLoading::AfterFirstPaint);
        mv::connectProgramCommands(w_.get());
        w_->show();
        return *w_;
    }

private slots:
    void cleanup()
    {
        mvtest::dropModalWatchers();
        w_.reset();
        delete mvlabDm;
        mvlabDm = nullptr;
        db_.reset();
    }

    // Runs first: once loaded, the module stays.
    void aModuleThatCannotBeLoadedIsReported_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral(MV_BUILD_DIR "/no-such-module") << QStringLiteral("no-such-module");
        // Refused from what its file says, before any of its code runs.
        QTest::newRow("another version")
            << QStringLiteral(MV_BUILD_DIR "/tests/mvmismatchedmodule") << QStringLiteral("0.9.0-elsewhere");
    }

    void aModuleThatCannotBeLoadedIsReported()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        mv::WindowsModule::setPath(path);
        TfmDocumentList &w = open();
        mv::DialogRecorder boxes;
        emit w.commandRequested(QStringLiteral("N7"), QStringLiteral("4-Add-Top"));
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes()[0].kind, mv::Dialogs::Kind::Error);
        QVERIFY2(boxes.boxes()[0].text.startsWith(QStringLiteral("编辑窗口的模块无法载入，无法打开该窗口：")),
                 qPrintable(boxes.boxes()[0].text));
        QVERIFY2(boxes.boxes()[0].text.contains(reason), qPrintable(boxes.boxes()[0].text));
        QVERIFY(!mv::WindowsModule::isLoaded());
        QVERIFY(!engineLoaded());
        QVERIFY(qEnvironmentVariableIsEmpty("MV_MISMATCHED_PLUGIN_LOADED"));
        QVERIFY(w.isVisible());
    }

    // The category dialogs are the program's own: without the plugin they
    // open, and the tree shows what they changed.
    void categoryDialogsOpenWithoutThePlugin_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("add") << "N1" << "Add-4-4 Top" << QStringList{"4 Top", "5 新的"};
        QTest::newRow("rename") << "N2" << "Edit-4-4 Top" << QStringList{"4 新的"};
    }

    void categoryDialogsOpenWithoutThePlugin()
    {
        QFETCH(QString, command);
        QFETCH(QString, argument);
        QFETCH(QStringList, tree);
        mv::WindowsModule::setPath(QStringLiteral(MV_BUILD_DIR "/no-such-module"));
        TfmDocumentList &w = open();
        QSignalSpy created(&w, &TfmDocumentList::created);
        QVERIFY(created.wait(10000));
        mv::DialogRecorder boxes;
        bool sawDialog = false;
        mvtest::onNextModal<QDialog>([&](QDialog *d) {
            sawDialog = true;
            d->findChild<QLineEdit *>(QStringLiteral("Edit2"))->setText(QStringLiteral("新的"));
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
        });
        emit w.commandRequested(command, argument);
        QVERIFY(sawDialog);
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
        QStringList captions;
        for (QTreeWidgetItemIterator it(w.RzTreeView1); *it; ++it)
            captions << (*it)->text(0);
        QCOMPARE(captions, tree);
        QVERIFY(!mv::WindowsModule::isLoaded());
        QVERIFY(!engineLoaded());
    }

    // The engine is not there while the window comes up; the module follows
    // the tree, and its editor works on the program's own data module.
    void loadedAfterTheTreeAndWorksOnTheProgramsData()
    {
        mv::WindowsModule::setPath(QStringLiteral(MV_BUILD_DIR "/mvwebwindows"));
        // The engine is set up as if it had been there from the start.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("initialized from a plugin|AA_ShareOpenGLContexts")));
        TfmDocumentList &w = open();
        QSignalSpy created(&w, &TfmDocumentList::created);
        QVERIFY(created.wait(10000));
        QCOMPARE(w.RzTreeView1->topLevelItemCount(), 1);
        QVERIFY(!engineLoaded());
        QTRY_VERIFY_WITH_TIMEOUT(mv::WindowsModule::isLoaded(), 10000);
        QVERIFY(engineLoaded());

        mv::DialogRecorder boxes;
        bool sawEditor = false;
        mvtest::onNextModal<QDialog>([&](QDialog *d) {
            if (qstrcmp(d->metaObject()->className(), "TfmTemp") != 0)
                return;
            sawEditor = true;
            d->findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(QStringLiteral("模块里写的"));
            d->findChild<QToolButton *>(QStringLiteral("sbSave"))->click();
            d->reject();
        });
        emit w.commandRequested(QStringLiteral("N7"), QStringLiteral("4-Add-Top"));
        QVERIFY(sawEditor);
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes()[0].kind, mv::Dialogs::Kind::Info);
        QCOMPARE(db_->rows("select title, typeid from documents"), QStringList{"模块里写的|4"});
        // The program's own window lists it.
        w.RzTreeView1->setCurrentItem(w.RzTreeView1->topLevelItem(0));
        w.RzTreeView1Click();
        QCOMPARE(w.IBQueryDocument->rowCount(), 1);
    }
};

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0"));
    TestWindowsModule t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_windowsmodule.moc"
