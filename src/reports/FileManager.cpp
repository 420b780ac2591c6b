#include "reports/FileManager.h"

TLocalFile *LocalFile = nullptr;

TLocalFile::TLocalFile(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LocalFile"));
    setWindowTitle(QStringLiteral("File Manager"));
}

int TLocalFile::Execute() { return exec(); }
