#pragma once

#include "DocumentHost.h"
#include "InstanceList.h"
#include "Preferences.h"

#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

class BlockManager;
class Browser;
class Console;
class Emulator;
class Help;
class Inspector;
class PatchDocument;
class QMenu;
class QSignalMapper;
class QTabWidget;
class QToolBar;

// The patch editor window: document tabs, the action table, menus, tool bars and docks.
class MainWindow : public QMainWindow, public DocumentHost
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* createAction(const QString& name, const QString& text, const QString& statusTip,
                          const QKeySequence& shortcut, const QString& iconPath);
    QAction* getAction(const QString& name) const override;
    void deleteAction(const QString& name);

    void loadSettings();
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    void createDockWindows();
    void loadWindowState();
    void saveWindowState();

    void enableDocumentActions(bool on);
    void enableBlockActions(bool on);
    bool askForSave(PatchDocument* document = nullptr);
    bool isDocumentEmpty() const;

    const BlockDescription* blockDescription(const QString& name,
                                             bool libraryOnly) const override;
    const BlockInstance* blockInstance(int id) const;
    PatchDocument* currentDocument() const override { return document; }
    void variableChanged(int instanceId, int variableId, const QString& value) override;

    void log(const char* text);
    void logIn();

    // The window rectangle for a stored "geometry" value: the default when the value is not
    // a rectangle or lies off every screen.
    static QRect restoredGeometry(const QVariant& stored);
    static QRect defaultGeometry() { return QRect(0, 25, 890, 567); }

    BlockManager* blockManager() const { return blocks.get(); }
    QTabWidget* tabWidget() const { return tabs; }
    Console* consoleDock() const { return console; }
    Help* helpDock() const { return help; }
    Browser* browserDock() const { return browser; }
    Inspector* inspectorDock() const { return inspector; }
    Emulator* emulatorDock() const { return emulator; }
    QMenu* viewMenuForTest() const { return viewMenu; }
    PatchDocument* documentAt(int index) const;

public slots:
    void about();
    void setDocument(int index);
    void closeDocument(int index);
    void documentChanged(bool flag);
    void createMenuTree(QString dirPath, QMenu* menu);
    void closeCurrentDocument();
    void zoomIn();
    void zoomOut();
    void zoomReset();
    void savePatch(PatchDocument* document = nullptr);
    void savePatchAs(PatchDocument* document = nullptr);
    void newDocument();
    void openFromFile();
    void openFromFirmware();
    void reloadBlocks();
    void undo();
    void redo();
    void compileCode();
    void emulateToggle();
    void emulateCode();
    void emulateStop();
    void deleteSelectedObjects();
    void selectBlockHandler(InstanceList instances, bool commentsSelected);
    void editVariableHandler(int blockId, int variableId, QString value);
    void copy();
    void paste();
    void patchInfo();
    void openFromPath(QString path) override;
    void displayOptionsDialog();
    void clearConsoleWindow();
    void selectAll();
    void resetWindows();
    void inspectorSaveBlockRequested(const BlockInstance* instance, bool toUserFolder);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void updateUndoActions();
    QString tabTitle(const PatchDocument* doc, bool changed) const;

    bool emulating = false;
    QString customBlocksPath;
    QString defaultPatchPath;
    QString lastFolder;
    QStringList recentFiles;
    Console* console = nullptr;
    QTabWidget* tabs = nullptr;
    int documentCounter = 0;
    std::unique_ptr<BlockManager> blocks;
    PatchDocument* document = nullptr;
    Inspector* inspector = nullptr;
    Emulator* emulator = nullptr;
    Browser* browser = nullptr;
    Help* help = nullptr;
    QHash<QString, QAction*> actions;
    QMenu* fileMenu = nullptr;
    QMenu* recentFilesMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QMenu* tutorialsMenu = nullptr;
    QMenu* examplesMenu = nullptr;
    QMenu* onlineMenu = nullptr;
    QSignalMapper* signalMapper = nullptr;
    QToolBar* fileToolBar = nullptr;
    QToolBar* editToolBar = nullptr;
    QToolBar* loginToolBar = nullptr;
    Preferences preferences;
};
