#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QSplineSeries>
#include <QtCharts/QValueAxis>
#include <functional>
#include <memory>

#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/TX_File.h"
#include "common/TripTimeGraph.h"
#include "settings/Services.h"
#include "settings/SettingsModel.h"
#include "settings/SystemSettingsUnit.h"
#include "support/TestSupport.h"
#include "support/WindowTest.h"

namespace {

const QByteArray kFirstStartFile =
    "[PING SYSTEM SETTINGS]\n"
    "Time Out=4000\n"
    "Buffer Size=32\n"
    "TTL=128\n"
    "Retries No=4\n"
    "NBSaut=30\n"
    "Interval=300\n"
    "Ping No=0\n"
    "\n"
    "[PING GRAPH SETTINGS]\n"
    "Process Graph Color=$00108ABE\n"
    "\n"
    "[PING FONT SETTINGS]\n"
    "Result Color=clGray\n"
    "Debug Color=clGray\n"
    "Info Color=clGray\n"
    "\n"
    "[GOOGLE MAPS ID]\n"
    "Google Maps Key=\n";

class SettingsWindow : public WindowTest {
  protected:
    SettingsWindow() : window_(std::make_unique<TSystemSettings>(&model_)) {}

    // What the main window does on its first showing without a settings file.
    void FirstStart() {
        model_.CreateFileWhenMissing();
        window_->LoadPingSettingsActionExecute();
    }

    void LoadFile(const QByteArray &content) {
        ASSERT_TRUE(CreateNewFolder(SystemFolder()));
        WriteBytes(SettingsFilePath(), content);
        window_->LoadPingSettingsActionExecute();
    }

    // Runs the window modally; `inside` runs once it is shown and must close it.
    int ExecuteWith(const std::function<void()> &inside) {
        return RunModal(
            window_.get(), [this] { return window_->Execute(); }, inside);
    }

    void Press(const char *button) {
        auto *b = window_->findChild<QToolButton *>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }

    QStringList Edits() const {
        return {window_->PingTimeOut->text(), window_->PingBufferSize->text(),
                window_->PingTTL->text(), window_->PingRetries->text()};
    }

    QVector<int> Fields() const {
        const TSettingsValues &v = window_->EditedValues();
        return {v.PingTimeOutValue, v.PingBufferSizeValue, v.PingTTLValue, v.PingRetriesNoValue,
                v.PingNBSautValue,  v.PingIntervalValue,   v.PingNoValue};
    }

    QVector<TColor> Colors() const {
        return {window_->PingGraphColor->SelectedColor(),
                window_->PingResultsColor->SelectedColor(),
                window_->PingDebugColor->SelectedColor(), window_->PingInfoColor->SelectedColor()};
    }

    QColor SampleColor(int line) const {
        const QTextBlock block = window_->TextColorMemo->document()->findBlockByNumber(line);
        return block.begin().fragment().charFormat().foreground().color();
    }

    TSettingsModel model_;
    std::unique_ptr<TSystemSettings> window_;
};

TEST_F(SettingsWindow, FirstStartWritesTheStandardFileAndLoadsIt) {
    FirstStart();
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);
    EXPECT_EQ(Fields(), QVector<int>({4000, 32, 128, 4, 30, 300, 0}));
    EXPECT_EQ(Edits(), QStringList({"4000", "32", "128", "4"}));
    EXPECT_EQ(Colors(), QVector<TColor>({0x108ABE, clGray, clGray, clGray}));
    EXPECT_EQ(window_->ProcessGraphSeriesColor(), ToQColor(0x108ABE));

