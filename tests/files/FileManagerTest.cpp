// The file window driven as a user would: modes, keys, folder tree, file list.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <memory>

#include "files/FileManager.h"
#include "support/TestSupport.h"
#include "support/WindowTest.h"

namespace {

void PressKey(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(target, key, modifiers);
}

QStringList ListedNames(const TLocalFile &window) {
    QStringList names;
    const QAbstractItemModel *model = window.LocalFileList->model();
    const QModelIndex root = window.LocalFileList->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row) {
        names.append(model->index(row, 0, root).data().toString());
    }
    names.sort();
    return names;
}

QModelIndex Listed(const TLocalFile &window, const QString &name) {
    const QAbstractItemModel *model = window.LocalFileList->model();
    const QModelIndex root = window.LocalFileList->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex index = model->index(row, 0, root);
        if (index.data().toString() == name) {
            return index;
        }
    }
    return QModelIndex();
}

void ClickItem(TLocalFile &window, const QString &name,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QModelIndex index = Listed(window, name);
    ASSERT_TRUE(index.isValid()) << name.toStdString();
    window.LocalFileList->scrollTo(index);
    QTest::mouseClick(window.LocalFileList->viewport(), Qt::LeftButton, modifiers,
                      window.LocalFileList->visualRect(index).center());
}

void Touch(const QString &path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

class FileWindow : public WindowTest {
  protected:
    // Runs Execute while `whileOpen` acts on the shown window, which it is expected to close.
    static bool RunOpen(TLocalFile &window, const std::function<void()> &whileOpen) {
        return RunModal(
                   &window, [&window] { return window.Execute() ? 1 : 0; }, whileOpen) == 1;
    }

    void SetUp() override {
        folder_ = QDir(dir_.path()).canonicalPath();
        Touch(folder_ + "/a.txt");
        Touch(folder_ + "/b.rtf");
        Touch(folder_ + "/c.pdf");
        QDir(folder_).mkdir(QStringLiteral("sub"));
    }

    // The window makes its start folders below the documents folder: a fresh one per test.
    const ScopedHome home_;
    QTemporaryDir dir_;
    QString folder_;
    TLocalFile window_;
};

}  // namespace

