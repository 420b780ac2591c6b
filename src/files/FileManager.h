#pragma once

#include <QDialog>
#include <QString>
#include <QtGlobal>

class QAction;
class QActionGroup;
class QFileSystemModel;
class QItemSelection;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QModelIndex;
class QPoint;
class QSplitter;
class QToolButton;
class QTreeView;
class QUrl;
class QWidget;

// The modes of the file window (the values of FunctionIndex).
enum class TFileMode : quint16 {
    LoadText = 1,    // load  "*.txt"
    SaveRtf = 2,     // save  "*.rtf"
    ExportPdf = 3,   // save  "*.pdf", FileName emptied on showing
    ExportRtf = 4,   // save  "*.rtf", FileName emptied on showing
    ExportHtml = 5,  // save  "*.html"
    LoadRtf = 6,     // load  "*.rtf"
    // The results pane's runs as data for scripts (7 is no mode, as any other value).
    SaveCsv = 8,   // save  "*.csv"
    SaveJson = 9,  // save  "*.json"
};

// What the user chose in the file window.
struct TFileChoice {
    bool Chosen = false;  // closed with OK
    QString Folder;       // the folder shown (DirectoryLabel), empty when none was chosen
    QString Name;         // the name shown (FileNameEdit)
    QString FileName;     // TLocalFile::FileName after OK

    // The file to read: ComposeLoadPath of folder and name; empty when cancelled or without a
    // folder.
    QString LoadPath() const;
    // The file to write: ComposeSavePath of folder and name; empty when cancelled or without a
    // folder.
    QString SavePath() const;
    // The export target: FileName; empty when cancelled or without a folder.
    QString ExportPath() const;
};

// The program's own file window ("File Manager"): a folder tree, a list of the chosen folder's
// files filtered to one type, a bar with the chosen folder's path and a file-name edit.
//
// Callers use Choose(mode, caption), which sets FunctionIndex (and the window title), runs the
// window and returns what was chosen. One instance serves every call, so the chosen folder, the
// tree position, the list's filter, FileName, FunctionIndex and the window title carry over from
// one call to the next.
//
// Modes (FunctionIndex, see TFileMode): in the load modes the name is picked from the list (the
// edit is read-only), in the save modes it is typed. Any other value only empties the edit;
// everything else stays.
class TLocalFile final : public QDialog {
    Q_OBJECT

  public:
    // Modal results of the window.
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit TLocalFile(QWidget *parent = nullptr);

    // Runs the window in `mode` under `caption`, or under the mode's own caption when none is
    // given (so no caption of an earlier call is left standing), and returns what the user chose.
    TFileChoice Choose(TFileMode mode, const QString &caption = QString());

    // Shows the window modally with the mode in FunctionIndex; returns true exactly when it was
    // closed with OK. ModalResult() then tells OK (1) from Cancel (2); closing the window by its
    // frame or Esc counts as Cancel.
    bool Execute();

    // The modal result of the last Execute: mrOk, or mrCancel.
    int ModalResult() const { return result(); }

    // The mode of the next Execute (see the class comment); keeps its value between calls.
    quint16 FunctionIndex = 0;

    // The window's caption for a mode when the caller gives none: "Load text file",
    // "Save RTF file", "Export to PDF", "Export to RTF", "Export to HTML", "Load RTF file",
    // "Save CSV file", "Save JSON file".
    static QString ModeCaption(TFileMode mode);

    // The folder the window opens at when none is chosen yet or the chosen one is gone: the data
    // folder's Lists/ (mode 1), Results/ (modes 2, 8 and 9) or Reports/ (modes 3 to 6), made when
    // missing;
    // the documents folder, then the home folder, when it cannot be made.
    static QString StartFolder(quint16 mode);

    // Set by OK: DirectoryLabel text + "/" (unless the folder already ends with one) +
    // FileNameEdit text, and in the save modes the mode's extension (only when the name does
    // not already end with it, in any letter case); a file to load is named as it stands. OK
    // closes the window only with a folder and a name; without a name it opens a folder
    // selected in the list, or says what is missing in NoticeLabel. Emptied on showing in
    // modes 3 and 4; otherwise kept from the last OK.
    QString FileName;

    // Selects `path` in the folder tree (and so shows it in DirectoryLabel and the list), as if
    // the user had clicked it. Returns false when it is not an existing folder.
    bool SelectFolder(const QString &path);

