// Files, the program's directory and the date and time texts.
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
QString &projectDir() {
    static QString dir;
    return dir;
}
} // namespace

QString GetProjectDir() {
    if (!projectDir().isEmpty()) return projectDir();
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void SetProjectDir(const QString &dir) {
    projectDir() = QDir::cleanPath(dir);
}

namespace {
bool WritableDir(const QString &dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}
} // namespace

QString ConfigDirFor(const QString &programDir) {
    if (WritableDir(programDir)) return programDir;
    const QString dir = JoinPath(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), "tolvane");
    QDir().mkpath(dir);
    return dir;
}

QString DataDirFor(const QString &programDir) {
    return WritableDir(programDir) ? programDir : QDir::homePath();
}

QString JoinPath(const QString &dir, const QString &name) {
    if (dir.isEmpty()) return name;
    if (dir.endsWith(QLatin1Char('/'))) return dir + name;
    return dir + QLatin1Char('/') + name;
}

bool FileExists(const QString &path, qint64 *size) {
    const QFileInfo info(path);
    const bool exists = info.exists() && info.isFile();
    if (size) *size = exists ? info.size() : -1;
    return exists;
}

bool ReadTextLines(const QString &path, QStringList *lines, int maxLines, QString *problem) {
    auto refuse = [problem](const QString &why) {
        if (problem) *problem = why;
        return false;
    };
    // Devices and pipes have no size to check and may never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return refuse(QStringLiteral("is not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse(QStringLiteral("cannot be read"));
    // A file chosen by mistake (a log, an image) is refused from its size
    // before any of it is read.
    if (file.size() > kTextFileMaxBytes)
        return refuse(QStringLiteral("is larger than %1 bytes").arg(kTextFileMaxBytes));
    QStringList read;
    while (maxLines < 0 || read.size() < maxLines) {
        if (read.size() == kTextFileMaxLines) {
            if (file.atEnd()) break;
            return refuse(QStringLiteral("has more than %1 lines").arg(kTextFileMaxLines));
        }
        QByteArray line = file.readLine(kTextFileMaxLineLength + 2);
        if (line.isEmpty()) break;
        if (line.endsWith('\n'))
            line.chop(1);
        else if (!file.atEnd())
            return refuse(
                QStringLiteral("has a line longer than %1 characters").arg(kTextFileMaxLineLength));
        if (line.endsWith('\r')) line.chop(1);
        // Records padded with zero bytes to a fixed length are text; a zero
        // byte before other bytes is not.
        const qsizetype zero = line.indexOf('\0');
        if (zero >= 0) {
            for (qsizetype i = zero; i < line.size(); ++i)
                if (line[i] != '\0') return refuse(QStringLiteral("is not a text file"));
            line.truncate(zero);
        }
        read.append(QString::fromUtf8(line));
    }
    *lines = read;
    return true;
}

bool WriteFileAtomic(const QString &path, const QByteArray &contents) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // A short write (disk full, size limit) can pass unreported when the
    // contents fit the write buffer: check the size on disk before renaming.
    const bool complete =
        file.write(contents) == contents.size() && file.flush() && file.size() == contents.size();
    if (!complete) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

bool AppendToFile(const QString &path, const QByteArray &contents) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    return file.write(contents) == contents.size() && file.flush();
}

bool DeleteFile(const QString &path) {
    return QFile::remove(path);
}

QString DateStr() {
    return QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy"));
}

QString TimeStr() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}
