// The folder layering: every #include "folder/..." in the tree must be one
// that the architecture table in docs/architecture.md allows, and no two folders may depend
// on each other, directly or through others.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {
const QString kSource = QStringLiteral(TOLVANE_SOURCE_DIR);

using Graph = QMap<QString, QSet<QString>>;

// Reads the table between the layering markers: `folder` | ... | `a` `b` ...
// A cell "every folder ..." allows everything.
Graph AllowedFromReadme(QString *error) {
    QFile f(kSource + "/docs/architecture.md");
    if (!f.open(QIODevice::ReadOnly)) {
        *error = "docs/architecture.md cannot be read";
        return {};
    }
    const QString text = QString::fromUtf8(f.readAll());
    const int begin = text.indexOf("<!-- layering: begin -->");
    const int end = text.indexOf("<!-- layering: end -->");
    if (begin < 0 || end < begin) {
        *error = "docs/architecture.md has no layering table";
        return {};
    }
    Graph allowed;
    static const QRegularExpression name("`([a-z]+)/?`");
    for (const QString &line : text.mid(begin, end - begin).split('\n')) {
        const QStringList cells = line.split('|');
        if (cells.size() < 5 || !cells[1].contains('`')) continue;
        QStringList folders;
        for (auto m = name.globalMatch(cells[1]); m.hasNext();)
            folders << m.next().captured(1);
        QSet<QString> may;
        if (cells[3].contains("every folder")) may.insert("*");
        for (auto m = name.globalMatch(cells[3]); m.hasNext();)
            may.insert(m.next().captured(1));
        for (const QString &folder : folders)
            allowed[folder] = may;
    }
    return allowed;
}

// folder -> the folders its sources include, with one example line each.
Graph Included(QMap<QString, QString> *example) {
    Graph used;
    // moc reads a hash inside a raw string as a directive: \x23 spells it.
    static const QRegularExpression include(
        QStringLiteral("^\\s*\x23\\s*include\\s+\"([a-z]+)/[^\"]+\""));
    QDirIterator it(kSource, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(kSource).relativeFilePath(path);
        const QString folder = rel.section('/', 0, 0);
        if (rel.startsWith("build") || !rel.contains('/')) continue;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        int lineNo = 0;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine());
            ++lineNo;
            const auto m = include.match(line);
            if (!m.hasMatch() || m.captured(1) == folder) continue;
            used[folder].insert(m.captured(1));
            (*example)[folder + ">" + m.captured(1)] = QString("%1:%2").arg(rel).arg(lineNo);
        }
    }
    return used;
}

bool ReachesBack(const Graph &g, const QString &from, const QString &to, QSet<QString> *seen) {
    for (const QString &next : g.value(from)) {
        if (next == to) return true;
        if (seen->contains(next)) continue;
        seen->insert(next);
        if (ReachesBack(g, next, to, seen)) return true;
    }
    return false;
}
} // namespace

class TstLayering : public QObject {
    Q_OBJECT
  private slots:
    void includesFollowTheTable() {
        QString error;
        const Graph allowed = AllowedFromReadme(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(allowed.contains("platform") && allowed.contains("core"));

        QMap<QString, QString> example;
        const Graph used = Included(&example);
        QStringList wrong;
        for (auto f = used.begin(); f != used.end(); ++f) {
            if (!allowed.contains(f.key())) {
                wrong << f.key() + "/ is not in the table";
                continue;
            }
            const QSet<QString> may = allowed[f.key()];
            if (may.contains("*")) continue;
            for (const QString &to : f.value())
                if (!may.contains(to))
                    wrong << QString("%1 includes %2/").arg(example[f.key() + ">" + to], to);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));
    }

    void noCycleBetweenFolders() {
        QMap<QString, QString> example;
        Graph used = Included(&example);
        // Tests, benchmarks and fuzz targets sit outside the program's layers.
        used.remove("tests");
        used.remove("bench");
        used.remove("fuzz");
        QStringList cycles;
        for (auto f = used.begin(); f != used.end(); ++f) {
            QSet<QString> seen;
            if (ReachesBack(used, f.key(), f.key(), &seen)) cycles << f.key();
        }
        QVERIFY2(cycles.isEmpty(), qPrintable("folders in a cycle: " + cycles.join(' ')));
        for (auto f = used.begin(); f != used.end(); ++f)
            QVERIFY2(f.key() == "shell" || !f.value().contains("shell"),
                     qPrintable(f.key() + "/ includes shell/"));
    }

    // The broker's client library stays behind the feed: a second user of
    // it would be a second connection, reconnect and counting policy.
    void onlyTheFeedSeesTheBrokerClient() {
        static const QRegularExpression include(
            QStringLiteral("^\\s*\x23\\s*include\\s+<mosquitto\\.h>"),
            QRegularExpression::MultilineOption);
        QStringList wrong;
        QDirIterator it(kSource, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString rel = QDir(kSource).relativeFilePath(path);
            if (rel.startsWith("build") || rel.startsWith("feed/")) continue;
            QFile f(path);
            if (f.open(QIODevice::ReadOnly) &&
                include.match(QString::fromUtf8(f.readAll())).hasMatch())
                wrong << rel;
        }
        QVERIFY2(wrong.isEmpty(), qPrintable("outside feed/: " + wrong.join(' ')));
    }
};

QTEST_APPLESS_MAIN(TstLayering)
#include "tst_layering.moc"
