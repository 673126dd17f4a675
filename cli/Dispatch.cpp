// The command line: link options, the command table and the dispatch.
#include "cli/Cli.h"

#include "core/Protocol.h"
#include "feed/FeedOptions.h"
#include "platform/Platform.h"

#include <QFile>
#include <QRegularExpression>
#include <iterator>

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

const CliCommand kCliCommands[] = {
    {"version", "version", "the sensor's version text, one line", CmdVersion},
    {"get", "get [--eeprom] [-o FILE|DIR/]",
     "parameter set and teach table in the parameter-file format (264 lines);\n"
     "          stdout without -o; DIR/: one file per sensor",
     CmdGet},
    {"send", "send FILE [--eeprom]",
     "writes a parameter file to the sensor's RAM (--eeprom: and stores it in\n"
     "          the EEPROM), every echo checked; a bad file is refused before\n"
     "          anything is sent",
     CmdSend},
    {"verify", "verify FILE [--eeprom]",
     "compares the sensor's set with FILE and prints each difference as\n"
     "          NAME FILE-VALUE -> SENSOR-VALUE; exit 3 when they differ",
     CmdVerify},
    {"show", "show FILE", "a parameter file with the operator's names, the teach table as a table",
     CmdShow},
    {"frames",
     "frames [-n N] [--format tsv|json] [--reconnect] [--share] [--share-group G]\n"
     "          [--publish URL ...]",
     "polls N frames (default: until Ctrl-C); tsv: the record file's columns\n"
     "          and header, json: one object per line; --reconnect: a sensor time-out\n"
     "          does not end it, the link is opened again until the sensor answers;\n"
     "          --publish: the frames as JSON to an MQTT broker (PLANT FEED below);\n"
     "          --share: owns the line as serve does while it runs, for other users\n"
     "          (--share-group G: for the members of group G too)",
     CmdFrames},
    {"record", "record -n N -i SECONDS -o FILE",
     "counted recording of N lines, one every SECONDS, into the record file", CmdRecord},
    {"stats", "stats FILE [--from \"MM-DD-YYYY HH:MM:SS\"] [--to \"MM-DD-YYYY HH:MM:SS\"]",
     "statistics of a record file's lines in that time range, as the record viewer\n"
     "          exports them: per channel COUNT MEAN SD MIN MAX, per vector number\n"
     "          COUNT SHARE; exit 2 for a file that is no record file; needs no link",
     CmdStats},
    {"serve", "serve [--listen [HOST:]PORT] [--group NAME]",
     "owns the sensor's line and shares it: the window, tolvane-cli and the feed\n"
     "          started for the same sensor go through it by themselves; a local\n"
     "          socket only this user (--group: and that group) may open;\n"
     "          --listen: also 127.0.0.1:PORT (another address only if given)",
     CmdServe},
};
const int kCliCommandCount = int(std::size(kCliCommands));

namespace {
constexpr const char *kBaudTexts[] = {"9600", "19200", "38400", "57600", "115200"};

void PrintHelp() {
    QByteArray text = "Usage: tolvane-cli [LINK] COMMAND [ARGS]\n\n"
                      "The sensor from a shell: the window's link, transactions and files,\n"
                      "without a window or a display. Messages go to stderr, results to stdout\n"
                      "or the named file.\n\n"
                      "LINK:\n"
                      "  --tcp HOST[:PORT]       TCP/IP (port default 10002); may be repeated\n"
                      "  --hosts FILE            one HOST[:PORT] per line (# starts a comment)\n"
                      "  --serial DEVICE|COMn    RS-232\n"
                      "  --baud 9600|19200|38400|57600|115200   (default 115200)\n"
                      "  none: the link stored in ComSettings.cfg, found as the window finds it\n\n"
                      "COMMANDS:\n";
    for (int i = 0; i < kCliCommandCount; ++i)
        text += QByteArray("  ") + kCliCommands[i].synopsis + "\n          " +
                kCliCommands[i].help + "\n";
    text += "  --help, --version       this text; the program's version\n\n"
            "--eeprom on get and verify reads the EEPROM as GET from EEPROM does: the\n"
            "sensor first loads its EEPROM into its RAM, replacing what RAM held.\n\n"
            "Several sensors (--tcp repeated or --hosts) work with version, get -o DIR/,\n"
            "send and verify: each in turn, a summary line per sensor; one that fails\n"
            "does not stop the others.\n\n"
            "PLANT FEED (frames --publish):\n" +
            feed::FeedUsage().toUtf8() +
            "\n"
            "Exit codes: 0 success; 1 the sensor did not answer or an echo failed, or the\n"
            "MQTT broker refused the login or its certificate; 2 bad command line, bad\n"
            "file (nothing sent) or an output file that cannot be written; 3 verify found\n"
            "differences.\n"
            "With several sensors the worst counts (2, then 1, then 3).\n";
    Out(text);
}

int Usage(const QString &why) {
    Say(why + " (tolvane-cli --help tells more)");
    return kExitUsage;
}

bool ReadHostsFile(const QString &path, QList<LinkSpec> *links, QString *why) {
    QStringList lines;
    if (!ReadTextLines(path, &lines, -1, why)) return false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].section('#', 0, 0).trimmed();
        if (line.isEmpty()) continue;
        LinkSpec link;
        if (!ParseHostPort(line, &link)) {
            *why = QStringLiteral("line %1 holds no HOST[:PORT]: \"%2\"").arg(i + 1).arg(line);
            return false;
        }
        links->append(link);
    }
    if (links->isEmpty()) *why = QStringLiteral("names no host");
    return !links->isEmpty();
}
} // namespace