    // A second start only loads: the file is neither rewritten nor reset.
    TSettingsModel secondModel;
    auto second = std::make_unique<TSystemSettings>(&secondModel);
    second->LoadPingSettingsActionExecute();
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SettingsWindow, LoadOfAPartialFileUsesTheReadDefaults) {
    LoadFile("[PING SYSTEM SETTINGS]\nTime Out=2500\n");
    EXPECT_EQ(Fields(), QVector<int>({2500, 32, 128, 4, 30, 300, 100}));
    EXPECT_EQ(Edits(), QStringList({"2500", "32", "128", "4"}));
    EXPECT_EQ(Colors(), QVector<TColor>({0xFFD680, clGray, clGray, clGray}));
    EXPECT_EQ(window_->ProcessGraphSeriesColor(), ToQColor(0xFFD680));
    EXPECT_EQ(window_->StoredMapKey(), QString());

    // The file removed while the program runs: a load changes nothing.
    ASSERT_TRUE(QFile::remove(SettingsFilePath()));
    window_->PingTimeOutButtonUpClick();
    window_->LoadPingSettingsActionExecute();
    EXPECT_EQ(Fields(), QVector<int>({2600, 32, 128, 4, 30, 300, 100}));
    EXPECT_EQ(Edits(), QStringList({"2600", "32", "128", "4"}));
}

TEST_F(SettingsWindow, SpinButtonsStepAndClamp) {
    struct Row {
        const char *name;
        const char *key;
        int fileValue;
        const char *button;
        QVector<int> expected;  // after each press
    };
    auto range = [](int from, int to, int step) {
        QVector<int> values;
        for (int v = from; step > 0 ? v <= to : v >= to; v += step) {
            values << v;
        }
        return values;
    };
    const Row rows[] = {
        {"time-out ten presses down", "Time Out", 4000, "PingTimeOutButtonDown",
         range(3900, 3000, -100)},
        {"time-out at its minimum", "Time Out", 100, "PingTimeOutButtonDown", {100}},
        {"time-out at its maximum", "Time Out", 10000, "PingTimeOutButtonUp", {10000}},
        {"time-out 50 from the file, down", "Time Out", 50, "PingTimeOutButtonDown", {100}},
        {"time-out 50 from the file, up", "Time Out", 50, "PingTimeOutButtonUp", {150}},
        {"time-out 4050 from the file, down to the limit", "Time Out", 4050,
         "PingTimeOutButtonDown", range(3950, 150, -100) << 100 << 100},
        {"buffer size up to 256", "Buffer Size", 32, "BufferSizeUp", range(40, 256, 8) << 256},
        {"buffer size never below 32", "Buffer Size", 32, "BufferSizeDown", {32}},
        {"TTL down", "TTL", 128, "TTLDown", {64, 64}},
        {"TTL up", "TTL", 64, "TTLUp", {128, 128}},
        {"retries down", "Retries No", 4, "RetriesNoDown", {3, 3}},
        {"retries up", "Retries No", 8, "RetriesNoUp", {9, 10, 10}},
        {"retries 20 from the file, up", "Retries No", 20, "RetriesNoUp", {10}},
        {"retries 20 from the file, down", "Retries No", 20, "RetriesNoDown", {19}},
        {"interval down to its minimum", "Interval", 300, "IntervalDown", {200, 100, 100}},
        {"interval up to its maximum", "Interval", 59800, "IntervalUp", {59900, 60000, 60000}},
        {"interval 50 from the file, down", "Interval", 50, "IntervalDown", {100}},
        {"interval 50 from the file, up", "Interval", 50, "IntervalUp", {150}},
        {"interval 70000 from the file, up", "Interval", 70000, "IntervalUp", {60000}},
        {"interval 70000 from the file, down", "Interval", 70000, "IntervalDown", {69900}},
        {"rate down to no limit", "Rate", 1000, "RateDown", {500, 0, 0}},
        {"rate up to its maximum", "Rate", 99000, "RateUp", {99500, 100000, 100000}},
    };
    // Each key with its field (in the order of Fields()) and its edit.
    const QStringList keys = {"Time Out", "Buffer Size", "TTL", "Retries No", "Interval", "Rate"};
    const int fieldColumns[] = {0, 1, 2, 3, 5, -1};
    // The field a key's spin changes; the rate is not one of Fields().
    const auto field = [this, &fieldColumns](int key) {
        return fieldColumns[key] < 0 ? window_->EditedValues().PingRateValue
                                     : Fields()[fieldColumns[key]];
    };
    QLineEdit *const edits[] = {window_->PingTimeOut, window_->PingBufferSize, window_->PingTTL,
                                window_->PingRetries, window_->PingInterval,   window_->PingRate};
    for (const Row &row : rows) {
        const QByteArray file = QByteArray("[PING SYSTEM SETTINGS]\n") + row.key + "=" +
                                QByteArray::number(row.fileValue) + "\n";
        LoadFile(file);
        const int key = keys.indexOf(QString::fromLatin1(row.key));
        for (int press = 0; press < row.expected.size(); ++press) {
            Press(row.button);
            EXPECT_EQ(field(key), row.expected[press]) << row.name << ", press " << press + 1;
            EXPECT_EQ(edits[key]->text(), QString::number(row.expected[press]))
                << row.name << ", press " << press + 1;
        }
        EXPECT_EQ(ReadBytes(SettingsFilePath()), file) << row.name << ": a press wrote the file";
    }
}

