// The tool's standard output: every write checked, so that a full disk or a
// reader that went away ends the tool instead of passing for success. Qt's
// network code ignores SIGPIPE, so a closed pipe shows only as EPIPE here.
#include "cli/Cli.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
int outError = 0; // errno of the first failed write, 0 while all went out

bool Check(bool ok) {
    if (!ok && outError == 0) outError = errno != 0 ? errno : EIO;
    return outError == 0;
}
} // namespace

bool Out(const QByteArray &bytes) {
    if (outError != 0) return false;
    errno = 0;
    return Check(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) ==
                 size_t(bytes.size()));
}

bool FlushOut() {
    if (outError != 0) return false;
    errno = 0;
    return Check(std::fflush(stdout) == 0);
}

int OutputFailure() {
    if (outError == 0) return kExitOk;
    return outError == EPIPE ? kExitReaderGone : kExitUsage;
}

int OutLine(const QByteArray &line) {
    Out(line);
    FlushOut();
    return OutputFailure();
}

void IgnoreBrokenPipe() {
    // The same EPIPE whether or not a network link set this already.
    std::signal(SIGPIPE, SIG_IGN);
}

int FinishOutput(int code) {
    FlushOut();
    // A flush outside these functions may have met the error first.
    if (outError == 0 && std::ferror(stdout)) outError = EIO;
    if (outError == 0) return code;
    // A reader that went away (head, a closed viewer) wanted no more: no
    // message, no fault of the sensor.
    if (outError == EPIPE) return kExitReaderGone;
    Say(QStringLiteral("the output cannot be written: %1")
            .arg(QString::fromLocal8Bit(std::strerror(outError))));
    return kExitUsage;
}
