// The window program's command-line options: help and version, a link to
// start on instead of the stored one, the folder of the configuration files
// (so that two instances on one PC keep their settings apart) and a record
// file for the viewer alone. Read by the same parser as the tool's.
#include "shell/Shell.h"

#include "core/Protocol.h"
#include "core/Session.h"
#include "link/Link.h"
#include "platform/Address.h"
#include "platform/CommandLine.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QDir>
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
    QString viewFile;
};
StartOptions options;

const QList<cmdline::Option> kOptions = {
    {{"tcp"}, "HOST[:PORT]", "start on this TCP/IP link (port default 10002)"},
    {{"serial"},
     "DEVICE|COMn",
     "start on this RS-232 port (the stored baud rate). Neither is stored unless ACCEPT is "
     "pressed."},
    {{"config"},
     "DIR",
     "keep ComSettings.cfg, IPComboBox.cfg and StartupFile.cfg in DIR (made when missing)"},
    {{"view"}, "FILE", "open a record file in the record viewer alone (no panels, no sensor)"},
    {{"h", "help"}, {}, "this text"},
    {{"version"}, {}, "the program's version"},
};

// Qt's own options stay for the application object; the parser leaves them.
const QStringList kQtValued = {"-platform",        "-platformpluginpath",
                               "-platformtheme",   "-plugin",
                               "-qwindowgeometry", "-qwindowtitle",
                               "-qwindowicon",     "-style",
                               "-stylesheet",      "-session",
                               "-display",         "-geometry"};
const QStringList kQtFlags = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

QByteArray Help() {
    return "Usage: tolvane [OPTION]...\n"
           "The operating program of the colour and gloss sensor.\n\n"
           "Options:\n" +
           cmdline::OptionLines(kOptions).toUtf8() +
           "\nExit status:\n"
           "  0    the window was closed\n"
           "  2    a bad command line, or a record file the viewer cannot read\n"
           "  255  Tolvane.uir or a panel could not be loaded\n"
           "\nExamples:\n"
           "  tolvane --tcp 10.0.3.14\n\n"
           "  tolvane --config ~/line3 --serial /dev/ttyUSB0\n\n"
           "  tolvane --view shift.dat\n"
           "\ntolvane-cli drives the sensor from a shell.\n";
}

int Refuse(const QString &why) {
    std::fprintf(stderr, "tolvane: %s (tolvane --help tells more)\n", qPrintable(why));
    return cmdline::kUsageExit;
}

int Print(const QByteArray &text) {
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    if (std::fflush(stdout) == 0) return 0;
    std::fprintf(stderr, "tolvane: stdout cannot be written\n");
    return cmdline::kUsageExit;
}
} // namespace

int TakeStartOptions(int argc, char **argv) {
    options = StartOptions{};
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (kQtFlags.contains(a)) continue;
        if (kQtValued.contains(a)) {
            ++i;
            continue;
        }
        args << a;
    }
    cmdline::Parser parser(kOptions);
    QString error;
    if (!parser.Parse(args, &error)) return Refuse(error);
    if (parser.IsSet("help")) return Print(Help());
    if (parser.IsSet("version")) return Print("tolvane " TOLVANE_VERSION "\n");
    if (!parser.Words().isEmpty())
        return Refuse(QStringLiteral("unexpected \"%1\"").arg(parser.Words().first()));
    if (parser.IsSet("config")) {
        const QString value = parser.Value("config");
        if (value.isEmpty() || !QDir().mkpath(value))
            return Refuse("--config " + value + ": the folder cannot be made");
        options.configDir = QDir(value).absolutePath();
    }
    QString why;
    if (parser.IsSet("tcp")) {
        const QString value = parser.Value("tcp");
        if (!ParseHostPort(value, proto::kDefaultTcpPort, &options.host, &options.port, &why))
            return Refuse(QStringLiteral("--tcp %1: not HOST[:PORT] (%2)").arg(value, why));
        options.tcp = true;
    }
    if (parser.IsSet("serial")) {
        const QString value = parser.Value("serial");
        if (!ParseSerialDevice(value, &options.serialDevice, &options.serialPort, &why))
            return Refuse(QStringLiteral("--serial %1: %2").arg(value, why));
        // A device path is reached through the last port number.
        if (options.serialPort == 0) options.serialPort = kComPortCount;
    }
    if (options.tcp && options.serialPort) return Refuse("--tcp and --serial together");
    options.viewFile = parser.Value("view");
    if (parser.IsSet("view") && options.viewFile.isEmpty()) return Refuse("--view needs a file");
    if (parser.IsSet("view") && (options.tcp || options.serialPort))
        return Refuse("--view opens no link");
    return -1;
}

QString ViewFileOption() {
    return options.viewFile;
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