TEST_F(FileWindow, StartsAsDesigned) {
    EXPECT_EQ(window_.objectName(), QStringLiteral("LocalFile"));
    EXPECT_EQ(window_.windowTitle(), QStringLiteral("File Manager"));
    EXPECT_EQ(window_.DirectoryLabel->text(), QString());
    EXPECT_EQ(window_.FileTypeLabel->text(), QStringLiteral("Select file"));
    EXPECT_EQ(window_.ProcessLabel->text(), QStringLiteral("Save file"));
    EXPECT_EQ(window_.AddressLabel->text(), QStringLiteral("File Name"));
    EXPECT_EQ(window_.RzLabel3->text(), QStringLiteral("Select folder"));
    EXPECT_EQ(window_.RzLabel4->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(window_.FileFilter(), QStringLiteral("*.txt"));
    for (const char *name : {"DirectoryLabel", "ShellTree", "LocalFileList", "FileNameEdit",
                             "OKAction", "CancelAction", "CentralPanel", "LocalFileActionList"}) {
        EXPECT_NE(window_.findChild<QObject *>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_TRUE(window_.OKAction->text().isEmpty());
    EXPECT_TRUE(window_.CancelAction->text().isEmpty());
}

TEST_F(FileWindow, EachModeSetsItsRowAndKeepsTheRest) {
    struct Row {
        quint16 mode;
        const char *filter;
        const char *process;
        const char *fileType;
        bool readOnly;
        bool fileNameEmptied;
    } rows[] = {
        // Order matters: what a mode does not set stays from the row before.
        {1, "*.txt", "Load file", "Select text [*.txt] file", true, false},
        {2, "*.rtf", "Save file", "Save as RTF [*.rtf] file", false, false},
        {0, "*.rtf", "Save file", "Save as RTF [*.rtf] file", false, false},
        {6, "*.rtf", "Load file", "Select RTF [*.rtf] file", true, false},
        {7, "*.rtf", "Load file", "Select RTF [*.rtf] file", true, false},
        {3, "*.pdf", "Save file", "Export to PDF [*.pdf] file", false, true},
        {5, "*.html", "Save file", "Export to HTML [*.html] file", false, false},
        {4, "*.rtf", "Save file", "Export to RTF [*.rtf] file", false, true},
        {8, "*.csv", "Save file", "Save as CSV [*.csv] file", false, false},
        {9, "*.json", "Save file", "Save as JSON [*.json] file", false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.mode);
        window_.FunctionIndex = row.mode;
        window_.FileName = QStringLiteral("/previous/name.pdf");
        window_.FileNameEdit->setText(QStringLiteral("stale"));
        window_.setWindowTitle(QStringLiteral("Caption %1").arg(row.mode));
        RunOpen(window_, [&] {
            EXPECT_EQ(window_.FileFilter().toStdString(), row.filter);
            EXPECT_EQ(window_.ProcessLabel->text().toStdString(), row.process);
            EXPECT_EQ(window_.FileTypeLabel->text().toStdString(), row.fileType);
            EXPECT_EQ(window_.FileNameEdit->isReadOnly(), row.readOnly);
            EXPECT_EQ(window_.FileNameEdit->text(), QString());
            EXPECT_EQ(window_.FileName.isEmpty(), row.fileNameEmptied);
            EXPECT_EQ(window_.windowTitle(), QStringLiteral("Caption %1").arg(row.mode));
            window_.CancelAction->trigger();
        });
        EXPECT_EQ(window_.ModalResult(), TLocalFile::mrCancel);
        EXPECT_EQ(window_.FunctionIndex, row.mode);
    }
}

TEST_F(FileWindow, OkComposesFolderNameAndExtension) {
    struct Case {
        quint16 mode;
        const char *typed;
        const char *name;
    } cases[] = {
        {3, "report", "report.pdf"},       {3, "report.pdf", "report.pdf"},
        {3, "report.PDF", "report.PDF"},   {2, "results", "results.rtf"},
        {4, "x.rtf.txt", "x.rtf.txt.rtf"}, {5, "page", "page.html"},
        {8, "runs", "runs.csv"},           {9, "runs.JSON", "runs.JSON"},
    };
    window_.SelectFolder(folder_);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        window_.FunctionIndex = c.mode;
        const bool ok = RunOpen(window_, [&] {
            QTest::keyClicks(window_.FileNameEdit, QString::fromLatin1(c.typed));
            PressKey(window_.FileNameEdit, Qt::Key_Return);
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(window_.ModalResult(), TLocalFile::mrOk);
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_);
        EXPECT_EQ(window_.FileNameEdit->text().toStdString(), c.typed);
        EXPECT_EQ(window_.FileName.toStdString(), (folder_ + "/" + c.name).toStdString());
    }
}

TEST_F(FileWindow, EnterAnywhereIsOkAndEscIsCancel) {
    window_.FunctionIndex = 2;
    EXPECT_TRUE(RunOpen(window_, [&] {
        window_.SelectFolder(folder_);
        QTest::keyClicks(window_.FileNameEdit, QStringLiteral("x"));
        window_.ShellTree->setFocus();
        PressKey(window_.ShellTree, Qt::Key_Enter);
    }));
    EXPECT_EQ(window_.FileName, folder_ + "/x.rtf");

    window_.FileName = QStringLiteral("unchanged");
    EXPECT_FALSE(RunOpen(window_, [&] {
        QTest::keyClicks(window_.FileNameEdit, QStringLiteral("abc"));
        window_.SelectFolder(folder_ + "/sub");
        PressKey(window_.FileNameEdit, Qt::Key_Escape);
    }));
    EXPECT_EQ(window_.ModalResult(), TLocalFile::mrCancel);
    EXPECT_EQ(window_.FileName, QStringLiteral("unchanged"));

    // The folder chosen in the cancelled call is still there in the next one.
    EXPECT_FALSE(RunOpen(window_, [&] {
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_ + "/sub");
        window_.close();  // the window frame's close box
    }));
    EXPECT_EQ(window_.ModalResult(), TLocalFile::mrCancel);
}

TEST_F(FileWindow, ListFiltersByModeAndFillsNameAndFolder) {
    window_.SelectFolder(folder_);
    window_.FunctionIndex = 1;
    EXPECT_TRUE(RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).size() == 2; }))
            << ListedNames(window_).join(',').toStdString();
        EXPECT_EQ(ListedNames(window_), (QStringList{"a.txt", "sub"}));
        ClickItem(window_, QStringLiteral("a.txt"));
        EXPECT_EQ(window_.FileNameEdit->text(), QStringLiteral("a.txt"));
        // Ctrl-click takes the file off the selection; its name stays.
        ClickItem(window_, QStringLiteral("a.txt"), Qt::ControlModifier);
        EXPECT_TRUE(window_.LocalFileList->selectionModel()->selectedIndexes().isEmpty());
        EXPECT_EQ(window_.FileNameEdit->text(), QStringLiteral("a.txt"));
        // Selecting a folder in the list chooses it without opening it.
        ClickItem(window_, QStringLiteral("sub"));
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_ + "/sub");
        EXPECT_EQ(ListedNames(window_), (QStringList{"a.txt", "sub"}));
        window_.OKAction->trigger();
    }));
    EXPECT_EQ(window_.FileName, folder_ + "/sub/a.txt");

    window_.SelectFolder(folder_);
    window_.FunctionIndex = 6;
    EXPECT_FALSE(RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).contains("b.rtf"); }));
        EXPECT_EQ(ListedNames(window_), (QStringList{"b.rtf", "sub"}));
        // A read-only edit: typing changes nothing, the list is the only way to fill it.
        QTest::keyClicks(window_.FileNameEdit, QStringLiteral("typed"));
        EXPECT_EQ(window_.FileNameEdit->text(), QString());
        window_.CancelAction->trigger();
    }));
    EXPECT_EQ(window_.DirectoryLabel->text(), folder_);
    EXPECT_EQ(window_.FileNameEdit->text(), QString());

    window_.FunctionIndex = 3;
    EXPECT_FALSE(RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).contains("c.pdf"); }));
        EXPECT_EQ(ListedNames(window_), (QStringList{"c.pdf", "sub"}));
        // Double-clicking a folder opens it in the tree and the list.
        const QModelIndex sub = Listed(window_, QStringLiteral("sub"));
        QTest::mouseDClick(window_.LocalFileList->viewport(), Qt::LeftButton, {},
                           window_.LocalFileList->visualRect(sub).center());
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_ + "/sub");
        EXPECT_TRUE(WaitUntil([&] { return ListedNames(window_).isEmpty(); }));
        window_.CancelAction->trigger();
    }));
}

