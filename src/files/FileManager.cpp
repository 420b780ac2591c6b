#include "files/FileManager.h"

#include <iterator>

#include "common/WindowOpening.h"
#include "common/WindowPlacement.h"

#include <QAbstractFileIconProvider>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QMutex>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "common/DataPaths.h"
#include "common/TX_File.h"
#include "common/WindowLook.h"
#include "files/ResultFiles.h"

namespace {

const QColor kText(200, 200, 200);
const QColor kHighlight(90, 110, 140);

QLabel *Heading(const QString &text, const QString &name, QWidget *parent) {
    QLabel *label = NewLabel(parent, name, text);
    label->setContentsMargins(4, 3, 4, 3);
    return label;
}

QFrame *Separator(QWidget *parent) {
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    SetTextColor(line, QColor(80, 80, 80));
    return line;
}

// Folder and file pictures from the window's style: the desktop's icon theme may be missing
// (it is on a bare X server), and then folders and files would look alike.
//
// Each picture is made once: the style decodes its picture files afresh on every call, and the
// models ask for one per file they list, which made listing a folder of a few hundred entries
// take a noticeable fraction of a second. The models' gatherer thread asks too, hence the lock.
class StyleIconProvider final : public QAbstractFileIconProvider {
  public:
    QIcon icon(IconType type) const override {
        QStyle::StandardPixmap picture = QStyle::SP_FileIcon;
        switch (type) {
            case Folder:
                picture = QStyle::SP_DirIcon;
                break;
            case Drive:
                picture = QStyle::SP_DriveHDIcon;
                break;
            case Computer:
                picture = QStyle::SP_ComputerIcon;
                break;
            default:
                break;
        }
        QStyle *style = QApplication::style();
        const QMutexLocker lock(&mutex_);
        if (style != style_) {
            // Another style draws other pictures.
            made_.clear();
            style_ = style;
        }
        auto found = made_.find(picture);
        if (found == made_.end()) {
            found = made_.insert(picture, style->standardIcon(picture));
        }
        return *found;
    }

    QIcon icon(const QFileInfo &info) const override {
        if (info.isRoot()) {
            return icon(Drive);
        }
        return icon(info.isDir() ? Folder : File);
    }

  private:
    mutable QMutex mutex_;
    mutable const QStyle *style_ = nullptr;
    mutable QMap<QStyle::StandardPixmap, QIcon> made_;
};

// Shared by every model and never destroyed before them: the models' gatherer thread may still
// ask it for a picture while a window goes away.
QAbstractFileIconProvider *IconProvider() {
    static StyleIconProvider *provider = new StyleIconProvider;
    return provider;
}

}  // namespace

TLocalFile::TLocalFile(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LocalFile"));
    setWindowTitle(QStringLiteral("File Manager"));
    BuildWindow();
}

void TLocalFile::BuildWindow() {
    PaintDarkControls(this, kText);
    // The lists' rows: a muted selection, and the alternate rows in the window's colour.
    QPalette pal = palette();
    pal.setColor(QPalette::AlternateBase, LookWindowColor());
    pal.setColor(QPalette::Highlight, kHighlight);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
    setPalette(pal);
    setFont(WindowPixelFont());
    resize(720, 397);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    DirectoryLabel = new QLabel(this);
    DirectoryLabel->setObjectName(QStringLiteral("DirectoryLabel"));
    DirectoryLabel->setMinimumHeight(24);
    DirectoryLabel->setContentsMargins(8, 4, 8, 4);
    DirectoryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    outer->addWidget(DirectoryLabel);
    outer->addWidget(Separator(this));
    BuildActions();
    outer->addWidget(BuildPlacesBar());
    outer->addWidget(Separator(this));

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setHandleWidth(7);
    splitter_->setChildrenCollapsible(false);

    splitter_->addWidget(BuildFolderTree());
    splitter_->addWidget(BuildFileList());
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({720 - 413 - 7, 413});
    outer->addWidget(splitter_, 1);

    outer->addWidget(Separator(this));
    outer->addWidget(BuildNameBar());
    NoticeLabel = NewLabel(this, QStringLiteral("NoticeLabel"), QString());
    NoticeLabel->setContentsMargins(8, 0, 8, 5);
    SetTextColor(NoticeLabel, QColor(255, 170, 0));
    NoticeLabel->hide();
    outer->addWidget(NoticeLabel);
    connect(FileNameEdit, &QLineEdit::textEdited, this, [this] { Notice(QString()); });

    connect(LocalFileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TLocalFile::ListSelectionChanged);
    connect(LocalFileList, &QListView::activated, this, &TLocalFile::ListActivated);
    connect(OKAction, &QAction::triggered, this, [this] { OKActionExecute(); });
    connect(CancelAction, &QAction::triggered, this, [this] { CancelActionExecute(); });
    connect(FileNameEdit, &QLineEdit::returnPressed, this, [this] { FileNameEditKeyPress(); });
    BuildShellParts();
}

