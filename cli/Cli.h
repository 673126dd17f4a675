// The command-line tool: its exit codes, the links it is given, the sensor
// session it opens on one of them, and the table of its commands.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Exit codes, from best to worst as several sensors add up: a sensor that
// could not be read says less than one found to differ.
enum CliExit { kExitOk = 0, kExitDiffer = 3, kExitSensor = 1, kExitUsage = 2 };
// The worse of two exit codes.
int WorseExit(int a, int b);

// One sensor's link as given on the command line or stored in ComSettings.cfg.
struct LinkSpec {
    bool serial = false;
    QString host;
    int port = 0;      // TCP port
    QString device;    // serial device path, or empty for comNumber
    int comNumber = 0; // COMn
    int baudIndex = 4; // 0..4 = 9600..115200
    // "TCP/IP host:port", "RS232 /dev/ttyUSB0 115200 baud".
    QString Name() const;
    // A name fit for a file: "host_port", "ttyUSB0".
    QString FileStem() const;
};

// "HOST[:PORT]"; false for an empty host or a port outside 1..65535.
bool ParseHostPort(const QString &text, LinkSpec *out);

// Messages go to stderr, prefixed with the program's name.
void Say(const QString &text);
// Results go to stdout.
void Out(const QByteArray &bytes);

// ---- the sensor session (one sensor at a time)

// Starts the engine without a display and loads the panels, which hold the
// parameter set as in the window; every pop-up becomes a line on stderr.
// Without panels (serve): the plain application object, no panels.
bool StartEngine(int argc, char **argv, bool panels = true);
// Opens the link and runs the window's line check: version, then the
// parameter set and the 31 rows from RAM into the variables. False, after
// saying which step failed on which link (the link's own words for it:
// ExplainAnswerFailure), when the sensor did not answer.
bool OpenSensor(const LinkSpec &link);
void CloseSensor();
// The link that is open, for messages.
const LinkSpec &OpenLink();
// The sensor's version text from the line check.
QString SensorVersion();
// The stored link (ComSettings.cfg, searched as the window does).
LinkSpec StoredLink();

// Set by Ctrl-C; loops end cleanly after their running turn.
bool Interrupted();
void CatchInterrupt();

// ---- commands

// A command receives its own arguments and the sensors named on the command
// line (empty: the stored link). It checks its arguments before it opens a
// link and returns an exit code.
struct CliCommand {
    const char *name;
    const char *synopsis; // the usage line after the program's name
    const char *help;     // what it does, for --help
    int (*run)(const QStringList &args, const QList<LinkSpec> &links);
};
// The table the dispatch reads; a new command is one more entry.
extern const CliCommand kCliCommands[];
extern const int kCliCommandCount;

// Runs `each` for every sensor in turn, the stored link when none was named.
// With several sensors a summary line per sensor follows its run ("ok",
// "differs", "failed"); the result is the worst exit code.
int ForEachSensor(const QList<LinkSpec> &links,
                  const std::function<int(const LinkSpec &link)> &each);

// The commands.
int CmdVersion(const QStringList &args, const QList<LinkSpec> &links);
int CmdGet(const QStringList &args, const QList<LinkSpec> &links);
int CmdSend(const QStringList &args, const QList<LinkSpec> &links);
int CmdVerify(const QStringList &args, const QList<LinkSpec> &links);
int CmdShow(const QStringList &args, const QList<LinkSpec> &links);
int CmdFrames(const QStringList &args, const QList<LinkSpec> &links);
int CmdRecord(const QStringList &args, const QList<LinkSpec> &links);
int CmdStats(const QStringList &args, const QList<LinkSpec> &links);
int CmdServe(const QStringList &args, const QList<LinkSpec> &links);

// The whole program: options, dispatch, exit code.
int RunCli(int argc, char **argv);
