// The command line: the link options, the table of commands with their own
// options, and the dispatch. One parser (platform/CommandLine.h) reads the
// global options and the command's together, so that each is taken in any
// place and in any of its forms.
#include "cli/Cli.h"

#include "feed/FeedOptions.h"
#include "platform/Address.h"
#include "platform/Platform.h"

#include <algorithm>

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

using cmdline::Option;

namespace {
const QStringList kBaudTexts = {"9600", "19200", "38400", "57600", "115200"};

// Options that several commands share.
const Option kEeprom{{"eeprom"},
                     {},
                     "the EEPROM instead of RAM; the sensor first loads its EEPROM into its RAM, "
                     "as GET from EEPROM does, replacing what RAM held"};
const Option kTextFormat{{"format"},
                         "text|json",
                         "text (default) or JSON: one object per line; with a link one per "
                         "sensor, with its result, exit code and messages"};
const Option kTimeFormat{{"time"},
                         "local|iso",
                         "times as the record file writes them (local, default) or ISO 8601 with "
                         "the zone"};

QList<CliCommand> &Registered() {
    static QList<CliCommand> commands;
    return commands;
}

// The tool's own commands; others join through CliRegistration.
const CliRegistration kBuiltIn[] = {
    CliRegistration({"version",
                     "version [--format text|json]",
                     "the sensor's version text, one line",
                     "",
                     {"tolvane-cli --tcp 10.0.3.14 version"},
                     {kTextFormat},
                     0,
                     0,
                     true,
                     true,
                     CmdVersion,
                     10}),
    CliRegistration(
        {"get",
         "get [--eeprom] [-o FILE|DIR/|-] [--format text|json]",
         "the parameter set and teach table, in the parameter-file format",
         "Writes the 264 lines of the parameter file to stdout, or to FILE (written whole or not "
         "at all). With several sensors -o names a folder (DIR/): one file per sensor, named "
         "after it. --format json reports on stdout, so the set goes into -o FILE or DIR/.",
         {"tolvane-cli --tcp 10.0.3.14 get -o approved.ini",
          "tolvane-cli --hosts line3.txt get -o backup/line3/",
          "tolvane-cli --tcp A get -o - | tolvane-cli --tcp B send -"},
         {kEeprom,
          {{"o", "output"}, "FILE|DIR/|-", "where the set goes (default and -: stdout)"},
          kTextFormat},
         0,
         0,
         true,
         true,
         CmdGet,
         20}),
    CliRegistration(
        {"send",
         "send [--eeprom] [--format text|json] FILE|-",
         "writes a parameter file to the sensor, every echo checked",
         "Writes FILE (-: stdin) to the sensor's RAM exactly as the file holds it, spare words "
         "included; --eeprom stores it in the EEPROM too. A bad file, or one with a value the "
         "panels would change, is refused with each value and its reason before anything is "
         "sent. A cut transfer names the row it reached.",
         {"tolvane-cli --tcp 10.0.3.14 send approved.ini --eeprom"},
         {kEeprom, kTextFormat},
         1,
         1,
         true,
         true,
         CmdSend,
         30}),
    CliRegistration({"verify",
                     "verify [--eeprom] [--format text|json] FILE|-",
                     "compares the sensor's set with a parameter file; exit 3 when they differ",
                     "Prints each difference as NAME FILE-VALUE -> SENSOR-VALUE, a mode named as "
                     "the panels name it beside its number. FILE may be - (stdin).",
                     {"tolvane-cli --hosts line3.txt verify approved.ini"},
                     {kEeprom, kTextFormat},
                     1,
                     1,
                     true,
                     true,
                     CmdVerify,
                     40}),
    CliRegistration({"show",
                     "show [--format text|json] FILE|-",
                     "a parameter file with the operator's names, the teach table as a table",
                     "A mode is named as the panels name it beside its number (PMODE 0 STAT). "
                     "Needs no sensor. FILE may be - (stdin).",
                     {"tolvane-cli --tcp 10.0.3.14 get | tolvane-cli show -"},
                     {kTextFormat},
                     1,
                     1,
                     false,
                     true,
                     CmdShow,
                     50}),
    CliRegistration(
        {"frames",
         "frames [-n N] [--format tsv|json] [--time local|iso] [--reconnect] [--share] "
         "[--share-group G] [--publish URL ...]",
         "polls frames at the window's GO pace and prints them",
         "Polls N frames (default: until Ctrl-C). tsv: the record file's columns under a header "
         "of as many fields, names without spaces, each line stamped with its frame's arrival "
         "(--time iso: ISO 8601 with the zone); json: one object per line. --reconnect: a sensor "
         "time-out does not end it, the link is opened again until the sensor answers; a reader "
         "of stdout that went away ends it all the same. --publish: the frames as JSON to an "
         "MQTT broker instead of stdout, the link state to PREFIX/status. --share: the tool owns "
         "the line as serve does while it runs, so that the window and the tool reach the "
         "sensor beside it; one serve already sharing the line is used as it is.",
         {"tolvane-cli --serial /dev/ttyUSB0 frames -n 100 --format json",
          "tolvane-cli --tcp 10.0.4.21 frames --reconnect --publish mqtt://broker/plant/line1/s3",
          "tolvane-cli --tcp 10.0.4.21 frames --reconnect --share --publish "
          "mqtt://broker/plant/line1/s3"},
         QList<Option>{
             {{"n", "count"}, "N", "the number of frames (default: until Ctrl-C)"},
             {{"format"}, "tsv|json", "tsv (default) or one JSON object per line"},
             kTimeFormat,
             {{"reconnect"}, {}, "open the link again after a time-out"},
             {{"share"}, {}, "own the sensor's line for others while it runs"},
             {{"share-group"}, "GROUP", "--share, and the members of GROUP may use the line too"}} +
             feed::FeedOptionDefs(),
         0,
         0,
         true,
         true,
         CmdFrames,
         60}),
    CliRegistration(
        {"record",
         "record -n N -i SECONDS -o FILE|- [--all-or-nothing]",
         "counted recording of N lines, one every SECONDS, into a record file",
         "Writes the record file as START RECORD does in the counted mode. -o - writes it to "
         "stdout. A recording cut short (Ctrl-C, SIGTERM, a lost sensor) keeps the whole lines "
         "it took in FILE and says how far it came (\"interrupted after 4 of 10 lines\").",
         {"tolvane-cli --tcp 10.0.3.14 record -n 600 -i 1 -o shift.dat"},
         {{{"n", "count"}, "N", "lines to record, 1 to 65535"},
          {{"i", "interval"}, "SECONDS", "seconds between lines, 1 to 65535"},
          {{"o", "output"}, "FILE|-", "the record file (-: stdout)"},
          {{"all-or-nothing"}, {}, "keep no line of a recording that did not end whole"}},
         0,
         0,
         true,
         true,
         CmdRecord,
         70}),
    CliRegistration(
        {"stats",
         "stats [--from TIME] [--to TIME] [--time local|iso] [--format tsv|json] FILE|-",
         "statistics of a record file's lines, as the record viewer exports them",
         "Per channel COUNT MEAN SD MIN MAX, per vector number COUNT SHARE, of the lines from "
         "--from to --to (\"MM-DD-YYYY HH:MM:SS\", or with --time iso ISO 8601: "
         "\"2026-12-08T09:39:29+01:00\"). A last line without its line end is not counted and "
         "is said. Needs no sensor; a file that is no record file ends it with exit 2.",
         {"tolvane-cli stats shift.dat --from \"12-08-2026 06:00:00\"",
          "tolvane-cli stats shift.dat --time iso --from 2026-12-08T06:00:00+01:00 --format json"},
         {{{"from"}, "TIME", "the first line's time, \"MM-DD-YYYY HH:MM:SS\""},
          {{"to"}, "TIME", "the last line's time"},
          {{"time"},
           "local|iso",
           "--from and --to as the record file writes times (local, "
           "default) or in ISO 8601 with the zone"},
          {{"format"}, "tsv|json", "tsv (default), as the viewer exports, or JSON"}},
         1,
         1,
         false,
         true,
         CmdStats,
         80}),
};

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

int RunCli(int argc, char **argv) {
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

    if (!StartEngine(argc, argv)) return kExitSensor;
    if (command->sensor && links.isEmpty()) {
        LinkTarget stored;
        if (!StoredLink(&stored)) return kExitUsage;
        links << stored;
    }
    CatchInterrupt();
    int code = command->run(commandArgs, links);
    CloseSensor();
    DiscardAllPanels();
    FlushOut();
    // What was taken is written; the exit code says why it ended early.
    if (Interrupted() && code != kExitUsage) code = InterruptExit();
    return code;
}