TEST_F(SettingsWindow, EnterSavesWhatTheEditsShowAndClosesWithOk) {
    FirstStart();
    const int result = ExecuteWith([this] {
        Press("TTLDown");
        Press("RetriesNoUp");
        QTest::keyClick(window_.get(), Qt::Key_Return);
    });
    EXPECT_EQ(result, 1);
    QByteArray expected = kFirstStartFile;
    expected.replace("TTL=128", "TTL=64").replace("Retries No=4", "Retries No=5");
    EXPECT_EQ(ReadBytes(SettingsFilePath()), expected);

    // The Apply button does the same.
    EXPECT_EQ(ExecuteWith([this] {
                  Press("PingTimeOutButtonUp");
                  Press("RzBmpButton2");
              }),
              1);
    EXPECT_TRUE(ReadBytes(SettingsFilePath()).contains("Time Out=4100\n"));
}

TEST_F(SettingsWindow, TheIntervalSpinIsStoredUnderIntervalBesideTheOthers) {
    // The first start writes the file it always wrote; the spin shows its interval.
    FirstStart();
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);
    EXPECT_EQ(window_->PingInterval->text(), QStringLiteral("300"));

    EXPECT_EQ(ExecuteWith([this] {
                  Press("IntervalUp");
                  Press("IntervalUp");
                  Press("RzBmpButton2");
              }),
              1);
    QByteArray expected = kFirstStartFile;
    expected.replace("Interval=300", "Interval=500");
    EXPECT_EQ(ReadBytes(SettingsFilePath()), expected);
    // The next start shows it again; the standard set puts 300 back without writing.
    TSettingsModel nextModel;
    auto next = std::make_unique<TSystemSettings>(&nextModel);
    next->LoadPingSettingsActionExecute();
    EXPECT_EQ(next->PingInterval->text(), QStringLiteral("500"));
    EXPECT_EQ(next->EditedValues().PingIntervalValue, 500);
    next->SetStandardSettingsActionExecute();
    EXPECT_EQ(next->PingInterval->text(), QStringLiteral("300"));
    EXPECT_EQ(ReadBytes(SettingsFilePath()), expected);

    // The spin sits in the column of the other four, below them.
    window_->show();
    for (const QLineEdit *above : {window_->PingRetries, window_->PingTTL}) {
        EXPECT_EQ(window_->PingInterval->x(), above->x());
        EXPECT_GT(window_->PingInterval->y(), above->y());
    }
    EXPECT_TRUE(window_->PingInterval->isVisible());
    window_->hide();
}

TEST_F(SettingsWindow, TheWatchsDownAfterAndNoticesAreStoredInTheirOwnSection) {
    FirstStart();
    EXPECT_EQ(window_->WatchDownAfter->text(), QStringLiteral("3"));
    EXPECT_TRUE(window_->WatchNotifications->isChecked());
    EXPECT_EQ(ExecuteWith([this] {
                  Press("DownAfterDown");
                  Press("DownAfterDown");
                  Press("DownAfterDown");
                  window_->WatchNotifications->click();
                  Press("RzBmpButton2");
              }),
              1);
    // Held at its lowest: one unanswered request. The section is written once it differs from
    // what a file without it reads as.
    const QByteArray expected = kFirstStartFile + "\n[WATCH]\nDown After=1\nNotifications=0\n";
    EXPECT_EQ(ReadBytes(SettingsFilePath()), expected);
    EXPECT_EQ(model_.Values().WatchDownAfterValue, 1);
    EXPECT_EQ(model_.Values().WatchNotificationsValue, 0);

    TSettingsModel nextModel;
    auto next = std::make_unique<TSystemSettings>(&nextModel);
    next->LoadPingSettingsActionExecute();
    EXPECT_EQ(next->WatchDownAfter->text(), QStringLiteral("1"));
    EXPECT_FALSE(next->WatchNotifications->isChecked());
    next->SetStandardSettingsActionExecute();
    EXPECT_EQ(next->WatchDownAfter->text(), QStringLiteral("3"));
    EXPECT_TRUE(next->WatchNotifications->isChecked());
}