// The entries of a context menu by their texts, separators left out.
QStringList MenuTexts(const QMenu &menu) {
    QStringList texts;
    for (const QAction *action : menu.actions()) {
        if (!action->isSeparator()) {
            texts.append(action->text() + (action->isEnabled() ? "" : " (off)"));
        }
    }
    return texts;
}

QAction *MenuEntry(const QMenu &menu, const QString &text) {
    for (QAction *action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    ADD_FAILURE() << "no menu entry " << text.toStdString();
    return nullptr;
}

TEST_F(FileWindow, ContextMenusOpenMakeFoldersAndChoose) {
    window_.SelectFolder(folder_);
    window_.FunctionIndex = 1;
    EXPECT_TRUE(RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).size() == 2; }));
        // On a folder in the list: Open enters it, as a double click does.
        const QPoint onSub = window_.LocalFileList->visualRect(Listed(window_, "sub")).center();
        std::unique_ptr<QMenu> menu(window_.LocalFileListMenu(onSub));
        EXPECT_EQ(MenuTexts(*menu), (QStringList{"Open", "New folder", "OK", "Cancel"}));
        MenuEntry(*menu, "Open")->trigger();
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_ + "/sub");

        // On the empty list of that folder: nothing to open, a new folder lands in it.
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).isEmpty(); }));
        menu.reset(window_.LocalFileListMenu(QPoint(5, 5)));
        EXPECT_EQ(MenuTexts(*menu), (QStringList{"Open (off)", "New folder", "OK", "Cancel"}));
        MenuEntry(*menu, "New folder")->trigger();
        EXPECT_TRUE(QFileInfo(folder_ + "/sub/New Folder").isDir());
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_ + "/sub/New Folder");

        // The tree's menu on the node shown: a second new folder gets the next free name, and
        // Open goes back.
        const QModelIndex node = window_.ShellTree->currentIndex();
        const QPoint onNode = window_.ShellTree->visualRect(node.parent()).center();
        menu.reset(window_.ShellTreeMenu(onNode));
        EXPECT_EQ(MenuTexts(*menu), (QStringList{"Open", "New folder", "OK", "Cancel"}));
        MenuEntry(*menu, "New folder")->trigger();
        EXPECT_TRUE(QFileInfo(folder_ + "/sub/New Folder (2)").isDir());
        menu.reset(window_.ShellTreeMenu(
            window_.ShellTree->visualRect(window_.ShellTree->currentIndex().parent().parent())
                .center()));
        MenuEntry(*menu, "Open")->trigger();
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_);

        // Open on a file chooses it and closes the window with OK.
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).contains("a.txt"); }));
        menu.reset(window_.LocalFileListMenu(
            window_.LocalFileList->visualRect(Listed(window_, "a.txt")).center()));
        MenuEntry(*menu, "Open")->trigger();
    }));
    EXPECT_EQ(window_.FileName, folder_ + "/a.txt");

    // Cancel in a menu is the window's Cancel.
    EXPECT_FALSE(RunOpen(window_, [&] {
        std::unique_ptr<QMenu> menu(window_.ShellTreeMenu(QPoint(-1, -1)));
        EXPECT_EQ(MenuTexts(*menu),
                  (QStringList{"Open (off)", "New folder (off)", "OK", "Cancel"}));
        MenuEntry(*menu, "Cancel")->trigger();
    }));
}