    // Follows a folder or file path typed or pasted into PathEdit (see ResolveTypedPath; a
    // relative path starts at the folder shown). A folder is shown in the tree and the list. A
    // file is picked as a click in the list picks it, and in the load modes chosen as OK does.
    // In the save modes a new name in an existing folder is taken as the name to save under.
    // Anything else changes nothing and says so in NoticeLabel. Returns true when the path was
    // followed.
    bool GoToPath(const QString &typed);

    // Shows one of the places of the bar above the tree: the home folder, the documents folder
    // or the program's data folder (made when missing). Returns false, with a notice, when the
    // folder is not there.
    bool GoToPlace(const QString &folder);

    // Reads the file system into the folder tree and opens the tree down to the home folder.
    // The window does it on its first opening at the latest; the program asks for it once the
    // main window is on screen, so that the window is ready when the user opens it and the
    // start does not wait for the folders and their pictures to be read. Later calls do nothing.
    void FillFolderTree();

    // The wildcard pattern the file list currently shows ("*.txt" until a mode sets one).
    QString FileFilter() const;

    // The context menu of the folder tree at `pos` (viewport coordinates): open the folder under
    // the pointer, make a new folder in it, OK and Cancel. The caller owns the menu.
    QMenu *ShellTreeMenu(const QPoint &pos);
    // The context menu of the file list at `pos`: open the item under the pointer (a folder is
    // entered, a file is chosen as a double click does), make a new folder in the folder shown,
    // OK and Cancel. The caller owns the menu.
    QMenu *LocalFileListMenu(const QPoint &pos);

    // Copies the local files in `urls` into `folder`, as dropping them onto the file list does.
    // Files already there are left as they are. Returns one line per file that was not copied
    // ("<name>: <reason>"); empty when all were.
    QStringList CopyDroppedFiles(const QList<QUrl> &urls, const QString &folder);

    // Makes a folder named "New Folder" (or "New Folder (2)", ...) in `parent` and shows it.
    // Returns its path, or an empty text when it could not be made.
    QString MakeNewFolder(const QString &parent);

    // Handlers.
    void FormShow();
    void ShellTreeGetSelectedIndex();
    // Shows `path` as the chosen folder: its files in the list, its path in the label.
    void ShowFolder(const QString &path);
    void LocalFileListSelectItem(const QModelIndex &item);
    void OKActionExecute();
    void CancelActionExecute();
    void FileNameEditKeyPress();

    // Components (object names as the members).
    QLabel *DirectoryLabel = nullptr;
    // The places bar: shortcuts to the home, documents and data folders, and the path field.
    QToolButton *HomeButton = nullptr;
    QToolButton *DocumentsButton = nullptr;
    QToolButton *DataFolderButton = nullptr;
    QLabel *PathLabel = nullptr;  // "Go to"
    QLineEdit *PathEdit = nullptr;
    QAction *PathAction = nullptr;  // Ctrl+L: into the path field
    QLabel *RzLabel3 = nullptr;     // "Select folder"
    QTreeView *ShellTree = nullptr;
    QWidget *CentralPanel = nullptr;
    QLabel *FileTypeLabel = nullptr;
    QListView *LocalFileList = nullptr;
    QLabel *AddressLabel = nullptr;  // "File Name"
    QLineEdit *FileNameEdit = nullptr;
    QLabel *ProcessLabel = nullptr;
    // Says what OK misses (a folder, a file name); empty and hidden otherwise.
    QLabel *NoticeLabel = nullptr;
    QToolButton *RzBmpButton2 = nullptr;  // OK
    QLabel *RzLabel4 = nullptr;           // "Cancel"
    QToolButton *RzBmpButton3 = nullptr;  // Cancel
    QActionGroup *LocalFileActionList = nullptr;
    QAction *OKAction = nullptr;
    QAction *CancelAction = nullptr;

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void BuildWindow();
    // The folder tree with its heading, the file list with its heading (both in the splitter),
    // the OK and Cancel commands, and the bar of the file name with the two buttons.
    QWidget *BuildFolderTree();
    QWidget *BuildFileList();
    void BuildActions();
    QWidget *BuildNameBar();
    void ListSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void ListActivated(const QModelIndex &item);
    void BuildShellParts();
    QWidget *BuildPlacesBar();
    void PickListedFile(const QString &path);

    void AddChoiceActions(QMenu *menu);
    void Notice(const QString &text);
    // The folder whose content the list shows; empty before any folder was shown.
    QString ShownFolder() const;
    QString FolderDroppedOn(const QPoint &pos) const;

    bool placed_ = false;
    QFileSystemModel *treeModel_ = nullptr;
    QFileSystemModel *listModel_ = nullptr;
    QSplitter *splitter_ = nullptr;
};