TEST_F(SettingsWindow, CancelKeepsTheChangesInTheWindowWithoutSaving) {
    FirstStart();
    EXPECT_EQ(ExecuteWith([this] {
                  Press("RetriesNoUp");
                  Press("PingTimeOutButtonDown");
                  QTest::keyClick(window_.get(), Qt::Key_Escape);
              }),
              2);
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);

    // Reopened: the changed values are there; the frame's close button also cancels.
    QStringList shown;
    EXPECT_EQ(ExecuteWith([this, &shown] {
                  shown = Edits();
                  window_->close();
              }),
              2);
    EXPECT_EQ(shown, QStringList({"3900", "32", "128", "5"}));
    EXPECT_EQ(Fields(), QVector<int>({3900, 32, 128, 5, 30, 300, 0}));
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);

    // And the Cancel button.
    EXPECT_EQ(ExecuteWith([this] { Press("RzBmpButton3"); }), 2);
}

TEST_F(SettingsWindow, DefaultSettingsThenCancel) {
    const QByteArray file =
        "[PING SYSTEM SETTINGS]\nTime Out=2500\nBuffer Size=64\nTTL=64\nRetries No=9\nNBSaut=1\n"
        "Interval=2\nPing No=7\n[PING GRAPH SETTINGS]\nProcess Graph Color=clRed\n"
        "[PING FONT SETTINGS]\nResult Color=clLime\nDebug Color=clBlue\nInfo Color=$00123456\n"
        "[GOOGLE MAPS ID]\nGoogle Maps Key=my-key\n";
    LoadFile(file);
    ASSERT_EQ(Colors(), QVector<TColor>({0x0000FF, 0x00FF00, 0xFF0000, 0x123456}));

    EXPECT_EQ(ExecuteWith([this] {
                  const int pointsBefore = window_->Series1->count();
                  Press("RzBmpButton5");
                  EXPECT_EQ(window_->Series1->count(), pointsBefore);  // the curve stays
                  QTest::keyClick(window_.get(), Qt::Key_Escape);
              }),
              2);

    EXPECT_EQ(Edits(), QStringList({"4000", "32", "128", "4"}));
    EXPECT_EQ(Fields(), QVector<int>({4000, 32, 128, 4, 30, 300, 7}));
    EXPECT_EQ(Colors(), QVector<TColor>({0x108ABE, clGray, clGray, clGray}));
    EXPECT_EQ(window_->ProcessGraphSeriesColor(), ToQColor(0x108ABE));
    for (int line = 0; line < 3; ++line) {
        EXPECT_EQ(SampleColor(line), ToQColor(clGray)) << line;
    }
    EXPECT_EQ(window_->StoredMapKey(), QStringLiteral("my-key"));
    EXPECT_EQ(ReadBytes(SettingsFilePath()), file);
}

TEST_F(SettingsWindow, FailedSaveReportsAndKeepsTheWindowOpen) {
    FirstStart();
    // A file where the folder should be: the folder cannot be made again, the file not written.
    ASSERT_TRUE(QDir(SystemFolder()).removeRecursively());
    WriteBytes(QDir::cleanPath(SystemFolder()), "in the way");

    bool stillOpen = false;
    EXPECT_EQ(ExecuteWith([this, &stillOpen] {
                  QTest::keyClick(window_.get(), Qt::Key_Return);
                  stillOpen = window_->isVisible();
                  QTest::keyClick(window_.get(), Qt::Key_Escape);
              }),
              2);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_.at(0).startsWith(QStringLiteral("Unable to write to ") +
                                         SettingsFilePath() + QStringLiteral(": ")))
        << errors_.at(0).toStdString();
}

