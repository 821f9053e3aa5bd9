// The Options dialog, the folders it stores as the main window reads them, and the save
// dialog's "Include custom blocks" box.
#include "MainApp.h"
#include "MainWindow.h"
#include "ModalDriver.h"
#include "Preferences.h"
#include "PreferencesWindow.h"
#include "SaveWindow.h"
#include "StartWindow.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

namespace {

// Holds argv for the lifetime of an application object.
struct Args
{
    Args()
    {
        storage = "Knotlattice";
        pointers = {storage.data(), nullptr};
    }
    QByteArray storage;
    std::vector<char*> pointers;
    int argc = 1;
};

// Every key with its value, for telling that nothing was written.
QStringList settingsDump()
{
    QSettings settings;
    QStringList out;
    for (const QString& key : settings.allKeys())
        out << key + "=" + settings.value(key).toString();
    out.sort();
    return out;
}

// Answers a folder dialog by choosing `folder` in it.
std::function<void(QWidget*)> chooseFolder(const QString& folder, QString* title,
                                           QString* startedIn)
{
    return [=](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog) {
            w->close();
            return;
        }
        *title = dialog->windowTitle();
        if (startedIn->isEmpty())
            *startedIn = dialog->directory().absolutePath();
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QVERIFY(!dialog->parent());
        const QDir parent = QFileInfo(folder).absoluteDir();
        dialog->setDirectory(parent);
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(folder).fileName());
        static_cast<QDialog*>(dialog)->accept();
    };
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void freshInstallation();
    void showsStoredValues();
    void cancelWritesNothing();
    void folderButtons_data();
    void folderButtons();
    void saveStoresAsTyped();
    void clearedBoxesSkipStartWindow();
    void patchFolderForDialogs_data();
    void patchFolderForDialogs();
    void saveWindowBox_data();
    void saveWindowBox();

private:
    // A start of the editor without arguments, as from the desktop.
    MainWindow* launch();
    // Opens Options from the window's action; `script` runs on the dialog once it shows.
    void runOptions(MainWindow* window, const std::function<void(PreferencesWindow*)>& script);

    std::unique_ptr<TempProgramDir> program;
    Args args;
    std::unique_ptr<MainApp> app;
};

void TestPreferences::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
}

void TestPreferences::cleanup()
{
    app.reset();
    program.reset();
}

MainWindow* TestPreferences::launch()
{
    app.reset();
    app = std::make_unique<MainApp>(args.argc, args.pointers.data());
    return app->mainWindow();
}

void TestPreferences::runOptions(MainWindow* window,
                                 const std::function<void(PreferencesWindow*)>& script)
{
    ModalDriver driver;
    QPointer<PreferencesWindow> seen;
    driver.answer([&](QWidget* w) {
        seen = qobject_cast<PreferencesWindow*>(w);
        if (!seen) {
            w->close();
            return;
        }
        script(seen);
    });
    window->getAction("options")->trigger();
    QVERIFY(driver.unexpected().isEmpty());
    QCOMPARE(driver.pending(), 0);
    QVERIFY(seen.isNull()); // gone once closed, and deleted only once
}

void TestPreferences::freshInstallation()
{
    bool checked = false;
    runOptions(launch(), [&](PreferencesWindow* options) {
        QCOMPARE(options->windowTitle(), QStringLiteral("Options"));
        QCOMPARE(options->size(), QSize(600, 150));
        QVERIFY(options->isModal());
        QCOMPARE(options->customBlocksEdit()->text(), QString());
        QCOMPARE(options->defaultPatchEdit()->text(), QString());
        QVERIFY(options->displayCharactersBox()->isChecked());
        QVERIFY(options->showStartWindowBox()->isChecked());
        QCOMPARE(options->displayCharactersBox()->text(),
                 QStringLiteral("Display math block names as characters"));
        QCOMPARE(options->showStartWindowBox()->text(),
                 QStringLiteral("Show Start Window at application launch"));

        // The grid: two folder rows, two boxes, then Save and Cancel at the right.
        auto* grid = qobject_cast<QGridLayout*>(options->layout());
        QVERIFY(grid);
        auto at = [grid](int row, int column) {
            QLayoutItem* item = grid->itemAtPosition(row, column);
            return item ? item->widget() : nullptr;
        };
        QCOMPARE(qobject_cast<QLabel*>(at(0, 0))->text(),
                 QStringLiteral("Path to custom blocks location:"));
        QCOMPARE(at(0, 1), options->customBlocksEdit());
        QCOMPARE(at(0, 2), options->customBlocksEdit());
        QCOMPARE(at(0, 3), options->customBlocksButton());
        QCOMPARE(qobject_cast<QLabel*>(at(1, 0))->text(),
                 QStringLiteral("Default patch open/save location:"));
        QCOMPARE(at(1, 3), options->defaultPatchButton());
        QCOMPARE(options->defaultPatchButton()->text(), QStringLiteral("..."));
        QCOMPARE(at(2, 0), options->displayCharactersBox());
        QCOMPARE(at(3, 0), options->showStartWindowBox());
        QCOMPARE(at(4, 2), options->saveButton());
        QCOMPARE(at(4, 3), options->cancelButton());
        QCOMPARE(options->saveButton()->text(), QStringLiteral("Save"));
        QCOMPARE(options->cancelButton()->text(), QStringLiteral("Cancel"));
        checked = true;
        options->cancelButton()->click();
    });
    QVERIFY(checked);
}