QWidget *TLocalFile::BuildFolderTree() {
    auto *treePanel = new QWidget(splitter_);
    auto *treeLayout = new QVBoxLayout(treePanel);
    treeLayout->setContentsMargins(4, 4, 0, 4);
    treeLayout->setSpacing(2);
    RzLabel3 = Heading(QStringLiteral("Select folder"), QStringLiteral("RzLabel3"), treePanel);
    treeLayout->addWidget(RzLabel3);

    // The tree gets its model in FillFolderTree.
    ShellTree = new QTreeView(treePanel);
    ShellTree->setObjectName(QStringLiteral("ShellTree"));
    ShellTree->setHeaderHidden(true);
    ShellTree->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTree->setDragEnabled(true);
    ShellTree->setAnimated(false);
    ShellTree->setIconSize(QSize(16, 16));
    treeLayout->addWidget(ShellTree);
    return treePanel;
}

QWidget *TLocalFile::BuildFileList() {
    CentralPanel = new QWidget(splitter_);
    CentralPanel->setObjectName(QStringLiteral("CentralPanel"));
    auto *listLayout = new QVBoxLayout(CentralPanel);
    listLayout->setContentsMargins(0, 4, 4, 4);
    listLayout->setSpacing(2);
    FileTypeLabel =
        Heading(QStringLiteral("Select file"), QStringLiteral("FileTypeLabel"), CentralPanel);
    listLayout->addWidget(FileTypeLabel);

    listModel_ = new QFileSystemModel(this);
    listModel_->setFilter(QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    listModel_->setIconProvider(IconProvider());
    listModel_->setNameFilterDisables(false);
    listModel_->setNameFilters({QStringLiteral("*.txt")});
    LocalFileList = new QListView(CentralPanel);
    LocalFileList->setObjectName(QStringLiteral("LocalFileList"));
    LocalFileList->setModel(listModel_);
    LocalFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LocalFileList->setDragEnabled(true);
    LocalFileList->setUniformItemSizes(true);
    LocalFileList->setIconSize(QSize(16, 16));
    listModel_->sort(0, Qt::AscendingOrder);
    // Nothing is shown until a folder is chosen in the tree.
    LocalFileList->setRootIndex(listModel_->index(QString()));
    listLayout->addWidget(LocalFileList);
    return CentralPanel;
}

void TLocalFile::BuildActions() {
    LocalFileActionList = new QActionGroup(this);
    LocalFileActionList->setObjectName(QStringLiteral("LocalFileActionList"));
    LocalFileActionList->setExclusive(false);
    OKAction = new QAction(ArtworkIcon(QStringLiteral("ButtonOK.png")), QString(), this);
    OKAction->setObjectName(QStringLiteral("OKAction"));
    OKAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    OKAction->setShortcutContext(Qt::WindowShortcut);
    OKAction->setProperty("category", QStringLiteral("[ LOCAL FILE ]"));
    CancelAction = new QAction(ArtworkIcon(QStringLiteral("ButtonClose.png")), QString(), this);
    CancelAction->setObjectName(QStringLiteral("CancelAction"));
    CancelAction->setShortcut(QKeySequence(Qt::Key_Escape));
    CancelAction->setShortcutContext(Qt::WindowShortcut);
    CancelAction->setProperty("category", QStringLiteral("[ LOCAL FILE ]"));
    LocalFileActionList->addAction(OKAction);
    LocalFileActionList->addAction(CancelAction);
    addAction(OKAction);
    addAction(CancelAction);
}

QWidget *TLocalFile::BuildNameBar() {
    auto *bottom = new QWidget(this);
    auto *bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(8, 5, 8, 6);
    bottomLayout->setSpacing(6);
    AddressLabel = NewLabel(bottom, QStringLiteral("AddressLabel"), QStringLiteral("File Name"));
    FileNameEdit = new QLineEdit(bottom);
    FileNameEdit->setObjectName(QStringLiteral("FileNameEdit"));
    AddressLabel->setBuddy(FileNameEdit);
    bottomLayout->addWidget(AddressLabel);
    bottomLayout->addWidget(FileNameEdit, 1);
    bottomLayout->addSpacing(12);

    ProcessLabel = NewLabel(bottom, QStringLiteral("ProcessLabel"), QStringLiteral("Save file"));
    RzBmpButton2 = NewPictureButton(bottom, QStringLiteral("RzBmpButton2"),
                                    QStringLiteral("ButtonOK.png"), 20);
    RzBmpButton2->setDefaultAction(OKAction);
    RzLabel4 = NewLabel(bottom, QStringLiteral("RzLabel4"), QStringLiteral("Cancel"));
    RzBmpButton3 = NewPictureButton(bottom, QStringLiteral("RzBmpButton3"),
                                    QStringLiteral("ButtonClose.png"), 20);
    RzBmpButton3->setDefaultAction(CancelAction);
    bottomLayout->addWidget(ProcessLabel);
    bottomLayout->addWidget(RzBmpButton2);
    bottomLayout->addSpacing(10);
    bottomLayout->addWidget(RzLabel4);
    bottomLayout->addWidget(RzBmpButton3);
    return bottom;
}

void TLocalFile::FillFolderTree() {
    if (treeModel_ != nullptr) {
        return;
    }
    treeModel_ = new QFileSystemModel(this);
    treeModel_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot | QDir::Hidden);
    treeModel_->setIconProvider(IconProvider());
    treeModel_->setRootPath(QStringLiteral("/"));
    ShellTree->setModel(treeModel_);
    for (int column = 1; column < treeModel_->columnCount(); ++column) {
        ShellTree->hideColumn(column);
    }
    // Long folder names scroll sideways instead of being cut short.
    ShellTree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ShellTree->header()->setStretchLastSection(false);
    ShellTree->setSortingEnabled(true);
    ShellTree->sortByColumn(0, Qt::AscendingOrder);
    // Selection, not the current item: the view makes its first row current when it gets the
    // focus, and that must not choose a folder for the user.
    // Nor does a closed window: when the chosen folder is removed meanwhile, the tree moves its
    // selection to a neighbour, and the next opening must see that the chosen folder has gone.
    connect(ShellTree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (isVisible()) {
            ShellTreeGetSelectedIndex();
        }
    });

    // Open the tree down to the home folder so that the user starts near their files; nothing is
    // selected, so no folder is chosen until the user picks one.
    const QModelIndex home = treeModel_->index(QDir::homePath());
    for (QModelIndex level = home.parent(); level.isValid(); level = level.parent()) {
        ShellTree->expand(level);
    }
    ShellTree->scrollTo(home);
}