TEST_F(SettingsWindow, SystemFolderDeletedWhileRunningIsMadeAgainOnOpening) {
    LoadFile(QByteArray(kFirstStartFile).replace("Ping No=0", "Ping No=12"));
    window_->TTLDownClick();
    window_->PingTimeOutButtonDownClick();
    ASSERT_TRUE(QDir(SystemFolder()).removeRecursively());

    QVector<int> fields;
    QStringList edits;
    bool folderBack = false;
    EXPECT_EQ(ExecuteWith([&] {
                  folderBack = QFileInfo(SystemFolder()).isDir();
                  fields = Fields();
                  edits = Edits();
                  QTest::keyClick(window_.get(), Qt::Key_Escape);
              }),
              2);
    EXPECT_TRUE(folderBack);
    EXPECT_EQ(fields, QVector<int>({4000, 32, 128, 4, 30, 300, 12}));
    EXPECT_EQ(edits, QStringList({"3900", "32", "64", "4"}));
    EXPECT_FALSE(QFileInfo::exists(SettingsFilePath()));
}

TEST_F(SettingsWindow, ColourChoicesRedrawAtOnceAndSaveOnlyOnOk) {
    FirstStart();
    TColorSelector *results = window_->PingResultsColor;
    const int red = results->findText(QStringLiteral("Red"));
    ASSERT_GT(red, 0);
    emit results->activated(red);  // as the drop-down list reports a user's choice
    EXPECT_EQ(results->SelectedColor(), 0x0000FFu);
    EXPECT_EQ(SampleColor(0), QColor(255, 0, 0));
    EXPECT_EQ(SampleColor(1), ToQColor(clGray));

    TColorSelector *info = window_->PingInfoColor;
    emit info->activated(info->findText(QStringLiteral("Money Green")));
    EXPECT_EQ(SampleColor(2), ToQColor(0xC0DCC0));
    EXPECT_EQ(window_->TextColorMemo->toPlainText(),
              QStringLiteral("Results Color ...\nAddress List Color ...\nAddress Information Color "
                             "...\n\nText Default Color ..."));

    // The custom entry opens the colour dialog; a chosen colour is taken, a cancelled one not.
    TColorSelector *graph = window_->PingGraphColor;
    auto answerDialog = [](const QColor &color) {
        QTimer::singleShot(0, [color] {
            ASSERT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }));
            auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (color.isValid()) {
                dialog->setCurrentColor(color);
                dialog->accept();
            } else {
                dialog->reject();
            }
        });
    };
    answerDialog(QColor(0x11, 0x22, 0x33));
    emit graph->activated(0);
    EXPECT_EQ(graph->SelectedColor(), 0x332211u);
    EXPECT_EQ(graph->currentIndex(), 0);
    EXPECT_EQ(window_->ProcessGraphSeriesColor(), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(window_->Series1->color().alpha(), 161);  // 37 % transparent

    answerDialog(QColor());
    emit graph->activated(0);
    EXPECT_EQ(graph->SelectedColor(), 0x332211u);

    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);
    window_->OKActionExecute();
    const QByteArray saved = ReadBytes(SettingsFilePath());
    EXPECT_TRUE(saved.contains("Process Graph Color=$00332211\n"));
    EXPECT_TRUE(saved.contains("Result Color=clRed\n"));
    EXPECT_TRUE(saved.contains("Info Color=clMoneyGreen\n"));
}

TEST_F(SettingsWindow, MapKeyAndServiceAddressesTravelWithTheFile) {
    // The key the map window showed before.
    model_.SetMapKey(QStringLiteral("stale"));
    LoadFile(
        "[GOOGLE MAPS ID]\nGoogle Maps Key=from-file\n[SERVICES]\n"
        "Whois Server=127.0.0.1:4343\n");
    EXPECT_EQ(model_.MapKey(), QStringLiteral("from-file"));
    EXPECT_EQ(ServiceSetting(QStringLiteral("Whois Server"), QStringLiteral("none")),
              QStringLiteral("127.0.0.1:4343"));

    // A key typed in the map window is saved with the window's current values.
    model_.SetMapKey(QStringLiteral("typed"));
    window_->SetStandardSettingsActionExecute();
    EXPECT_EQ(model_.MapKey(), QStringLiteral("typed"));
    window_->SavePingSettingsActionExecute();

    const QByteArray saved = ReadBytes(SettingsFilePath());
    EXPECT_TRUE(saved.contains("Google Maps Key=typed\n"));
    EXPECT_TRUE(saved.contains("[SERVICES]\nWhois Server=127.0.0.1:4343\n"));
    EXPECT_TRUE(saved.contains("Time Out=4000\n"));
    EXPECT_EQ(window_->StoredMapKey(), QStringLiteral("typed"));
}

