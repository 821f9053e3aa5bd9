#pragma once

#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <QString>
#include <memory>

class BlockManager;

// The patch editor window.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* createAction(const QString& name, const QString& text, const QString& statusTip,
                          const QKeySequence& shortcut, const QString& iconPath);
    QAction* getAction(const QString& name) const;
    void deleteAction(const QString& name);

    void createMenus();
    void logIn();
    void log(const char* text);

    BlockManager* blockManager() const { return blocks.get(); }

public slots:
    void openFromPath(QString path);

private:
    QHash<QString, QAction*> actions;
    std::unique_ptr<BlockManager> blocks;
};
