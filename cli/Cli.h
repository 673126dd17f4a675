// The command-line tool: its exit codes, the links it is given, the sensor
// session it opens on one of them, and the table of its commands.
#pragma once

#include "platform/CommandLine.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Exit codes, one meaning each. With several sensors the worst counts:
// a sensor that could not be read says less than one found to differ.
enum CliExit {
    kExitOk = 0,
    kExitSensor = 1,    // the sensor or the broker failed
    kExitUsage = 2,     // usage, input or output error
    kExitDiffer = 3,    // verify found differences
    kExitSigint = 130,  // interrupted (Ctrl-C), after writing what can be kept
    kExitSigterm = 143, // terminated, the same
    // stdout's reader went away (a pipe into head): ended at once and
    // quietly, as SIGPIPE would end a tool; no fault of the sensor
    kExitReaderGone = 141,
};
// The worse of two exit codes.
int WorseExit(int a, int b);

// One sensor's link as given on the command line or stored in ComSettings.cfg.
struct LinkTarget {
    bool serial = false;
    QString host;
    int port = 0;      // TCP port
    QString device;    // serial device path as given, or empty for comNumber
    int comNumber = 0; // COMn
    int baudIndex = 4; // 0..4 = 9600..115200
    // "TCP/IP host:port", "RS232 /dev/ttyUSB0 115200 baud".
    QString Name() const;
    // Where the sensor is, for messages: "host:port", the device as given.
    QString Place() const;
    // A name fit for a file: "host_port", "ttyUSB0".
    QString FileStem() const;
};

// "HOST[:PORT]"; false, with the reason, for anything ParseHostPort refuses.
bool ParseHostPort(const QString &text, LinkTarget *out, QString *why = nullptr);

// Messages go to stderr, prefixed with the program's name.
void Say(const QString &text);
// A message about a sensor names it once: `what` as it is when it names the
// sensor's place already, else after the link's name.
void SayAbout(const LinkTarget &link, const QString &what);
// The text SayAbout says, for a message said later.
QString AboutLink(const LinkTarget &link, const QString &what);
// Every message said from now on is also appended to *into (null: stops).
void CaptureSaid(QStringList *into);
// Results go to stdout. Every write is checked: false once stdout failed
// (a full disk, a reader that went away), and nothing more is written.
bool Out(const QByteArray &bytes);
bool FlushOut();
// kExitOk while stdout takes everything; kExitReaderGone after EPIPE,
// kExitUsage after any other write error.
int OutputFailure();
// One line out at once (a frame for a reader at the other end of a pipe);
// OutputFailure() after it.
int OutLine(const QByteArray &line);
// A closed pipe becomes EPIPE on the write, never the end of the process.
void IgnoreBrokenPipe();
// The tool's exit code once its output is flushed: a write error is said
// and gives kExitUsage; a reader that went away gives kExitReaderGone quietly.
int FinishOutput(int code);

// ---- streams: `-` for stdin or stdout wherever a file is named

inline bool IsStdStream(const QString &path) {
    return path == QLatin1String("-");
}
// Copies stdin into `spool` (at most maxBytes, -1: all); false with the reason.
class QTemporaryFile;
bool SpoolStdin(QTemporaryFile *spool, qint64 maxBytes, QString *why);
// The lines of a text file, or of stdin for `-` (the same checks).
bool ReadInputLines(const QString &path, QStringList *lines, QString *why);
// A name for messages: "stdin" for `-`.
QString InputName(const QString &path);

// ---- the sensor session (one sensor at a time)

// Starts the engine without a display and loads the panels, which hold the
// parameter set as in the window; every pop-up becomes a line on stderr.
bool StartEngine(int argc, char **argv);
// The sensor session's own settings (the request sync word, RAM as the
// target), with or without panels.
void StartSensorSession();
// The engine on the plain application object, without panels: serve and
// every command of tolvane-line.
void StartPlainEngine();
// What both start with: the offscreen platform, the plain event loop, Qt's
// critical messages on stderr.
void PrepareEngine();
// Opens the link and runs the window's line check: version, then the
// parameter set and the 31 rows from RAM into the variables. False, after
// saying which step failed on which link (the link's own words for it:
// ExplainAnswerFailure), when the sensor did not answer.
bool OpenSensor(const LinkTarget &link);
void CloseSensor();
// The link that is open, for messages.
const LinkTarget &OpenLink();
// The sensor's version text from the line check.
QString SensorVersion();
// The stored link (ComSettings.cfg, searched as the window does); false,
// after saying so, when none is stored.
bool StoredLink(LinkTarget *link);

// SIGINT and SIGTERM: the first sets Interrupted() and runs endLoops (which
// ends loops cleanly after their running turn: what was taken is written), a
// second ends the tool at once. Needs the application object; a second call
// does nothing.
void CatchInterrupt(void (*endLoops)() = nullptr);
bool Interrupted();
// 130 after SIGINT, 143 after SIGTERM, 0 when neither came.
int InterruptExit();

// ---- commands

// What a command was given: its options and words, checked against its
// table before anything is opened.
class CliArgs {
  public:
    explicit CliArgs(const cmdline::Parser &parser, const QString &command)
        : parser_(parser), command_(command) {}
    bool IsSet(const QString &name) const { return parser_.IsSet(name); }
    QString Value(const QString &name) const { return parser_.Value(name); }
    QStringList Values(const QString &name) const { return parser_.Values(name); }
    // The words after the command.
    QStringList Words() const { return parser_.Words().mid(1); }
    // The option's whole-number value from lo to hi into *out (unchanged when
    // the option is not given); false after saying what is wrong.
    bool Number(const QString &name, qint64 lo, qint64 hi, qint64 *out) const;
    // The option's value, one of `choices` (unchanged when not given); false
    // after saying what is wrong.
    bool Choice(const QString &name, const QStringList &choices, QString *out) const;
    const QString &Command() const { return command_; }
    const cmdline::Parser &Parser() const { return parser_; }

