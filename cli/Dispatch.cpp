// The command line: the link options, the table of commands (each command
// joins it from its own file), and the dispatch. One parser (platform/CommandLine.h) reads the
// global options and the command's together, so that each is taken in any
// place and in any of its forms.
#include "cli/Cli.h"

#include "platform/Address.h"
#include "platform/Platform.h"

#include <algorithm>

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

using cmdline::Option;

namespace {
const QStringList kBaudTexts = {"9600", "19200", "38400", "57600", "115200"};

QList<CliCommand> &Registered() {
    static QList<CliCommand> commands;
    return commands;
}

int HelpCommand(const CliArgs &args, const QList<LinkTarget> &);
int CompletionCommand(const CliArgs &, const QList<LinkTarget> &) {
    Out(BashCompletion());
    return kExitOk;
}
const CliRegistration kHelpCommands[] = {
    CliRegistration({"help",
                     "help [COMMAND]",
                     "this text, or the help of one command",
                     "",
                     {"tolvane-cli help frames"},
                     {},
                     0,
                     1,
                     false,
                     true,
                     HelpCommand,
                     200}),
    CliRegistration({"completion",
                     "completion",
                     "the bash completion script (installed with the program)",
                     "The completion offers the commands, their options and the serial devices.",
                     {"source <(tolvane-cli completion)"},
                     {},
                     0,
                     0,
                     false,
                     true,
                     CompletionCommand,
                     210}),
};

int Usage(const QString &why, const QString &command = {}) {
    Say(QStringLiteral("%1 (tolvane-cli %2--help tells more)")
            .arg(why, command.isEmpty() ? QString() : command + " "));
    return kExitUsage;
}

// Help and version go to stdout; one that cannot be written is an output
// error, said once by FinishOutput when the tool ends.
int Print(const QByteArray &text) {
    Out(text);
    FlushOut();
    return kExitOk;
}

int HelpCommand(const CliArgs &args, const QList<LinkTarget> &) {
    if (args.Words().isEmpty()) return Print(MainHelp());
    const CliCommand *command = FindCliCommand(args.Words().first());
    if (!command) return Usage(QStringLiteral("help: no command \"%1\"").arg(args.Words().first()));
    return Print(CommandHelp(*command));
}

bool ReadHostsFile(const QString &path, QList<LinkTarget> *links, QString *why) {
    QStringList lines;
    if (!ReadInputLines(path, &lines, why)) return false;
    const int before = int(links->size());
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].section('#', 0, 0).trimmed();
        if (line.isEmpty()) continue;
        LinkTarget link;
        QString problem;
        if (!ParseHostPort(line, &link, &problem)) {
            *why = QStringLiteral("line %1 holds no HOST[:PORT]: \"%2\" (%3)")
                       .arg(i + 1)
                       .arg(line, problem);
            return false;
        }
        links->append(link);
    }
    if (links->size() == before) *why = QStringLiteral("names no host");
    return links->size() > before;
}

// The sensors named by the link options; false after saying what is wrong.
bool TakeLinks(const cmdline::Parser &p, QList<LinkTarget> *links) {
    for (const QString &text : p.Values("tcp")) {
        LinkTarget link;
        QString why;
        if (!ParseHostPort(text, &link, &why)) {
            Usage(QStringLiteral("--tcp %1: not HOST[:PORT] (%2)").arg(text, why));
            return false;
        }
        links->append(link);
    }
    for (const QString &file : p.Values("hosts")) {
        QString why;
        if (!ReadHostsFile(file, links, &why)) {
            Usage(QStringLiteral("--hosts %1: %2").arg(InputName(file), why));
            return false;
        }
    }
    if (p.IsSet("baud") && !p.IsSet("serial")) {
        Usage("--baud goes with --serial");
        return false;
    }
    if (!p.IsSet("serial")) return true;
    if (!links->isEmpty()) {
        Usage("--serial and --tcp are not given together");
        return false;
    }
    LinkTarget serial;
    serial.serial = true;
    QString why;
    const QString device = p.Value("serial");
    if (!ParseSerialDevice(device, &serial.device, &serial.comNumber, &why)) {
        Usage(QStringLiteral("--serial %1: %2").arg(device, why));
        return false;
    }
    if (p.IsSet("baud")) {
        serial.baudIndex = int(kBaudTexts.indexOf(p.Value("baud")));
        if (serial.baudIndex < 0) {
            Usage(
                QStringLiteral("--baud %1: one of %2").arg(p.Value("baud"), kBaudTexts.join(", ")));
            return false;
        }
    }
    links->append(serial);
    return true;
}
} // namespace