QString TFileChoice::LoadPath() const {
    return Chosen ? ComposeLoadPath(Folder, Name) : QString();
}

QString TFileChoice::SavePath() const {
    return Chosen ? ComposeSavePath(Folder, Name) : QString();
}

QString TFileChoice::ExportPath() const {
    // Without a chosen folder the composed name would land in the file system's root.
    return Chosen && !Folder.isEmpty() ? FileName : QString();
}

QString TLocalFile::ModeCaption(TFileMode mode) {
    switch (mode) {
        case TFileMode::LoadText:
            return QStringLiteral("Load text file");
        case TFileMode::SaveRtf:
            return QStringLiteral("Save RTF file");
        case TFileMode::ExportPdf:
            return QStringLiteral("Export to PDF");
        case TFileMode::ExportRtf:
            return QStringLiteral("Export to RTF");
        case TFileMode::ExportHtml:
            return QStringLiteral("Export to HTML");
        case TFileMode::LoadRtf:
            return QStringLiteral("Load RTF file");
        case TFileMode::SaveCsv:
            return QStringLiteral("Save CSV file");
        case TFileMode::SaveJson:
            return QStringLiteral("Save JSON file");
    }
    return QStringLiteral("File Manager");
}

QString TLocalFile::StartFolder(quint16 mode) {
    const bool results = mode == 2 || mode == static_cast<quint16>(TFileMode::SaveCsv) ||
                         mode == static_cast<quint16>(TFileMode::SaveJson);
    QString folder = mode == 1 ? ListsFolder() : results ? ResultsFolder() : ReportsFolder();
    if (CreateNewFolder(folder)) {
        return folder;
    }
    folder = DataRoot();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

TFileChoice TLocalFile::Choose(TFileMode mode, const QString &caption) {
    setWindowTitle(caption.isEmpty() ? ModeCaption(mode) : caption);
    FunctionIndex = static_cast<quint16>(mode);
    TFileChoice choice;
    choice.Chosen = Execute();
    choice.Folder = DirectoryLabel->text();
    choice.Name = FileNameEdit->text();
    choice.FileName = FileName;
    return choice;
}

bool TLocalFile::Execute() {
    FillFolderTree();
    const int result = ExecWithArrowCursor(this);
    return result == mrOk;
}

bool TLocalFile::SelectFolder(const QString &path) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        return false;
    }
    FillFolderTree();
    const QModelIndex index = treeModel_->index(info.absoluteFilePath());
    if (!index.isValid()) {
        return false;
    }
    for (QModelIndex level = index.parent(); level.isValid(); level = level.parent()) {
        ShellTree->expand(level);
    }
    ShellTree->setCurrentIndex(index);
    ShellTree->scrollTo(index);
    // Shown from the node itself, not read back from the selection: selecting the node that is
    // already current raises no change.
    ShowFolder(treeModel_->filePath(index));
    return true;
}

