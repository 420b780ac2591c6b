// What the file window offers beyond choosing: context menus on the folder tree and the file
// list, and files dropped onto the list from another program.
#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include "files/FileManager.h"

namespace {

// Only local files can be copied; a drop of web addresses or text is not for this window.
QList<QUrl> LocalUrls(const QMimeData *data) {
    QList<QUrl> urls;
    if (data == nullptr || !data->hasUrls()) {
        return urls;
    }
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile()) {
            urls.append(url);
        }
    }
    return urls;
}

}  // namespace

void TLocalFile::BuildShellParts() {
    ShellTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ShellTree, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = ShellTreeMenu(pos);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(ShellTree->viewport()->mapToGlobal(pos));
    });
    LocalFileList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LocalFileList, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = LocalFileListMenu(pos);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(LocalFileList->viewport()->mapToGlobal(pos));
    });
    // The view's own drop handling would hand the files to the model, which copies without
    // saying what failed; the window copies them itself and reports.
    LocalFileList->setAcceptDrops(true);
    LocalFileList->viewport()->setAcceptDrops(true);
    LocalFileList->viewport()->installEventFilter(this);
}

void TLocalFile::AddChoiceActions(QMenu *menu) {
    menu->addSeparator();
    QAction *ok = menu->addAction(OKAction->icon(), QStringLiteral("OK"));
    connect(ok, &QAction::triggered, OKAction, &QAction::trigger);
    QAction *cancel = menu->addAction(CancelAction->icon(), QStringLiteral("Cancel"));
    connect(cancel, &QAction::triggered, CancelAction, &QAction::trigger);
}

QMenu *TLocalFile::ShellTreeMenu(const QPoint &pos) {
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ShellTreeMenu"));
    const QModelIndex index = ShellTree->indexAt(pos);
    const auto *model = qobject_cast<const QFileSystemModel *>(ShellTree->model());
    const QString path = index.isValid() && model != nullptr ? model->filePath(index) : QString();
    QAction *open = menu->addAction(QStringLiteral("Open"));
    open->setEnabled(!path.isEmpty());
    connect(open, &QAction::triggered, this, [this, path] { SelectFolder(path); });
    QAction *make = menu->addAction(QStringLiteral("New folder"));
    make->setEnabled(!path.isEmpty() && QFileInfo(path).isWritable());
    connect(make, &QAction::triggered, this, [this, path] { MakeNewFolder(path); });
    AddChoiceActions(menu);
    return menu;
}

QMenu *TLocalFile::LocalFileListMenu(const QPoint &pos) {
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("LocalFileListMenu"));
    const QModelIndex index = LocalFileList->indexAt(pos);
    QAction *open = menu->addAction(QStringLiteral("Open"));
    open->setEnabled(index.isValid());
    const QPersistentModelIndex item(index);
    connect(open, &QAction::triggered, this, [this, item] { ListActivated(item); });
    const auto *model = qobject_cast<const QFileSystemModel *>(LocalFileList->model());
    const QString shown = model != nullptr && !DirectoryLabel->text().isEmpty()
                              ? model->filePath(LocalFileList->rootIndex())
                              : QString();
    QAction *make = menu->addAction(QStringLiteral("New folder"));
    make->setEnabled(!shown.isEmpty() && QFileInfo(shown).isWritable());
    connect(make, &QAction::triggered, this, [this, shown] { MakeNewFolder(shown); });
    AddChoiceActions(menu);
    return menu;
}

QString TLocalFile::MakeNewFolder(const QString &parent) {
    QDir dir(parent);
    if (parent.isEmpty() || !dir.exists()) {
        return QString();
    }
    QString name = QStringLiteral("New Folder");
    for (int n = 2; dir.exists(name); ++n) {
        name = QStringLiteral("New Folder (%1)").arg(n);
    }
    if (!dir.mkdir(name)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The folder cannot be made in %1.").arg(parent));
        return QString();
    }
    const QString path = dir.filePath(name);
    SelectFolder(path);
    return path;
}

QStringList TLocalFile::CopyDroppedFiles(const QList<QUrl> &urls, const QString &folder) {
    QStringList failures;
    const QDir target(folder);
    for (const QUrl &url : urls) {
        const QFileInfo source(url.toLocalFile());
        const QString name = source.fileName();
        if (!source.isFile()) {
            failures.append(name + QStringLiteral(": not a file"));
            continue;
        }
        const QString destination = target.filePath(name);
        if (QFileInfo(destination) == source) {
            continue;  // dropped where it already lies
        }
        if (QFileInfo::exists(destination)) {
            failures.append(name + QStringLiteral(": a file of that name is already there"));
            continue;
        }
        QFile file(source.absoluteFilePath());
        if (!file.copy(destination)) {
            failures.append(name + QStringLiteral(": ") + file.errorString());
        }
    }
    return failures;
}

QString TLocalFile::FolderDroppedOn(const QPoint &pos) const {
    const QModelIndex index = LocalFileList->indexAt(pos);
    const auto *model = qobject_cast<const QFileSystemModel *>(LocalFileList->model());
    if (index.isValid() && model != nullptr && model->isDir(index)) {
        return model->filePath(index);
    }
    // Until a folder is chosen the list shows nothing, and there is nowhere to copy to.
    if (model == nullptr || DirectoryLabel->text().isEmpty()) {
        return QString();
    }
    return model->filePath(LocalFileList->rootIndex());
}

bool TLocalFile::eventFilter(QObject *watched, QEvent *event) {
    if (watched != LocalFileList->viewport()) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDropEvent *>(event);
            const bool wanted = !LocalUrls(drag->mimeData()).isEmpty() &&
                                !FolderDroppedOn(drag->position().toPoint()).isEmpty();
            if (wanted) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QString folder = FolderDroppedOn(drop->position().toPoint());
            const QList<QUrl> urls = LocalUrls(drop->mimeData());
            if (folder.isEmpty() || urls.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            const QStringList failures = CopyDroppedFiles(urls, folder);
            if (!failures.isEmpty()) {
                QMessageBox::warning(
                    this, windowTitle(),
                    QStringLiteral("Not copied to %1:\n").arg(folder) + failures.join('\n'));
            }
            return true;
        }
        default:
            return QDialog::eventFilter(watched, event);
    }
}
