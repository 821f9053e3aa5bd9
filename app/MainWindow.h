#pragma once

#include "DocumentHost.h"
#include "InstanceList.h"
#include "OpenOutcome.h"
#include "PackedPatch.h"
#include "PatchInfo.h"
#include "Preferences.h"
#include "RepositoryBlock.h"
#include "RepositoryHost.h"

#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class BlockManager;
class Browser;
class Console;
class Emulator;
class FirmwarePipeline;
class Help;
class Inspector;
class Online;
class PatchDocument;
class QMenu;
class QSignalMapper;
class QTabWidget;
class QToolBar;

// The patch editor window: document tabs, the action table, menus, tool bars and docks.
class MainWindow : public QMainWindow, public DocumentHost, public RepositoryHost
{
    Q_OBJECT
public:
    enum class SaveResult
    {
        Saved,
        Cancelled,
        Failed
    };
    // Starts fetching block files a patch lacks; the repository client answers through
    // repositoryBlockFiles.
    using BlockFetcher = std::function<void(QList<RepositoryBlock>&)>;
    // Takes the current patch as a patch file (its record with the custom blocks) and those
    // block files for an upload.
    using PatchUploader =
        std::function<void(const QByteArray&, const QHash<QString, BlockDescription>&)>;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The action table.
    QAction* createAction(const QString& name, const QString& text, const QString& statusTip,
                          const QKeySequence& shortcut, const QString& iconPath);
    QAction* getAction(const QString& name) const override;
    void deleteAction(const QString& name);

    // DocumentHost
    const BlockDescription* blockDescription(const QString& name, bool libraryOnly) const override;
    PatchDocument* currentDocument() const override { return document; }
    void variableChanged(int instanceId, int variableId, const QString& value) override;
    void openFromPath(QString path) override;

    const BlockInstance* blockInstance(int id) const;
    void log(const char* text);
    void loadSettings();

    // Frame (MainWindowFrame.cpp)
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    void createDockWindows();
    void loadWindowState();
    void saveWindowState();
    // The window rectangle for a stored "geometry" value: the default when the value is not
    // a rectangle or lies off every screen.
    static QRect restoredGeometry(const QVariant& stored);
    static QRect defaultGeometry() { return QRect(0, 25, 890, 567); }

    // Documents and tabs (MainWindowDocuments.cpp)
    void enableDocumentActions(bool on);
    void enableBlockActions(bool on);
    bool askForSave(PatchDocument* document = nullptr);
    bool isDocumentEmpty() const override;
    PatchDocument* documentAt(int index) const;

    // Files (MainWindowFiles.cpp)
    QByteArray getSaveData(PatchDocument* document);
    bool checkPatchOpen(const PackedPatch& patch);
    // True when the document was built completely; false while its blocks are being fetched
    // or when they could not be had.
    bool openPatch(const PackedPatch& patch, const QList<QByteArray>& blockFiles);
    // An unchanged tab without a path that an incomplete open left behind.
    static bool isLeftover(const PatchDocument* document);
    void resolveBlocks();
    void createPatchScene();
    void resolveMissingBlocks(QList<RepositoryBlock>& blocks);
    void repositoryBlockFiles(QList<QByteArray>& files) override;
    void updateRecentFiles();
    void setBlockFetcher(BlockFetcher fetcher) { blockFetcher = std::move(fetcher); }
    QStringList recentFileList() const { return recentFiles; }
    QString patchFolder() const { return lastFolder; }

    // Emulation (MainWindowEmulation.cpp)
    bool isEmulating() const { return emulating; }

    // Firmware (MainWindowFirmware.cpp): the build and upload in use, made on first use.
    FirmwarePipeline* firmwarePipeline();
    bool isBuildingFirmware() const { return firmwareBusy; }

    // Online (MainWindowOnline.cpp)
    void logIn();
    Online* onlineController() const { return online; }
    // RepositoryHost
    void repositoryPatchDownloaded(const QByteArray& data) override;
    void blockSaved(const QString& path) override;
    void setWindowEnabled(bool enabled) override { setEnabled(enabled); }
    QWidget* hostWindow() override { return this; }
    // Names the current patch and hands its patch file and custom block files to the upload;
    // false when there is nothing to upload or a block file cannot be read.
    bool repositoryPatchUploadRequest(const QString& name) override;
    void setPatchUploader(PatchUploader uploader) { patchUploader = std::move(uploader); }

    // Dialogs (MainWindowDialogs.cpp): the about box's rich text.
    static QString aboutText();

