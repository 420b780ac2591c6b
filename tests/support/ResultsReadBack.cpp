#include "support/ResultsReadBack.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "support/TestSupport.h"

QStringList ReadResultsBack(const QByteArray &bytes, const char *form) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("results"));
    WriteBytes(path, bytes);
    QProcess process;
    // Debian's interpreter, whose python3-jsonschema the install script provides.
    process.start(
        QStringLiteral("/usr/bin/python3"),
        {SourcePath(QStringLiteral("tests/cli/read_results.py")),
         SourcePath(QStringLiteral("docs/results.schema.json")), QString::fromLatin1(form), path});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << form << " refused: " << process.readAllStandardError().toStdString()
                      << "\n"
                      << bytes.toStdString();
        return {};
    }
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

QStringList ResultsWithout(const QStringList &lines, const QString &prefix) {
    QStringList kept;
    for (const QString &line : lines) {
        if (!line.startsWith(prefix)) {
            kept << line;
        }
    }
    return kept;
}

QString ResultRow(const QStringList &fields) {
    return fields.join(QLatin1Char('\t'));
}
