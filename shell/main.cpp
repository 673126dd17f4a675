// The process entry hands over to the shell's entry point.
#include "shell/Shell.h"

int main(int argc, char **argv) {
    return WinMain(argc, argv);
}