TEST_F(FileWindow, DroppedFilesAreCopiedIntoTheFolderShown) {
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.path() + "/dropped.txt";
    {
        QFile file(outside);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("10.0.0.1\n");
    }
    window_.SelectFolder(folder_);
    window_.FunctionIndex = 1;
    EXPECT_FALSE(RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).size() == 2; }));
        QWidget *viewport = window_.LocalFileList->viewport();
        const auto drop = [&](const QList<QUrl> &urls, const QPoint &at) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &enter);
            QDropEvent dropped(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                               {});
            QApplication::sendEvent(viewport, &dropped);
            return enter.isAccepted() && dropped.isAccepted();
        };
        // Onto the list's free space: into the folder shown, the original stays.
        EXPECT_TRUE(drop({QUrl::fromLocalFile(outside)}, QPoint(5, viewport->height() - 5)));
        EXPECT_TRUE(WaitUntil([&] { return ListedNames(window_).contains("dropped.txt"); }));
        EXPECT_TRUE(QFileInfo::exists(outside));
        QFile copy(folder_ + "/dropped.txt");
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), QByteArray("10.0.0.1\n"));
        // Onto a folder item: into that folder.
        const QPoint onSub = window_.LocalFileList->visualRect(Listed(window_, "sub")).center();
        EXPECT_TRUE(drop({QUrl::fromLocalFile(outside)}, onSub));
        EXPECT_TRUE(QFileInfo::exists(folder_ + "/sub/dropped.txt"));
        // Web addresses are not files: refused.
        EXPECT_FALSE(drop({QUrl(QStringLiteral("http://127.0.0.1/x.txt"))}, QPoint(5, 5)));
        window_.CancelAction->trigger();
    }));

    // A name already there is not overwritten, and says so; a missing file likewise.
    {
        QFile file(folder_ + "/a.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("kept");
    }
    QFile other(elsewhere.path() + "/a.txt");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    const QStringList failures =
        window_.CopyDroppedFiles({QUrl::fromLocalFile(elsewhere.path() + "/a.txt"),
                                  QUrl::fromLocalFile(elsewhere.path() + "/missing.txt")},
                                 folder_);
    EXPECT_EQ(failures, (QStringList{"a.txt: a file of that name is already there",
                                     "missing.txt: not a file"}));
    QFile kept(folder_ + "/a.txt");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("kept"));
}

