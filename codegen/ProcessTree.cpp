#include "ProcessTree.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

#include <signal.h>
#include <sys/types.h>

namespace util {

namespace {

// The parent of process `pid`, or 0 when it cannot be read.
qint64 parentOf(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (name) state ppid ...": the name may hold spaces and parentheses.
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

} // namespace

void killProcessTree(qint64 root)
{
    if (root <= 0)
        return;
    QList<qint64> tree{root};
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (int i = 0; i < tree.size(); ++i) {
        for (const QString& entry : entries) {
            bool numeric = false;
            const qint64 pid = entry.toLongLong(&numeric);
            if (numeric && !tree.contains(pid) && parentOf(entry) == tree.at(i))
                tree << pid;
        }
    }
    for (const qint64 pid : tree)
        ::kill(pid_t(pid), SIGKILL);
}

} // namespace util