QString TLocalFile::FileFilter() const {
    const QStringList filters = listModel_->nameFilters();
    return filters.isEmpty() ? QString() : filters.first();
}

void TLocalFile::showEvent(QShowEvent *event) {
    if (!IsWindowOpening(event)) {
        QDialog::showEvent(event);
        return;
    }
    FillFolderTree();
    FormShow();
    // Never open at nothing: without a chosen folder (the first time) or when the chosen one has
    // gone, the window opens at the data folder's place for this kind of file.
    const QString chosen = DirectoryLabel->text();
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        SelectFolder(StartFolder(FunctionIndex));
    }
    if (!placed_) {
        // Centred on the screen the first time; later the window opens where the user left it.
        placed_ = true;
        CenterOnScreen(this);
    }
    QDialog::showEvent(event);
}

void TLocalFile::FormShow() {
    FileNameEdit->clear();
    PathEdit->clear();
    Notice(QString());
    struct Mode {
        const char *filter;
        bool load;
        const char *fileType;
        bool clearFileName;
    };
    // Every mode names its own file type, so no heading of an earlier call is left standing.
    static const Mode modes[] = {
        {"*.txt", true, "Select text [*.txt] file", false},
        {"*.rtf", false, "Save as RTF [*.rtf] file", false},
        {"*.pdf", false, "Export to PDF [*.pdf] file", true},
        {"*.rtf", false, "Export to RTF [*.rtf] file", true},
        {"*.html", false, "Export to HTML [*.html] file", false},
        {"*.rtf", true, "Select RTF [*.rtf] file", false},
        {nullptr, false, nullptr, false},
        {"*.csv", false, "Save as CSV [*.csv] file", false},
        {"*.json", false, "Save as JSON [*.json] file", false},
    };
    if (FunctionIndex < 1 || FunctionIndex > std::size(modes) ||
        modes[FunctionIndex - 1].filter == nullptr) {
        return;
    }
    const Mode &mode = modes[FunctionIndex - 1];
    listModel_->setNameFilters({QString::fromLatin1(mode.filter)});
    ProcessLabel->setText(mode.load ? QStringLiteral("Load file") : QStringLiteral("Save file"));
    FileTypeLabel->setText(QString::fromLatin1(mode.fileType));
    FileNameEdit->setReadOnly(mode.load);
    if (mode.clearFileName) {
        FileName = FileNameEdit->text();
    }
}