TEST_F(FileWindow, FirstOpeningIsAtTheDataFolderOfTheMode) {
    const QString data = QDir(home_.Documents()).filePath(QStringLiteral("Haldrin/Tarvex"));
    // The first opening makes and shows the mode's folder; a later one keeps the last folder
    // used, unless it has gone.
    const struct {
        quint16 mode;
        QString before;  // chosen before opening; empty for none
        QString shown;
    } cases[] = {
        {1, QString(), data + "/Lists"},
        {3, QString(), data + "/Lists"},
        {3, folder_, folder_},
        {2, folder_ + "/gone", data + "/Results"},
        {5, folder_ + "/gone", data + "/Reports"},
        {9, folder_ + "/gone", data + "/Results"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        if (!c.before.isEmpty()) {
            QDir().mkpath(c.before);
            ASSERT_TRUE(window_.SelectFolder(c.before));
            if (c.before.endsWith("gone")) {
                QDir(c.before).removeRecursively();
                // The tree learns of it in its own time, as it would while the window is closed.
                const auto *tree =
                    qobject_cast<const QFileSystemModel *>(window_.ShellTree->model());
                WaitUntil([&] { return !tree->index(c.before).isValid(); }, 5000);
            }
        }
        window_.FunctionIndex = c.mode;
        RunOpen(window_, [&] {
            EXPECT_EQ(window_.DirectoryLabel->text(), c.shown);
            EXPECT_TRUE(QFileInfo(c.shown).isDir());
            const auto *model = qobject_cast<const QFileSystemModel *>(window_.ShellTree->model());
            ASSERT_NE(model, nullptr);
            const QModelIndex node = model->index(c.shown);
            EXPECT_EQ(window_.ShellTree->selectionModel()->selectedRows(), QModelIndexList{node});
            for (QModelIndex level = node.parent(); level.isValid(); level = level.parent()) {
                EXPECT_TRUE(window_.ShellTree->isExpanded(level))
                    << model->filePath(level).toStdString();
            }
            window_.CancelAction->trigger();
        });
    }
}

TEST_F(FileWindow, FoldersFilesAndTheRootHaveTheStylesPictures) {
    window_.SelectFolder(folder_);
    window_.FunctionIndex = 1;
    RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).size() == 2; }));
        const auto picture = [](const QModelIndex &index) {
            return qvariant_cast<QIcon>(index.data(Qt::DecorationRole)).pixmap(16).toImage();
        };
        const auto stylePicture = [](QStyle::StandardPixmap which) {
            return QApplication::style()->standardIcon(which).pixmap(16).toImage();
        };
        const QAbstractItemModel *tree = window_.ShellTree->model();
        const struct {
            const char *what;
            QModelIndex index;
            QStyle::StandardPixmap expected;
        } cases[] = {
            {"folder in the list", Listed(window_, QStringLiteral("sub")), QStyle::SP_DirIcon},
            {"file in the list", Listed(window_, QStringLiteral("a.txt")), QStyle::SP_FileIcon},
            {"root of the tree", tree->index(0, 0), QStyle::SP_DriveHDIcon},
            {"folder in the tree", window_.ShellTree->currentIndex(), QStyle::SP_DirIcon},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_TRUE(c.index.isValid());
            EXPECT_TRUE(WaitUntil([&] { return picture(c.index) == stylePicture(c.expected); }));
        }
        window_.CancelAction->trigger();
    });
}