Option TimeFormatOption() {
    return {{"time"},
            "local|iso",
            "times as the record file writes them (local, default) or ISO 8601 with the zone"};
}

void RegisterCliCommand(const CliCommand &command) {
    Registered().append(command);
}

QList<CliCommand> CliCommands() {
    QList<CliCommand> all = Registered();
    std::stable_sort(all.begin(), all.end(),
                     [](const CliCommand &a, const CliCommand &b) { return a.order < b.order; });
    return all;
}

const CliCommand *FindCliCommand(const QString &name) {
    for (const CliCommand &c : Registered())
        if (c.name == name) return &c;
    return nullptr;
}

QList<Option> GlobalOptions() {
    return {
        {{"tcp"},
         "HOST[:PORT]",
         "the sensor over TCP/IP (port default 10002); repeated: several sensors",
         true},
        {{"hosts"}, "FILE", "one HOST[:PORT] per line (# starts a comment), - for stdin", true},
        {{"serial"}, "DEVICE|COMn", "the sensor over RS-232, the device as the system names it"},
        {{"baud"}, "RATE", "9600, 19200, 38400, 57600 or 115200 (default 115200)"},
        {{"h", "help"}, {}, "this text; after a command: that command's help"},
        {{"help-all"}, {}, "this text and every command's help"},
        {{"version"}, {}, "the program's version"},
    };
}

bool CliArgs::Number(const QString &name, qint64 lo, qint64 hi, qint64 *out) const {
    if (!IsSet(name)) return true;
    if (cmdline::WholeNumber(Value(name), lo, hi, out)) return true;
    const QString range = hi >= (Q_INT64_C(1) << 40)
                              ? QStringLiteral("from %1 on").arg(lo)
                              : QStringLiteral("from %1 to %2").arg(lo).arg(hi);
    Usage(QStringLiteral("%1: %2 takes a whole number %3, not \"%4\"")
              .arg(command_, parser_.Written(name), range, Value(name)),
          command_);
    return false;
}

bool CliArgs::Choice(const QString &name, const QStringList &choices, QString *out) const {
    if (!IsSet(name)) return true;
    if (choices.contains(Value(name))) {
        *out = Value(name);
        return true;
    }
    Usage(QStringLiteral("%1: %2 %3: one of %4")
              .arg(command_, parser_.Written(name), Value(name), choices.join(", ")),
          command_);
    return false;
}

int RunCli(int argc, char **argv, PanelRun run, void (*handOver)(char **argv)) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    const QList<Option> global = GlobalOptions();
    const QString name = cmdline::FirstWord(args, global);
    const CliCommand *command = name.isEmpty() ? nullptr : FindCliCommand(name);
    cmdline::Parser parser(command ? global + command->options : global);
    QString error;
    if (!parser.Parse(args, &error)) return Usage(command ? name + ": " + error : error, name);
    if (parser.IsSet("help-all")) return Print(AllHelp());
    if (parser.IsSet("help")) return Print(command ? CommandHelp(*command) : MainHelp());
    if (parser.IsSet("version")) return Print("tolvane-cli " TOLVANE_VERSION "\n");
    if (name.isEmpty()) return Usage("no command");
    if (!command) return Usage(QStringLiteral("unknown command \"%1\"").arg(name));
    // A command that needs no panels runs in tolvane-line, which loads none
    // of the window's libraries; it comes back here only where that cannot
    // start. The stored link is read through the panels: here.
    if (handOver && command->line &&
        (parser.IsSet("tcp") || parser.IsSet("hosts") || parser.IsSet("serial")))
        handOver(argv);

    const QStringList words = parser.Words().mid(1);
    if (words.size() > command->maxWords)
        return Usage(QStringLiteral("%1: unexpected \"%2\"").arg(name, words[command->maxWords]),
                     name);
    if (words.size() < command->minWords)
        return Usage(QStringLiteral("%1 needs %2").arg(name, command->synopsis.section(' ', -1)),
                     name);
    QList<LinkTarget> links;
    if (!TakeLinks(parser, &links)) return kExitUsage;
    if (!command->sensor && !links.isEmpty())
        return Usage(QStringLiteral("%1 needs no link").arg(name), name);
    const CliArgs commandArgs(parser, name);
    if (command->name == "help" || command->name == "completion" || !command->panels)
        return command->run(commandArgs, links);

    return run(*command, commandArgs, links, argc, argv);
}
