// Getting around in the file window: the places bar with the home, documents and data folders,
// and the path field that takes a typed or pasted folder or file.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStyle>
#include <QToolButton>

#include "common/DataPaths.h"
#include "common/TX_File.h"
#include "common/WindowLook.h"
#include "files/FileManager.h"
#include "files/ResultFiles.h"

namespace {

// Enter in the path field follows the path. The window's OK takes Enter by its shortcut before
// any field sees the key; this field claims the key first, so that a typed path is followed
// instead of ending the window with whatever the list shows.
class PathLineEdit final : public QLineEdit {
  public:
    explicit PathLineEdit(QWidget *parent) : QLineEdit(parent) {}

  protected:
    bool event(QEvent *event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                event->accept();
                return true;
            }
        }
        return QLineEdit::event(event);
    }
};

QToolButton *PlaceButton(QWidget *parent, const char *name, const QString &text,
                         QStyle::StandardPixmap picture, const QString &hint) {
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setIcon(QApplication::style()->standardIcon(picture));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    return button;
}

}  // namespace

QWidget *TLocalFile::BuildPlacesBar() {
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("PlacesBar"));
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 8, 2);
    row->setSpacing(2);
    HomeButton = PlaceButton(bar, "HomeButton", QStringLiteral("Home"), QStyle::SP_DirHomeIcon,
                             QStringLiteral("Your home folder"));
    DocumentsButton = PlaceButton(bar, "DocumentsButton", QStringLiteral("Documents"),
                                  QStyle::SP_DirIcon, QStringLiteral("Your documents folder"));
    DataFolderButton =
        PlaceButton(bar, "DataFolderButton", QStringLiteral("Tarvex data"), QStyle::SP_DirIcon,
                    QStringLiteral("The program's folder of lists, results and reports"));
    connect(HomeButton, &QToolButton::clicked, this, [this] { GoToPlace(QDir::homePath()); });
    connect(DocumentsButton, &QToolButton::clicked, this,
            [this] { GoToPlace(GetSpecialPath(CSIDL_PERSONAL)); });
    connect(DataFolderButton, &QToolButton::clicked, this, [this] {
        // Made at start-up; made again here should the user have removed it since.
        const QString folder = DataFolder();
        CreateNewFolder(folder);
        GoToPlace(folder);
    });
    row->addWidget(HomeButton);
    row->addWidget(DocumentsButton);
    row->addWidget(DataFolderButton);
    row->addSpacing(12);

    PathEdit = new PathLineEdit(bar);
    PathEdit->setObjectName(QStringLiteral("PathEdit"));
    PathEdit->setPlaceholderText(
        QStringLiteral("Type or paste a folder or file, then press Enter"));
    PathEdit->setClearButtonEnabled(true);
    PathLabel = NewLabel(bar, QStringLiteral("PathLabel"), QStringLiteral("Go to"));
    PathLabel->setBuddy(PathEdit);
    row->addWidget(PathLabel);
    row->addWidget(PathEdit, 1);
    connect(PathEdit, &QLineEdit::returnPressed, this, [this] { GoToPath(PathEdit->text()); });
    connect(PathEdit, &QLineEdit::textEdited, this, [this] { Notice(QString()); });

    // The key of the location field in desktop file windows.
    PathAction = new QAction(this);
    PathAction->setObjectName(QStringLiteral("PathAction"));
    PathAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    PathAction->setShortcutContext(Qt::WindowShortcut);
    PathAction->setProperty("category", QStringLiteral("[ LOCAL FILE ]"));
    connect(PathAction, &QAction::triggered, this, [this] {
        PathEdit->setFocus(Qt::ShortcutFocusReason);
        PathEdit->selectAll();
    });
    LocalFileActionList->addAction(PathAction);
    addAction(PathAction);
    return bar;
}

bool TLocalFile::GoToPlace(const QString &folder) {
    if (folder.isEmpty() || !SelectFolder(folder)) {
        Notice(QStringLiteral("There is no folder \"%1\".").arg(folder));
        return false;
    }
    Notice(QString());
    return true;
}

bool TLocalFile::GoToPath(const QString &typed) {
    if (typed.trimmed().isEmpty()) {
        return false;
    }
    const QString path = ResolveTypedPath(typed, ShownFolder());
    const QFileInfo info(path);
    const QString notThere =
        QStringLiteral("There is no file or folder \"%1\".").arg(path.isEmpty() ? typed : path);
    if (path.isEmpty()) {
        Notice(notThere);
        return false;
    }
    if (info.isDir()) {
        if (!SelectFolder(path)) {
            Notice(notThere);
            return false;
        }
        PathEdit->clear();
        Notice(QString());
        return true;
    }
    const bool load = FileNameEdit->isReadOnly();
    // Saving may name a file that is not there yet, in a folder that is; a path that ends with
    // "/" names a folder, never a file.
    const bool newName = !load && !info.exists() && QFileInfo(info.absolutePath()).isDir() &&
                         !typed.trimmed().endsWith(QLatin1Char('/'));
    if ((!info.exists() && !newName) || !SelectFolder(info.absolutePath())) {
        Notice(notThere);
        return false;
    }
    PickListedFile(info.absoluteFilePath());
    PathEdit->clear();
    if (load) {
        // The file named is the file chosen, as a double click on it in the list would choose it.
        OKActionExecute();
    } else {
        FileNameEdit->setFocus();
    }
    return true;
}

void TLocalFile::PickListedFile(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    FileNameEdit->setText(name);
    Notice(QString());
    // A file of another type is not listed; its name is taken all the same.
    if (QFileInfo::exists(path) && QDir::match(FileFilter(), name)) {
        const QModelIndex index = listModel_->index(path);
        if (index.isValid()) {
            LocalFileList->setCurrentIndex(index);
            LocalFileList->scrollTo(index);
        }
    }
}