TEST_F(FileWindow, OkWithoutANameOrFolderSaysWhatIsMissingAndStays) {
    const auto notice = [&] {
        return window_.NoticeLabel->isVisible() ? window_.NoticeLabel->text() : QString();
    };
    window_.SelectFolder(folder_);
    for (quint16 mode : {2, 3, 4, 5}) {
        SCOPED_TRACE(mode);
        window_.FunctionIndex = mode;
        EXPECT_TRUE(RunOpen(window_, [&] {
            EXPECT_EQ(notice(), QString());
            PressKey(window_.FileNameEdit, Qt::Key_Return);
            EXPECT_TRUE(window_.isVisible());
            EXPECT_EQ(notice(), QStringLiteral("Type a name for the file."));
            EXPECT_TRUE(window_.FileNameEdit->hasFocus());
            // Typing takes the notice away; then OK ends the window.
            QTest::keyClicks(window_.FileNameEdit, QStringLiteral("named"));
            EXPECT_EQ(notice(), QString());
            PressKey(window_.FileNameEdit, Qt::Key_Return);
        }));
        EXPECT_TRUE(window_.FileName.startsWith(folder_ + "/named."));
    }

    // A load mode: no file picked from the list, then a folder picked in the list (OK opens it),
    // then no folder at all.
    window_.FunctionIndex = 1;
    EXPECT_FALSE(RunOpen(window_, [&] {
        ASSERT_TRUE(WaitUntil([&] { return ListedNames(window_).size() == 2; }));
        window_.OKAction->trigger();
        EXPECT_EQ(notice(), QStringLiteral("Choose a file from the list."));
        ClickItem(window_, QStringLiteral("sub"));
        EXPECT_EQ(notice(), QStringLiteral("Choose a file from the list."));
        window_.OKAction->trigger();
        EXPECT_TRUE(window_.isVisible());
        EXPECT_TRUE(WaitUntil([&] { return ListedNames(window_).isEmpty(); }));
        EXPECT_EQ(window_.DirectoryLabel->text(), folder_ + "/sub");
        EXPECT_EQ(window_.ShellTree->selectionModel()->selectedRows().value(0).data().toString(),
                  QStringLiteral("sub"));
        window_.DirectoryLabel->clear();
        window_.OKAction->trigger();
        EXPECT_TRUE(window_.isVisible());
        EXPECT_EQ(notice(), QStringLiteral("Choose a folder."));
        window_.CancelAction->trigger();
    }));
    // The notice belongs to one opening.
    EXPECT_FALSE(RunOpen(window_, [&] {
        EXPECT_EQ(notice(), QString());
        window_.CancelAction->trigger();
    }));
}

TEST_F(FileWindow, ChooseShowsTheCaptionOfTheCallOrOfTheMode) {
    window_.SelectFolder(folder_);
    const struct {
        TFileMode mode;
        const char *caption;
        const char *shown;
    } cases[] = {
        {TFileMode::LoadText, "Load list of addresses", "Load list of addresses"},
        {TFileMode::ExportPdf, "", "Export to PDF"},
        {TFileMode::SaveRtf, "Save results", "Save results"},
        {TFileMode::ExportHtml, "", "Export to HTML"},
        {TFileMode::SaveRtf, "", "Save RTF file"},
        {TFileMode::ExportRtf, "", "Export to RTF"},
        {TFileMode::LoadRtf, "", "Load RTF file"},
        {TFileMode::LoadText, "", "Load text file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shown);
        QString seen;
        QTimer::singleShot(0, &window_, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
            seen = window_.windowTitle();
            window_.CancelAction->trigger();
        });
        EXPECT_FALSE(window_.Choose(c.mode, QString::fromLatin1(c.caption)).Chosen);
        EXPECT_EQ(seen.toStdString(), c.shown);
    }
}

