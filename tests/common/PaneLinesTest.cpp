#include <gtest/gtest.h>

#include <QTextDocument>

#include "common/TX_Edit.h"

namespace {

// The report body and the map window take a pane's lines as the user sees them.
TEST(PaneLines, AreParagraphsAndSoftBreaksWithoutTheTrailingBreak) {
    QTextDocument pane;
    EXPECT_TRUE(PaneLines(&pane).isEmpty());
    EXPECT_TRUE(PaneLines(nullptr).isEmpty());
    pane.setPlainText(QStringLiteral("a\n\nb\n"));
    EXPECT_EQ(PaneLines(&pane), (QStringList{"a", "", "b"}));
    // Shift+Enter: one paragraph, two visible lines.
    pane.setPlainText(QStringLiteral("a") + QChar(QChar::LineSeparator) + QStringLiteral("b"));
    ASSERT_EQ(pane.blockCount(), 1);
    EXPECT_EQ(PaneLines(&pane), (QStringList{"a", "b"}));
    // A soft break at the end of a paragraph leaves an empty visible line inside the pane.
    pane.setPlainText(QStringLiteral("a") + QChar(QChar::LineSeparator) + QStringLiteral("\nb"));
    EXPECT_EQ(PaneLines(&pane), (QStringList{"a", "", "b"}));
}

}  // namespace
