// `-` on the command line: stdin where a file is read. What comes from a
// pipe is spooled into a temporary file first, so that it passes the same
// checks (size, line length, text) as a named file and is read once.
#include "cli/Cli.h"

#include "platform/Platform.h"

#include <QFile>
#include <QTemporaryFile>
#include <cstdio>

bool SpoolStdin(QTemporaryFile *spool, qint64 maxBytes, QString *why) {
    if (!spool->open()) {
        *why = QStringLiteral("no temporary file for stdin");
        return false;
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        *why = QStringLiteral("stdin cannot be read");
        return false;
    }
    qint64 total = 0;
    for (;;) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty()) break;
        total += chunk.size();
        if (maxBytes >= 0 && total > maxBytes) break; // the check below says why
        if (spool->write(chunk) != chunk.size()) {
            *why = QStringLiteral("stdin cannot be kept in a temporary file");
            return false;
        }
    }
    spool->flush();
    return true;
}

bool ReadInputLines(const QString &path, QStringList *lines, QString *why) {
    if (!IsStdStream(path)) return ReadTextLines(path, lines, -1, why);
    QTemporaryFile spool;
    return SpoolStdin(&spool, kTextFileMaxBytes + 1, why) &&
           ReadTextLines(spool.fileName(), lines, -1, why);
}

QString InputName(const QString &path) {
    return IsStdStream(path) ? QStringLiteral("stdin") : path;
}