TEST_F(FileWindow, LooksLikeTheDesign) {
    window_.SelectFolder(folder_);
    window_.FunctionIndex = 1;
    RunOpen(window_, [&] {
        WaitUntil([&] { return ListedNames(window_).size() == 2; });
        ClickItem(window_, QStringLiteral("a.txt"));
        // Folders come first, then files, each sorted by name.
        EXPECT_TRUE(WaitUntil([&] {
            const QAbstractItemModel *model = window_.LocalFileList->model();
            const QModelIndex root = window_.LocalFileList->rootIndex();
            return model->rowCount(root) == 2 && model->index(0, 0, root).data() == "sub";
        }));
        const QImage shot = window_.grab().toImage();
        EXPECT_EQ(shot.size(), QSize(720, 397));
        // The dark background of the design.
        EXPECT_EQ(shot.pixelColor(2, shot.height() - 2), QColor(62, 62, 62));
        const QString saveTo = qEnvironmentVariable("TARVEX_SCREENSHOT_DIR");
        if (!saveTo.isEmpty()) {
            shot.save(saveTo + "/FileManager.png");
        }
        window_.CancelAction->trigger();
    });
}

// Types `text` into the path field and presses Enter there.
void GoTo(TLocalFile &window, const QString &text) {
    window.PathEdit->setFocus();
    window.PathEdit->clear();
    QTest::keyClicks(window.PathEdit, text);
    PressKey(window.PathEdit, Qt::Key_Return);
}

TEST_F(FileWindow, ThePathFieldOpensFoldersAndPicksFiles) {
    const auto notice = [&] {
        return window_.NoticeLabel->isVisible() ? window_.NoticeLabel->text() : QString();
    };
    const QString missing = folder_ + "/sub/none/x.rtf";
    // In a save mode the window stays open through every path; each row starts in folder_.
    const struct {
        const char *what;
        QString typed;
        QString folder;  // shown afterwards
        QString name;    // in the file-name edit afterwards
        QString notice;
    } cases[] = {
        {"folder", folder_ + "/sub", folder_ + "/sub", {}, {}},
        {"relative folder", " sub/ ", folder_ + "/sub", {}, {}},
        {"home", "~", home_.Path(), {}, {}},
        {"folder as a URL",
         QUrl::fromLocalFile(folder_ + "/sub").toString(),
         folder_ + "/sub",
         {},
         {}},
        {"file of the mode, pasted in quotes",
         "\"" + folder_ + "/sub/../b.rtf\"",
         folder_,
         "b.rtf",
         {}},
        {"file of another type", folder_ + "/a.txt", folder_, "a.txt", {}},
        {"new name in a folder", folder_ + "/sub/new.rtf", folder_ + "/sub", "new.rtf", {}},
        {"missing folder",
         missing,
         folder_,
         {},
         QStringLiteral("There is no file or folder \"%1\".").arg(missing)},
        {"new name ending as a folder",
         folder_ + "/newfolder/",
         folder_,
         {},
         QStringLiteral("There is no file or folder \"%1\".").arg(folder_ + "/newfolder")},
        {"web address",
         "http://127.0.0.1/x",
         folder_,
         {},
         QStringLiteral("There is no file or folder \"http://127.0.0.1/x\".")},
    };
    window_.FunctionIndex = 2;
    EXPECT_TRUE(RunOpen(window_, [&] {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.what);
            window_.SelectFolder(folder_);
            window_.FileNameEdit->clear();
            GoTo(window_, c.typed);
            ASSERT_TRUE(window_.isVisible());
            EXPECT_EQ(window_.DirectoryLabel->text(), c.folder);
            EXPECT_EQ(window_.FileNameEdit->text(), c.name);
            EXPECT_EQ(notice(), c.notice);
            // A path followed leaves the field for the next; one that was not stays to be put
            // right, until it is edited.
            EXPECT_EQ(window_.PathEdit->text().isEmpty(), c.notice.isEmpty());
            if (!c.notice.isEmpty()) {
                QTest::keyClick(window_.PathEdit, Qt::Key_Backspace);
                EXPECT_EQ(notice(), QString());
            }
        }
        // A file listed in the mode is selected in the list too; OK then saves under its name.
        GoTo(window_, folder_ + "/b.rtf");
        EXPECT_TRUE(WaitUntil([&] {
            return window_.LocalFileList->selectionModel()->isSelected(
                Listed(window_, QStringLiteral("b.rtf")));
        }));
        EXPECT_TRUE(window_.FileNameEdit->hasFocus());
        PressKey(window_.FileNameEdit, Qt::Key_Return);
    }));
    EXPECT_EQ(window_.FileName, folder_ + "/b.rtf");
}

