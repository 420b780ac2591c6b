#pragma once

class QObject;
class QTextEdit;

// The pane that the text editing commands and the pane file commands act on: the results pane
// after start-up and after clearing everything, the pane that last received the input focus,
// or the hidden scratch pane once an address list has been loaded.
extern QTextEdit *SelectedEditingMemo;

// Editing operations on SelectedEditingMemo. Each takes the command's sender and ignores it;
// each does nothing while no pane is selected.
void UndoRtfText(QObject *Sender);
void RedoRtfText(QObject *Sender);
void CutRtfText(QObject *Sender);
void CopyRtfText(QObject *Sender);
void PasteRtfText(QObject *Sender);
// Deletes the selection; the clipboard is left alone.
void ClearSelectionRtfText(QObject *Sender);
void SelectAllRtfText(QObject *Sender);