void TestPreferences::showsStoredValues()
{
    QSettings().setValue(Preferences::CustomBlocksPath, "/blocks/mine");
    QSettings().setValue(Preferences::DefaultPatchPath, "/patches");
    QSettings().setValue(Preferences::DisplayCharacters, false);
    QSettings().setValue(Preferences::ShowStartWindow, true);
    runOptions(launch(), [](PreferencesWindow* options) {
        QCOMPARE(options->customBlocksEdit()->text(), QStringLiteral("/blocks/mine"));
        QCOMPARE(options->defaultPatchEdit()->text(), QStringLiteral("/patches"));
        QVERIFY(!options->displayCharactersBox()->isChecked());
        QVERIFY(options->showStartWindowBox()->isChecked());
        options->reject();
    });
}

void TestPreferences::cancelWritesNothing()
{
    QTemporaryDir chosen;
    MainWindow* window = launch();
    const QStringList before = settingsDump();
    QString title;
    QString started;
    runOptions(window, [&](PreferencesWindow* options) {
        ModalDriver inner;
        inner.answer(chooseFolder(chosen.path(), &title, &started));
        options->defaultPatchButton()->click();
        QCOMPARE(options->defaultPatchEdit()->text(), chosen.path());
        options->displayCharactersBox()->setChecked(false);
        options->showStartWindowBox()->setChecked(false);
        options->customBlocksEdit()->setText("/typed");
        options->cancelButton()->click();
    });
    QCOMPARE(settingsDump(), before);
    QVERIFY(!QSettings().contains(Preferences::DefaultPatchPath));
    QVERIFY(!QSettings().contains(Preferences::ShowStartWindow));
}

void TestPreferences::folderButtons_data()
{
    QTest::addColumn<bool>("customRow");
    QTest::addColumn<QString>("title");
    QTest::newRow("custom blocks") << true << "Find Directory | Custom Blocks Location";
    QTest::newRow("default patch") << false << "Find Directory | Default Patch Location";
}

// Each "..." starts in the home folder, whatever the field holds, and fills only its own
// field; a cancelled choice leaves the field alone.
void TestPreferences::folderButtons()
{
    QFETCH(bool, customRow);
    QFETCH(QString, title);
    QTemporaryDir chosen;
    QSettings().setValue(Preferences::CustomBlocksPath, "/old/blocks");
    QSettings().setValue(Preferences::DefaultPatchPath, "/old/patches");
    MainWindow* window = launch();
    QString seenTitle;
    QString started;
    runOptions(window, [&](PreferencesWindow* options) {
        QPushButton* button =
            customRow ? options->customBlocksButton() : options->defaultPatchButton();
        QLineEdit* mine = customRow ? options->customBlocksEdit() : options->defaultPatchEdit();
        QLineEdit* other = customRow ? options->defaultPatchEdit() : options->customBlocksEdit();
        const QString otherBefore = other->text();
        {
            ModalDriver inner;
            inner.rejectDialog();
            button->click();
            QCOMPARE(inner.seen().size(), 1);
        }
        QCOMPARE(mine->text(), customRow ? QStringLiteral("/old/blocks") : "/old/patches");
        {
            ModalDriver inner;
            inner.answer(chooseFolder(chosen.path(), &seenTitle, &started));
            button->click();
        }
        QCOMPARE(mine->text(), chosen.path());
        QCOMPARE(other->text(), otherBefore);
        options->reject();
    });
    QCOMPARE(seenTitle, title);
    QCOMPARE(started, QDir::homePath());
}

void TestPreferences::saveStoresAsTyped()
{
    runOptions(launch(), [](PreferencesWindow* options) {
        options->customBlocksEdit()->setText("/no/such/blocks");
        options->defaultPatchEdit()->setText(QString());
        options->saveButton()->click();
    });
    QSettings settings;
    QCOMPARE(settings.value(Preferences::CustomBlocksPath), QVariant("/no/such/blocks"));
    QVERIFY(settings.contains(Preferences::DefaultPatchPath));
    QCOMPARE(settings.value(Preferences::DefaultPatchPath).toString(), QString());
    QCOMPARE(settings.value(Preferences::DisplayCharacters).toBool(), true);
    QCOMPARE(settings.value(Preferences::ShowStartWindow).toBool(), true);
}