void TLocalFile::ShellTreeGetSelectedIndex() {
    const QModelIndexList selected = ShellTree->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    ShowFolder(treeModel_->filePath(selected.first()));
}

void TLocalFile::ShowFolder(const QString &path) {
    {
        // Leaving the old folder unselects its items; that is no choice of the user's.
        const QSignalBlocker blocker(LocalFileList->selectionModel());
        LocalFileList->clearSelection();
    }
    LocalFileList->viewport()->update();
    LocalFileList->setRootIndex(listModel_->setRootPath(path));
    DirectoryLabel->setText(path);
}

void TLocalFile::ListSelectionChanged(const QItemSelection &selected,
                                      const QItemSelection &deselected) {
    // Unselecting an item counts as well: Ctrl-clicking a file off still leaves its name.
    for (const QItemSelection *items : {&deselected, &selected}) {
        for (const QModelIndex &index : items->indexes()) {
            if (index.column() == 0) {
                LocalFileListSelectItem(index);
            }
        }
    }
}

void TLocalFile::LocalFileListSelectItem(const QModelIndex &item) {
    if (!item.isValid()) {
        return;
    }
    if (listModel_->isDir(item)) {
        DirectoryLabel->setText(listModel_->filePath(item));
    } else {
        FileNameEdit->setText(listModel_->fileName(item));
        Notice(QString());
    }
}

void TLocalFile::ListActivated(const QModelIndex &item) {
    if (!item.isValid()) {
        return;
    }
    if (listModel_->isDir(item)) {
        SelectFolder(listModel_->filePath(item));
    } else {
        FileNameEdit->setText(listModel_->fileName(item));
        OKActionExecute();
    }
}

void TLocalFile::Notice(const QString &text) {
    NoticeLabel->setText(text);
    NoticeLabel->setVisible(!text.isEmpty());
}

QString TLocalFile::ShownFolder() const {
    return DirectoryLabel->text().isEmpty() ? QString()
                                            : listModel_->filePath(LocalFileList->rootIndex());
}

void TLocalFile::OKActionExecute() {
    // OK ends the window only with a file to read or write; otherwise it says what is missing
    // and the window stays.
    const QString chosen = DirectoryLabel->text();
    if (chosen.isEmpty()) {
        Notice(QStringLiteral("Choose a folder."));
        ShellTree->setFocus();
        return;
    }
    if (FileNameEdit->text().isEmpty()) {
        if (QDir(chosen) != QDir(ShownFolder())) {
            // A folder selected in the list with no file named: open it.
            SelectFolder(chosen);
            return;
        }
        if (FileNameEdit->isReadOnly()) {
            Notice(QStringLiteral("Choose a file from the list."));
            LocalFileList->setFocus();
        } else {
            Notice(QStringLiteral("Type a name for the file."));
            FileNameEdit->setFocus();
        }
        return;
    }
    QString extension = FileFilter();
    extension.remove(QLatin1Char('*'));
    QString name = FileNameEdit->text();
    // A file to load is named as it is: one typed into the path field may be of another type.
    if (!FileNameEdit->isReadOnly() && !name.endsWith(extension, Qt::CaseInsensitive)) {
        name += extension;
    }
    FileName = chosen.endsWith(QLatin1Char('/')) ? chosen + name : chosen + QLatin1Char('/') + name;
    done(mrOk);
}

void TLocalFile::CancelActionExecute() {
    done(mrCancel);
}

void TLocalFile::FileNameEditKeyPress() {
    OKActionExecute();
}

void TLocalFile::reject() {
    done(mrCancel);
}