TEST_F(SettingsWindow, OkHandsTheCopyToTheModelAndCancelKeepsItBack) {
    FirstStart();
    QSignalSpy changed(&model_, &TSettingsModel::Changed);
    EXPECT_EQ(ExecuteWith([this] {
                  Press("RetriesNoUp");
                  Press("PingTimeOutButtonDown");
                  QTest::keyClick(window_.get(), Qt::Key_Escape);
              }),
              2);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(model_.Values().PingRetriesNoValue, 4);
    EXPECT_EQ(model_.Values().PingTimeOutValue, 4000);

    EXPECT_EQ(ExecuteWith([this] {
                  Press("TTLDown");
                  QTest::keyClick(window_.get(), Qt::Key_Return);
              }),
              1);
    EXPECT_EQ(changed.count(), 1);
    // The copy as it stood, edits of the cancelled opening included.
    EXPECT_EQ(model_.Values().PingRetriesNoValue, 5);
    EXPECT_EQ(model_.Values().PingTimeOutValue, 3900);
    EXPECT_EQ(model_.Values().PingTTLValue, 64);

    // A reading of the file gives the window's copy back the stored values: edits left by a
    // Cancel go.
    window_->RetriesNoUpClick();
    ASSERT_TRUE(model_.Load());
    EXPECT_EQ(Edits(), QStringList({"3900", "32", "64", "5"}));
    EXPECT_EQ(Fields(), QVector<int>({3900, 32, 64, 5, 30, 300, 0}));
}

TEST_F(SettingsWindow, PreviewCurveIsDrawnAfreshOnEveryOpening) {
    FirstStart();
    QList<QPointF> first;
    QList<QPointF> second;
    auto grabPoints = [this](QList<QPointF> *points) {
        return [this, points] {
            *points = window_->Series1->points();
            window_->CancelActionExecute();
        };
    };
    ExecuteWith(grabPoints(&first));
    ExecuteWith(grabPoints(&second));
    ASSERT_EQ(first.size(), 31);
    ASSERT_EQ(second.size(), 31);
    EXPECT_NE(first, second);
    for (int i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].x(), 2 * i);
        EXPECT_GE(first[i].y(), 8);
        EXPECT_LE(first[i].y(), 31);
    }
    QLineSeries *marks = nullptr;
    for (QAbstractSeries *series : window_->ProcessGraph->chart()->series()) {
        if (series->objectName() == QStringLiteral("Series1Marks")) {
            marks = qobject_cast<QLineSeries *>(series);
        }
    }
    ASSERT_NE(marks, nullptr);
    EXPECT_EQ(marks->points(), QList<QPointF>({second[0], second[10], second[20], second[30]}));
    // Each mark's value is written in the plot.
    auto *graph = dynamic_cast<TTripTimeGraph *>(window_->ProcessGraph);
    ASSERT_NE(graph, nullptr);
    QStringList values;
    for (int i : {0, 10, 20, 30}) {
        values << QString::number(second[i].y(), 'g', 6);
    }
    EXPECT_EQ(graph->MarkTexts(), values);
    for (QAbstractAxis *axis : window_->Series1->attachedAxes()) {
        if (axis->orientation() == Qt::Horizontal) {
            EXPECT_EQ(qobject_cast<QValueAxis *>(axis)->min(), 0);
            EXPECT_EQ(qobject_cast<QValueAxis *>(axis)->max(), 60);
        }
    }
}

