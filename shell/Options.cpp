// The window program's command-line options: help and version, a link to
// start on instead of the stored one, and the folder of the configuration
// files, so that two instances on one PC keep their settings apart.
#include "shell/Shell.h"

#include "core/Session.h"
#include "link/Link.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QDir>
#include <QRegularExpression>
#include <cstdio>

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

namespace {
struct StartOptions {
    QString configDir;
    bool tcp = false;
    QString host;
    int port = 0;
    QString serialDevice; // a path, or empty for serialPort
    int serialPort = 0;   // COMn
};
StartOptions options;

const char kHelp[] = "Usage: tolvane [OPTION]...\n"
                     "The operating program of the colour and gloss sensor.\n\n"
                     "  --tcp HOST[:PORT]       start on this TCP/IP link (port default 10002)\n"
                     "  --serial DEVICE|COMn    start on this RS-232 port (the stored baud rate)\n"
                     "                          Neither is stored unless ACCEPT is pressed.\n"
                     "  --config DIR            keep ComSettings.cfg, IPComboBox.cfg and\n"
                     "                          StartupFile.cfg in DIR (made when missing)\n"
                     "  --view FILE             open a record file in the record viewer alone\n"
                     "                          (no panels, no sensor)\n"
                     "  --help, --version       this text; the program's version\n\n"
                     "tolvane-cli drives the sensor from a shell.\n";

int Refuse(const QString &why) {
    std::fprintf(stderr, "tolvane: %s (tolvane --help tells more)\n", qPrintable(why));
    return 2;
}
} // namespace

int TakeStartOptions(int argc, char **argv) {
    options = StartOptions{};
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "--version") {
            std::puts("tolvane " TOLVANE_VERSION);
            return 0;
        }
        if (a != "--tcp" && a != "--serial" && a != "--config") continue; // Qt's own options
        if (i + 1 >= argc) return Refuse(a + " needs a value");
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (a == "--config") {
            if (value.isEmpty() || !QDir().mkpath(value))
                return Refuse("--config " + value + ": the folder cannot be made");
            options.configDir = QDir(value).absolutePath();
        } else if (a == "--tcp") {
            if (!ParseHostAndPort(value, &options.host, &options.port))
                return Refuse("--tcp " + value + ": not HOST[:PORT]");
            options.tcp = true;
        } else {
            static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                                QRegularExpression::CaseInsensitiveOption);
            const auto m = com.match(value);
            options.serialDevice.clear();
            options.serialPort = m.hasMatch() ? m.captured(1).toInt() : kComPortCount;
            if (!m.hasMatch()) options.serialDevice = value;
            if (value.isEmpty() || options.serialPort < 1 || options.serialPort > kComPortCount)
                return Refuse("--serial " + value + ": a device or COM1..COM48");
        }
    }
    if (options.tcp && options.serialPort) return Refuse("--tcp and --serial together");
    return -1;
}

void ApplyConfigDirOption() {
    if (!options.configDir.isEmpty()) cfg_dir = options.configDir;
}

void ApplyLinkOption() {
    if (options.tcp) {
        SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, 1);
        SetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, options.host);
        SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, QString::number(options.port));
    } else if (options.serialPort) {
        // A device path is reached as one named by the environment.
        if (!options.serialDevice.isEmpty())
            qputenv(qPrintable(QStringLiteral("TOLVANE_COM%1").arg(options.serialPort)),
                    options.serialDevice.toLocal8Bit());
        SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, 0);
        FillComPortSelector();
        SelectComPort(options.serialPort);
    } else {
        return;
    }
    InitConnectPanel();
}
