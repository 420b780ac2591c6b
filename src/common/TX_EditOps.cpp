#include "common/TX_EditOps.h"

#include <QTextCursor>
#include <QTextEdit>

QTextEdit *SelectedEditingMemo = nullptr;

void UndoRtfText(QObject *) {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->undo();
    }
}

void RedoRtfText(QObject *) {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->redo();
    }
}

void CutRtfText(QObject *) {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->cut();
    }
}

void CopyRtfText(QObject *) {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->copy();
    }
}

void PasteRtfText(QObject *) {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->paste();
    }
}

void ClearSelectionRtfText(QObject *) {
    if (SelectedEditingMemo == nullptr) {
        return;
    }
    // Through the pane's own cursor so that the deletion is one undo step of that pane.
    QTextCursor cursor = SelectedEditingMemo->textCursor();
    cursor.removeSelectedText();
    SelectedEditingMemo->setTextCursor(cursor);
}

void SelectAllRtfText(QObject *) {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->selectAll();
    }
}