TEST_F(SettingsWindow, PreviewChartPansSidewaysOnlyAndDoesNotZoom) {
    FirstStart();
    QValueAxis *axisX = nullptr;
    QValueAxis *axisY = nullptr;
    for (QAbstractAxis *axis : window_->Series1->attachedAxes()) {
        (axis->orientation() == Qt::Horizontal ? axisX : axisY) = qobject_cast<QValueAxis *>(axis);
    }
    ASSERT_NE(axisX, nullptr);
    ASSERT_NE(axisY, nullptr);
    QPair<qreal, qreal> yBefore;
    QPair<qreal, qreal> afterDrag;
    QPair<qreal, qreal> yAfterDrag;
    QPair<qreal, qreal> afterWheel;
    ExecuteWith([&] {
        QWidget *view = window_->ProcessGraph->viewport();
        const QPoint middle = view->rect().center();
        yBefore = {axisY->min(), axisY->max()};
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, middle);
        QTest::mouseMove(view, middle + QPoint(-40, 30));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, middle + QPoint(-40, 30));
        afterDrag = {axisX->min(), axisX->max()};
        yAfterDrag = {axisY->min(), axisY->max()};
        QWheelEvent wheel(QPointF(middle), view->mapToGlobal(QPointF(middle)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        afterWheel = {axisX->min(), axisX->max()};
        window_->CancelActionExecute();
    });
    EXPECT_GT(afterDrag.first, 0);  // dragged to the left: later values come into view
    EXPECT_NEAR(afterDrag.second - afterDrag.first, 60, 1e-6);
    EXPECT_EQ(yAfterDrag, yBefore);
    EXPECT_EQ(afterWheel, afterDrag);

    // The next opening starts from 0 to 60 again.
    ExecuteWith([this] { window_->CancelActionExecute(); });
    EXPECT_EQ(axisX->min(), 0);
    EXPECT_EQ(axisX->max(), 60);
}

TEST_F(SettingsWindow, ControlsCarryTheirNamesCaptionsAndHints) {
    EXPECT_EQ(window_->objectName(), QStringLiteral("SystemSettings"));
    EXPECT_EQ(window_->size(), QSize(602, 309));
    EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
    EXPECT_EQ(window_->windowTitle(), QString());

    const struct {
        const char *name;
        const char *caption;
    } labels[] = {
        {"RzLabel3", "Ping Settings"},
        {"RzLabel5", "Default settings"},
        {"Label6", "Time out in milesecond to wite"},
        {"Label8", "Send data request buffer size"},
        {"Label10", "Time to live [ TTL ]"},
        {"Label11", "Retries number"},
        {"IntervalLabel", "Ping until stopped, every [ ms ]"},
        {"Label12", "Process graph color"},
        {"Label3", "Results color"},
        {"Label2", "Address list color"},
        {"Label4", "Address information color"},
        {"RzLabel4", "Cancel"},
        {"ProcessLabel", "Apply"},
    };
    for (const auto &l : labels) {
        auto *label = window_->findChild<QLabel *>(QString::fromLatin1(l.name));
        ASSERT_NE(label, nullptr) << l.name;
        EXPECT_EQ(label->text(), QString::fromLatin1(l.caption)) << l.name;
    }
    const struct {
        const char *name;
        const char *hint;
    } buttons[] = {
        {"PingTimeOutButtonDown", "Receive Timeout [-]"},
        {"PingTimeOutButtonUp", "Receive Timeout [+]"},
        {"BufferSizeDown", "Interval [-]"},
        {"BufferSizeUp", "Interval [+]"},
        {"TTLDown", "Interval [-]"},
        {"TTLUp", "Interval [+]"},
        {"RetriesNoDown", "Interval [-]"},
        {"RetriesNoUp", "Interval [+]"},
        {"IntervalDown", "Interval [-]"},
        {"IntervalUp", "Interval [+]"},
    };
    for (const auto &b : buttons) {
        auto *button = window_->findChild<QToolButton *>(QString::fromLatin1(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.hint)) << b.name;
    }
    for (const char *name :
         {"PingTimeOut", "PingBufferSize", "PingTTL", "PingRetries", "PingInterval"}) {
        auto *edit = window_->findChild<QLineEdit *>(QString::fromLatin1(name));
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_TRUE(edit->isReadOnly()) << name;
        EXPECT_EQ(edit->alignment() & Qt::AlignHCenter, Qt::AlignHCenter) << name;
    }
    for (const char *name :
         {"RzPanel1", "RzPanel12", "RzPanel2", "RzPanel5", "ProcessGraph", "TextColorMemo",
          "RzBmpButton2", "RzBmpButton3", "RzBmpButton5", "PingGraphColor", "PingResultsColor",
          "PingDebugColor", "PingInfoColor"}) {
        EXPECT_NE(window_->findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
    }
    const struct {
        const char *name;
        QList<QKeySequence> shortcuts;
    } actions[] = {
        {"OKAction", {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}},
        {"CancelAction", {QKeySequence(Qt::Key_Escape)}},
        {"SetStandardSettingsAction", {}},
        {"SavePingSettingsAction", {}},
        {"LoadPingSettingsAction", {}},
    };
    for (const auto &a : actions) {
        auto *action = window_->findChild<QAction *>(QString::fromLatin1(a.name));
        ASSERT_NE(action, nullptr) << a.name;
        EXPECT_EQ(action->shortcuts(), a.shortcuts) << a.name;
        EXPECT_EQ(action->property("category").toString(), QStringLiteral("[ SYSTEM SETTINGS ]"));
    }
    EXPECT_EQ(window_->RzBmpButton2->defaultAction(), window_->OKAction);
    EXPECT_EQ(window_->RzBmpButton3->defaultAction(), window_->CancelAction);
    EXPECT_EQ(window_->RzBmpButton5->defaultAction(), window_->SetStandardSettingsAction);
    EXPECT_EQ(window_->SavePingSettingsAction->text(), QStringLiteral("SavePingSettingsAction"));
    EXPECT_EQ(window_->LoadPingSettingsAction->text(), QStringLiteral("LoadPingSettingsAction"));
}

}  // namespace