TEST_F(FileWindow, APathToAFileInALoadModeChoosesIt) {
    WriteBytes(folder_ + "/sub/hosts.csv", "10.0.0.1\n");
    struct {
        quint16 mode;
        QString typed;
        QString folder;
        QString name;
    } cases[] = {
        {1, folder_ + "/a.txt", folder_, "a.txt"},
        {6, "sub/hosts.csv", folder_ + "/sub", "hosts.csv"},  // named as it is, not ".rtf" added
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        window_.SelectFolder(folder_);
        window_.FunctionIndex = c.mode;
        const bool chosen = RunOpen(window_, [&] {
            // A missing file first: the window says so and stays.
            GoTo(window_, folder_ + "/none.txt");
            EXPECT_TRUE(window_.isVisible());
            EXPECT_EQ(
                window_.NoticeLabel->text(),
                QStringLiteral("There is no file or folder \"%1\".").arg(folder_ + "/none.txt"));
            GoTo(window_, c.typed);
        });
        EXPECT_TRUE(chosen);
        EXPECT_EQ(window_.DirectoryLabel->text(), c.folder);
        EXPECT_EQ(window_.FileNameEdit->text(), c.name);
        EXPECT_EQ(window_.FileName, c.folder + "/" + c.name);
    }
}

TEST_F(FileWindow, PlacesOpenTheHomeDocumentsAndDataFolders) {
    const QString data = QDir(home_.Documents()).filePath(QStringLiteral("Haldrin/Tarvex"));
    window_.FunctionIndex = 1;
    EXPECT_FALSE(RunOpen(window_, [&] {
        // The window has made the data folder's Lists/ to open at; the button makes the data
        // folder again should it have gone.
        ASSERT_TRUE(QDir(data).removeRecursively());
        const struct {
            QToolButton *button;
            QString folder;
        } cases[] = {
            {window_.HomeButton, home_.Path()},
            {window_.DocumentsButton, home_.Documents()},
            {window_.DataFolderButton, data},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.button->text().toStdString());
            window_.SelectFolder(folder_);
            QTest::mouseClick(c.button, Qt::LeftButton);
            EXPECT_EQ(window_.DirectoryLabel->text(), c.folder);
            EXPECT_TRUE(QFileInfo(c.folder).isDir());
            EXPECT_EQ(window_.ShellTree->selectionModel()->selectedRows().value(0).data(
                          QFileSystemModel::FilePathRole),
                      c.folder);
        }
        // Ctrl+L goes to the path field, as in desktop file windows.
        window_.LocalFileList->setFocus();
        PressKey(window_.LocalFileList, Qt::Key_L, Qt::ControlModifier);
        EXPECT_TRUE(window_.PathEdit->hasFocus());
        window_.CancelAction->trigger();
    }));
}
