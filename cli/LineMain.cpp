// The process entry of tolvane-line: the tool's commands that need no panels
// (serve and frames), in a program that loads Qt Core,
// Network and SerialPort only, so that a line PC can run an owner and a feed
// for each of its sensors. tolvane-cli hands these commands over to it.
#include "cli/Cli.h"

namespace {
// A sensor command on the plain application object. tolvane-cli hands one
// over only with its link named: it reads a stored link through the panels
// and names it.
int RunPlain(const CliCommand &command, const CliArgs &args, QList<LinkTarget> links, int,
             char **) {
    if (command.sensor && links.isEmpty()) {
        Say(QStringLiteral("%1: give --tcp HOST[:PORT] or --serial DEVICE").arg(command.name));
        return kExitUsage;
    }
    StartPlainEngine();
    StartSensorSession();
    return RunSensorCommand(command, args, links);
}
} // namespace

int main(int argc, char **argv) {
    IgnoreBrokenPipe();
    return FinishOutput(RunCli(argc, argv, RunPlain));
}