namespace {

// "Map" and "Ask the online geolocation service": shown as the file holds them, changed by the
// user, written on OK only, and kept back by Cancel like every other control.
TEST_F(SettingsWindow, MapChoiceAndServiceSwitchSaveOnOkOnly) {
    FirstStart();
    EXPECT_EQ(window_->MapProviderBox->currentText(), QStringLiteral("Google Maps"));
    EXPECT_EQ(window_->MapProviderBox->count(), 2);
    EXPECT_TRUE(window_->GeolocationServiceCheck->isChecked());
    EXPECT_EQ(window_->GeolocationServiceCheck->text(),
              QStringLiteral("Ask the online geolocation service"));

    const auto choose = [this] {
        window_->MapProviderBox->setFocus();
        QTest::keyClick(window_->MapProviderBox, Qt::Key_Down);
        window_->GeolocationServiceCheck->click();
    };
    EXPECT_EQ(ExecuteWith([&] {
                  choose();
                  Press("RzBmpButton3");  // Cancel
              }),
              2);
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kFirstStartFile);
    EXPECT_EQ(model_.Values().MapChoice, TMapChoice::GoogleMaps);
    EXPECT_EQ(window_->EditedValues().MapChoice, TMapChoice::OpenStreetMap);
    EXPECT_FALSE(window_->EditedValues().AskGeolocationService);

    EXPECT_EQ(ExecuteWith([&] { Press("RzBmpButton2"); }), 1);  // Apply
    EXPECT_EQ(ReadBytes(SettingsFilePath()),
              kFirstStartFile +
                  "\n[MAP SETTINGS]\nMap Provider=OpenStreetMap\nAsk Geolocation Service=0\n");
    EXPECT_EQ(model_.Values().MapChoice, TMapChoice::OpenStreetMap);
    EXPECT_FALSE(model_.Values().AskGeolocationService);

    // "Default settings" leaves both as chosen: it must never start sending addresses again.
    Press("RzBmpButton5");
    EXPECT_EQ(window_->MapProviderBox->currentText(), QStringLiteral("OpenStreetMap"));
    EXPECT_FALSE(window_->GeolocationServiceCheck->isChecked());

    // A file changed behind the window's back shows on the next load.
    LoadFile(kFirstStartFile + "[MAP SETTINGS]\nMap Provider=Google Maps\n");
    EXPECT_EQ(window_->MapProviderBox->currentText(), QStringLiteral("Google Maps"));
    EXPECT_TRUE(window_->GeolocationServiceCheck->isChecked());
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