void TestPreferences::clearedBoxesSkipStartWindow()
{
    MainWindow* window = launch();
    app->showWindow();
    QVERIFY(app->startWindow()->isVisible());
    runOptions(window, [](PreferencesWindow* options) {
        options->displayCharactersBox()->setChecked(false);
        options->showStartWindowBox()->setChecked(false);
        options->saveButton()->click();
    });
    app.reset();
    {
        QSettings settings;
        QCOMPARE(settings.value(Preferences::DisplayCharacters), QVariant(false));
        QCOMPARE(settings.value(Preferences::ShowStartWindow), QVariant(false));
    }

    launch();
    app->showWindow();
    QVERIFY(app->mainWindow()->isVisible());
    QVERIFY(!app->startWindow()->isVisible());
    QVERIFY(app->startWindow()->dontShowBox()->isChecked());
}

void TestPreferences::patchFolderForDialogs_data()
{
    QTest::addColumn<QString>("stored"); // "<unset>": no key; "<temp>": an existing folder
    QTest::addColumn<bool>("expectTemp");
    QTest::newRow("unset") << "<unset>" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("missing folder") << "/no/such/folder/anywhere" << false;
    QTest::newRow("existing folder") << "<temp>" << true;
}

// The open and save dialogs start in the default patch folder, or in the home folder when it
// is unset, empty or gone; the stored text is kept as it is.
void TestPreferences::patchFolderForDialogs()
{
    QFETCH(QString, stored);
    QFETCH(bool, expectTemp);
    QTemporaryDir folder;
    QString value = stored == "<temp>" ? folder.path() : stored;
    if (stored != "<unset>")
        QSettings().setValue(Preferences::DefaultPatchPath, value);
    MainWindow* window = launch();
    QCOMPARE(window->patchFolder(), expectTemp ? folder.path() : QDir::homePath());
    if (stored != "<unset>")
        QCOMPARE(QSettings().value(Preferences::DefaultPatchPath).toString(), value);

    // The save dialog really starts there.
    QString startedIn;
    ModalDriver driver;
    driver.answer([&](QWidget* w) {
        if (auto* dialog = qobject_cast<QFileDialog*>(w))
            startedIn = dialog->directory().absolutePath();
        static_cast<QDialog*>(w)->reject();
    });
    QCOMPARE(window->savePatchAs(), MainWindow::SaveResult::Cancelled);
    QCOMPARE(startedIn, expectTemp ? folder.path() : QDir::homePath());
}

void TestPreferences::saveWindowBox_data()
{
    QTest::addColumn<bool>("initial");
    QTest::addColumn<QList<bool>>("toggles");
    QTest::addColumn<bool>("expected");
    QTest::newRow("ticked, untouched") << true << QList<bool>() << true;
    QTest::newRow("clear, untouched") << false << QList<bool>() << false;
    QTest::newRow("ticked, cleared") << true << QList<bool>{false} << false;
    QTest::newRow("clear, ticked") << false << QList<bool>{true} << true;
    QTest::newRow("back and forth") << true << QList<bool>{false, true, false} << false;
}

void TestPreferences::saveWindowBox()
{
    QFETCH(bool, initial);
    QFETCH(QList<bool>, toggles);
    QFETCH(bool, expected);
    launch();

    const auto* dialog = new SaveWindow(initial);
    std::unique_ptr<const SaveWindow> owner(dialog);
    QVERIFY(!dialog->parent());
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCheckBox* box = dialog->includeBox();
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Include custom blocks"));
    QCOMPARE(box->isChecked(), initial);
    QCOMPARE(dialog->wantIncludeBlocks(), initial);

    // Its own row below the dialog's rows, in the first column.
    auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
    QVERIFY(grid);
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    bool found = false;
    for (int i = 0; i < grid->count(); ++i) {
        auto* layout = qobject_cast<QHBoxLayout*>(grid->itemAt(i)->layout());
        if (layout && layout->indexOf(box) >= 0) {
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            found = true;
        }
    }
    QVERIFY(found);
    QCOMPARE(row, grid->rowCount() - 1);
    QCOMPARE(column, 0);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 1);
    for (int r = 0; r < row; ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            if (QLayoutItem* item = grid->itemAtPosition(r, c))
                QVERIFY(item->layout() == nullptr || item->layout()->indexOf(box) < 0);
        }
    }

    for (bool state : toggles)
        box->setChecked(state);
    QCOMPARE(dialog->wantIncludeBlocks(), expected);
}

KL_TEST_MAIN_NOAPP(TestPreferences)

#include "test_preferences.moc"
