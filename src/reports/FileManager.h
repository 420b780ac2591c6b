#pragma once

#include <QDialog>

class TLocalFile final : public QDialog {
    Q_OBJECT

public:
    explicit TLocalFile(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern TLocalFile *LocalFile;