  private:
    const cmdline::Parser &parser_;
    QString command_;
};

// A command: its name, what it takes and does (its --help and man page
// text), its options and the words it takes. It checks its arguments before
// it opens a link and returns an exit code.
struct CliCommand {
    QString name;
    QString synopsis;     // the usage line after "tolvane-cli [LINK] "
    QString summary;      // one line for the command list
    QString details;      // the rest of its help, paragraphs
    QStringList examples; // whole command lines
    QList<cmdline::Option> options;
    int minWords = 0, maxWords = 0; // words after the command
    bool sensor = true;             // talks to a sensor (takes LINK options)
    // Runs on the engine with the panels (the window's parameter code reads
    // them); the dispatch starts it, finds the stored link and catches the
    // signals. A command without (serve) starts its own engine
    // (StartPlainEngine), gets the links as given and calls CatchInterrupt
    // once its application exists.
    bool panels = true;
    int (*run)(const CliArgs &args, const QList<LinkTarget> &links) = nullptr;
    int order = 100; // place in the command list
    // Runs in tolvane-line (a stored link is read through the interface
    // panel first, then named for it): its file and what it needs join
    // tolvane-line's sources, and none of it may need the panels.
    bool line = false;
};
// (Commands are brace-initialised in this order: name, synopsis, summary,
// details, examples, options, minWords, maxWords, sensor, panels, run, order, line.)

// A command defined in another file joins the table through a static
// CliRegistration in that file.
void RegisterCliCommand(const CliCommand &command);
struct CliRegistration {
    explicit CliRegistration(const CliCommand &command) { RegisterCliCommand(command); }
};
// Every command, in the order of the command list.
QList<CliCommand> CliCommands();
const CliCommand *FindCliCommand(const QString &name);

// --time local|iso, for the commands that write times.
cmdline::Option TimeFormatOption();
// The global options (LINK, help, version), for help and completion.
QList<cmdline::Option> GlobalOptions();
// The whole --help, one command's help, the man page's text, the bash
// completion script: all made from the tables above.
QByteArray MainHelp();
QByteArray CommandHelp(const CliCommand &command);
QByteArray AllHelp();
QByteArray BashCompletion();

// 0 for one sensor; for several, says that `command` takes one and gives
// kExitUsage.
int OneSensor(const QList<LinkTarget> &links, const char *command);
// Runs `each` for every sensor in turn, the stored link when none was named.
// With several sensors a summary line per sensor follows its run ("ok",
// "differs", "failed"); the result is the worst exit code.
int ForEachSensor(const QList<LinkTarget> &links,
                  const std::function<int(const LinkTarget &link)> &each);

// ForEachSensor for --format json: each sensor's outcome is one JSON object
// on a line of stdout, {"sensor":"TCP/IP host:port","result":"ok"|"differs"|
// "failed"|"interrupted","exit":N, the fields `each` adds,"messages":[what
// was said on stderr for it]}, so that a script reads every sensor's fate
// from stdout alone.
int ForEachSensorJson(const QList<LinkTarget> &links,
                      const std::function<int(const LinkTarget &link, QJsonObject *fields)> &each);

// The commands.
int CmdVersion(const CliArgs &args, const QList<LinkTarget> &links);
int CmdGet(const CliArgs &args, const QList<LinkTarget> &links);
int CmdSend(const CliArgs &args, const QList<LinkTarget> &links);
int CmdVerify(const CliArgs &args, const QList<LinkTarget> &links);
int CmdShow(const CliArgs &args, const QList<LinkTarget> &links);
int CmdFrames(const CliArgs &args, const QList<LinkTarget> &links);
int CmdRecord(const CliArgs &args, const QList<LinkTarget> &links);
int CmdStats(const CliArgs &args, const QList<LinkTarget> &links);

// The part of a run on the engine with the panels: the engine started, the
// stored link found when none was named, the signals caught, the command
// run and the panels discarded. tolvane-cli's; tolvane-line has its own.
using PanelRun = int (*)(const CliCommand &command, const CliArgs &args, QList<LinkTarget> links,
                         int argc, char **argv);
int RunWithPanels(const CliCommand &command, const CliArgs &args, QList<LinkTarget> links, int argc,
                  char **argv);
// A sensor command on the engine that runs: the signals caught, the command
// run, its link closed and stdout flushed; the exit code says how it ended.
int RunSensorCommand(const CliCommand &command, const CliArgs &args,
                     const QList<LinkTarget> &links);
// The whole program: options, dispatch, exit code. `run` runs a sensor
// command on its engine (RunWithPanels in tolvane-cli); handOver, when given,
// is tried first for a command that can run in tolvane-line.
int RunCli(int argc, char **argv, PanelRun run, void (*handOver)(char **argv) = nullptr);
// tolvane-cli becomes tolvane-line, found beside its executable, with the
// same arguments (same process, same pid), and linkOptions before them;
// returns only when that cannot be.
void HandOverToLineProgram(char **argv, const QStringList &linkOptions = {});
// The options that name a link: --tcp HOST:PORT, --serial DEVICE --baud RATE.
QStringList LinkOptions(const LinkTarget &link);