int RunCli(int argc, char **argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QList<LinkSpec> links;
    LinkSpec serial;
    bool serialGiven = false, baudGiven = false;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool takesValue = a == "--tcp" || a == "--serial" || a == "--baud" || a == "--hosts";
        if (takesValue && i + 1 >= args.size()) return Usage(a + " needs a value");
        if (a == "--help" || a == "-h") {
            PrintHelp();
            return kExitOk;
        } else if (a == "--version") {
            Out("tolvane-cli " TOLVANE_VERSION "\n");
            return kExitOk;
        } else if (a == "--tcp") {
            LinkSpec link;
            if (!ParseHostPort(args[++i], &link))
                return Usage(QStringLiteral("--tcp %1: not HOST[:PORT]").arg(args[i]));
            links << link;
        } else if (a == "--hosts") {
            QString why;
            if (!ReadHostsFile(args[++i], &links, &why))
                return Usage(QStringLiteral("--hosts %1: %2").arg(args[i], why));
        } else if (a == "--serial") {
            if (serialGiven) return Usage("--serial is given once");
            serialGiven = true;
            serial.serial = true;
            const QString dev = args[++i];
            static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                                QRegularExpression::CaseInsensitiveOption);
            const auto m = com.match(dev);
            if (m.hasMatch()) {
                serial.comNumber = m.captured(1).toInt();
                if (serial.comNumber < 1 || serial.comNumber > kComPortCount)
                    return Usage(QStringLiteral("--serial %1: ports are COM1..COM%2")
                                     .arg(dev)
                                     .arg(kComPortCount));
            } else if (dev.isEmpty()) {
                return Usage("--serial needs a device");
            } else {
                serial.device = dev;
            }
        } else if (a == "--baud") {
            baudGiven = true;
            int index = -1;
            for (int b = 0; b < int(std::size(kBaudTexts)); ++b)
                if (args[i + 1] == kBaudTexts[b]) index = b;
            if (index < 0)
                return Usage(QStringLiteral("--baud %1: one of 9600, 19200, 38400, 57600, 115200")
                                 .arg(args[i + 1]));
            serial.baudIndex = index;
            ++i;
        } else {
            rest << a;
        }
    }
    if (baudGiven && !serialGiven) return Usage("--baud goes with --serial");
    if (serialGiven) {
        if (!links.isEmpty()) return Usage("--serial and --tcp are not given together");
        links << serial;
    }
    if (rest.isEmpty()) return Usage("no command");

    const QString name = rest.takeFirst();
    for (int i = 0; i < kCliCommandCount; ++i) {
        if (name != QLatin1String(kCliCommands[i].name)) continue;
        if (!StartEngine(argc, argv, kCliCommands[i].run != CmdServe)) return kExitSensor;
        CatchInterrupt();
        const int code = kCliCommands[i].run(rest, links);
        CloseSensor();
        DiscardAllPanels();
        std::fflush(stdout);
        return code;
    }
    return Usage(QStringLiteral("unknown command \"%1\"").arg(name));
}
