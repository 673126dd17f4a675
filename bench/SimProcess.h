// What the benchmarks that run tolvane-sim as its own process share: a free
// loopback port, the simulator started and stopped, a process's resident memory.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <vector>

namespace bench {
// Starts `program args` with its stdout in the file `outPath` (stderr to
// /dev/null when `quiet`), without a shell, so that its pid is the tool's own
// for wait4 and /proc. Returns the pid, or 0 when it could not be started.
inline pid_t SpawnToFile(const QString &program, const QStringList &args, const QString &outPath,
                         bool quiet) {
    QList<QByteArray> words{program.toLocal8Bit()};
    for (const QString &a : args)
        words << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.toLocal8Bit().constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : 0;
}

constexpr int kSimStartMs = 5000;

inline int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A memory figure of /proc/PID/status ("VmRSS:", "VmHWM:") in MiB, of our
// own process by default.
inline double StatusMiB(const QByteArray &key, qint64 pid = 0) {
    QFile f(pid > 0 ? QString("/proc/%1/status").arg(pid) : QString("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ')[0].toDouble() / 1024.0;
    return 0;
}

// VmRSS of a process, ours by default.
inline double ResidentMiB(qint64 pid = 0) {
    return StatusMiB("VmRSS:", pid);
}

// tolvane-sim beside the benchmark, serving once it printed its link lines.
struct Sim {
    QProcess process;
    bool start(const QStringList &args) {
        process.setProgram(QDir(QCoreApplication::applicationDirPath()).filePath("tolvane-sim"));
        process.setArguments(args + QStringList{"--quiet"});
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        if (!process.waitForStarted(kSimStartMs)) return false;
        QByteArray said;
        for (int waited = 0; waited < kSimStartMs && !said.contains('\n'); waited += 100) {
            process.waitForReadyRead(100);
            said += process.readAllStandardOutput();
        }
        return said.contains('\n');
    }
    ~Sim() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(3000)) process.kill();
    }
};
} // namespace bench
