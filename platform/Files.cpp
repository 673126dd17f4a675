// Files, the program's directory and the date and time texts.
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

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

// Installed, the program's directory is <prefix>/lib/tolvane (the package's
// /usr/lib/tolvane, or any prefix given to cmake --install).
bool InstalledProgramDir(const QString &programDir) {
    return QDir::cleanPath(programDir).endsWith(QLatin1String("/lib/tolvane"));
}
} // namespace

QString ConfigDirFor(const QString &programDir) {
    // An installed program's configuration belongs to whoever runs it, root
    // too: files in the installation would outlive its removal.
    if (!InstalledProgramDir(programDir) && WritableDir(programDir)) return programDir;
    const QString dir = JoinPath(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), "tolvane");
    QDir().mkpath(dir);
    return dir;
}

QString DataDirFor(const QString &programDir) {
    return !InstalledProgramDir(programDir) && WritableDir(programDir) ? programDir
                                                                       : QDir::homePath();
}

namespace {
// The temporary copy of an atomic write is named <file>.tolvane-save-<pid>-<six
// hex digits>: no person names a file so, and the process number tells whether
// its writer still runs.
constexpr char kSaveMark[] = ".tolvane-save-";

QString SaveCopyName(const QString &path) {
    return QStringLiteral("%1%2%3-%4")
        .arg(path, QLatin1String(kSaveMark))
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->bounded(0x1000000), 6, 16, QLatin1Char('0'));
}

bool ProcessRuns(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}
} // namespace

void RemoveSaveLeftovers(const QStringList &paths) {
    // Only copies this program names so, whose writer has ended, go: any other
    // file beside the configuration is the operator's (a backup, a copy per line).
    for (const QString &path : paths) {
        const QFileInfo info(path);
        const QRegularExpression leftover(
            QStringLiteral("^%1%2([0-9]{1,10})-[0-9a-f]{6}$")
                .arg(QRegularExpression::escape(info.fileName()),
                     QRegularExpression::escape(QLatin1String(kSaveMark))));
        QDir dir = info.dir();
        for (const QFileInfo &entry :
             dir.entryInfoList({info.fileName() + QLatin1String(kSaveMark) + QLatin1Char('*')},
                               QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
            const QRegularExpressionMatch m = leftover.match(entry.fileName());
            if (m.hasMatch() && !ProcessRuns(m.captured(1).toLongLong()))
                QFile::remove(entry.filePath());
        }
    }
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

namespace {
// Bytes 0x80..0x9F of Windows-1252; the five it leaves undefined stay the
// control characters of the same number.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromWindows1252(const QByteArray &bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

bool ValidUtf8(const QList<QByteArray> &lines) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    for (const QByteArray &line : lines) {
        const QString decoded = utf8(line);
        if (utf8.hasError()) return false;
    }
    return true;
}
} // namespace

bool PathExists(const QString &path) {
    return !path.isEmpty() && QFileInfo(path).exists();
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
    QList<QByteArray> read;
    while (maxLines < 0 || read.size() < maxLines) {
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
        read.append(line);
    }
    // Files written by older installations are in the 8-bit character set of
    // their day; text that is valid UTF-8 is taken as UTF-8.
    const bool utf8 = ValidUtf8(read);
    QStringList text;
    text.reserve(read.size());
    for (const QByteArray &line : read)
        text.append(utf8 ? QString::fromUtf8(line) : FromWindows1252(line));
    *lines = text;
    return true;
}

bool WriteFileAtomic(const QString &linkOrPath, const QByteArray &contents) {
    // A file kept elsewhere through a link is replaced there; the link stays.
    const QFileInfo given(linkOrPath);
    const QString path = given.isSymLink() ? given.symLinkTarget() : linkOrPath;
    const QFileInfo target(path);
    QFile file;
    for (int attempt = 0; attempt < 8 && !file.isOpen(); ++attempt) {
        file.setFileName(SaveCopyName(path));
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly); // a name taken: draw again
    }
    if (!file.isOpen()) return false;
    if (target.exists()) file.setPermissions(target.permissions());
    // A short write (disk full, size limit) can pass unreported when the
    // contents fit the write buffer: check the size on disk before renaming.
    const bool complete = file.write(contents) == contents.size() && file.flush() &&
                          ::fsync(file.handle()) == 0 && file.size() == contents.size();
    file.close();
    if (complete && ::rename(QFile::encodeName(file.fileName()).constData(),
                             QFile::encodeName(path).constData()) == 0)
        return true;
    file.remove();
    return false;
}

bool AppendToFile(const QString &path, const QByteArray &contents) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    return file.write(contents) == contents.size() && file.flush();
}

bool DeleteFile(const QString &path) {
    return QFile::remove(path);
}

QString MoveToNumberedCopy(const QString &path) {
    const QFileInfo info(path);
    const QString base = info.completeBaseName(), suffix = info.suffix();
    for (int n = 1; n < 10000; ++n) {
        QString name = QStringLiteral("%1.%2").arg(base).arg(n);
        if (!suffix.isEmpty()) name += QLatin1Char('.') + suffix;
        const QString copy = info.dir().filePath(name);
        if (QFileInfo::exists(copy)) continue;
        // rename() refuses to replace a file that appeared meanwhile.
        if (QFile::rename(path, copy)) return copy;
        if (!QFileInfo::exists(copy)) return QString();
    }
    return QString();
}

QString DateStr() {
    return QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy"));
}

QString TimeStr() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}
