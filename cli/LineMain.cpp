// The process entry of tolvane-line: the tool's commands that need no panels
// (serve), in a program that loads Qt Core, Network and SerialPort only, so
// that a line PC can run an owner for each of its sensors. tolvane-cli hands
// these commands over to it.
#include "cli/Cli.h"

int main(int argc, char **argv) {
    IgnoreBrokenPipe();
    return FinishOutput(RunCli(argc, argv, nullptr));
}