    BlockManager* blockManager() const { return blocks.get(); }
    QTabWidget* tabWidget() const { return tabs; }
    Console* consoleDock() const { return console; }
    Help* helpDock() const { return help; }
    Browser* browserDock() const { return browser; }
    Inspector* inspectorDock() const { return inspector; }
    Emulator* emulatorDock() const { return emulator; }
    QMenu* viewMenuForTest() const { return viewMenu; }

signals:
    // A firmware build or its copy to the device starts (true) or has ended (false): the device
    // takes one writer at a time.
    void firmwareBusyChanged(bool busy);

public slots:
    // Frame
    void zoomIn();
    void zoomOut();
    void zoomReset();
    void resetWindows();
    void clearConsoleWindow();

    // Documents and tabs
    void newDocument();
    void setDocument(int index);
    void closeDocument(int index);
    void closeCurrentDocument();
    void documentChanged(bool flag);
    void undo();
    void redo();
    void selectAll();
    void deleteSelectedObjects();
    void selectBlockHandler(InstanceList instances, bool commentsSelected);
    void editVariableHandler(int blockId, int variableId, QString value);

    // Files
    SaveResult savePatch(PatchDocument* document = nullptr);
    SaveResult savePatchAs(PatchDocument* document = nullptr);
    void openFromFile();
    void createMenuTree(QString dirPath, QMenu* menu);

    // Emulation
    void emulateToggle();
    void emulateCode();
    void emulateStop();

    // Firmware (MainWindowFirmware.cpp)
    void compileCode();
    void openFromFirmware();

    // Clipboard and block library (MainWindowClipboard.cpp)
    void copy();
    void paste();
    void reloadBlocks();
    void inspectorSaveBlockRequested(const BlockInstance* instance, bool toUserFolder);

    // Dialogs (MainWindowDialogs.cpp)
    void about();
    void patchInfo();
    void displayOptionsDialog();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Keeps the "delete" shortcut's key for text fields and text views of this window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Documents and tabs
    void updateUndoActions();
    QString tabTitle(const PatchDocument* doc, bool changed) const;
    void commitPendingEdits();
    // Files
    SaveResult writePatchFile(PatchDocument* doc, const QString& path, PatchInfo next);
    // Why a record of the document under `info` would not read back whole; empty when it
    // would. Every writer of a record (save, firmware, upload) asks first.
    QString recordMisfit(PatchDocument* doc, const PatchInfo& info);
    void openFile(const QString& path, bool fromDialog);
    // openPatch with what the reader found and the file's path, given to the document only
    // when the open comes out whole.
    bool startOpen(const PackedPatch& patch, const QList<QByteArray>& blockFiles,
                   const OpenOutcome& outcome, const QString& path);
    void addRecentFile(const QString& path);
    // Stops a running missing-block fetch; its document stays as it is, empty.
    void dropBlockFetch();
    // Opens the downloads that waited, in order, while no open asks for or fetches blocks.
    void openWaitingDownloads();
    // Online
    void createOnline();
    // Emulation
    void showStopped();
    // Firmware
    bool waitForDevice(const QString& informativeText);
    void setFirmwareBusy(bool busy, const QString& notice);
    // Clipboard and block library: new items for every block, cable and comment of the model.
    void rebuildScene(PatchDocument* doc);
    // What saving a block under a name the library holds means for the next start.
    QString savedUnderHeldName(const QString& name, const QString& target,
                               const QString& folder) const;

    // Settings
    Preferences preferences;
    QString customBlocksPath;
    QString defaultPatchPath;
    QString lastFolder;
    QStringList recentFiles;

    // Frame
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
    Console* console = nullptr;
    Inspector* inspector = nullptr;
    Emulator* emulator = nullptr;
    Browser* browser = nullptr;
    Help* help = nullptr;

    // Block library
    std::unique_ptr<BlockManager> blocks;

    // Documents and tabs
    QTabWidget* tabs = nullptr;
    int documentCounter = 0;
    PatchDocument* document = nullptr;

    // Files: the open in progress, its decoded patch, the document made for it, the file it
    // came from and what came through so far. The file's path is given to the document only
    // once the patch opened whole.
    PackedPatch pendingPatch;
    QPointer<PatchDocument> pendingDocument;
    QString pendingPath;
    OpenOutcome pendingOutcome;
    BlockFetcher blockFetcher;
    // The document whose missing blocks are being fetched; the files go to it alone.
    QPointer<PatchDocument> fetchingDocument;
    // While an open runs (its boxes are modal) or fetches its blocks, a patch download that
    // arrives waits here rather than take that open's place.
    bool opening = false;
    QList<QByteArray> waitingDownloads;

    // Emulation
    bool emulating = false;

    // Firmware: while a build or an upload runs, the compile and open-firmware actions wait.
    FirmwarePipeline* firmware = nullptr;
    bool firmwareBusy = false;

    // Online
    Online* online = nullptr;
    PatchUploader patchUploader;
};
