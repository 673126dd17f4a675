// The engine of the tool's commands that need the panels: the parameter set
// lives in them as in the window, the stored link is read through the
// interface panel, and every pop-up becomes a line on stderr.
#include "cli/Cli.h"

#include "core/Session.h"
#include "link/Link.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "teach/TeachTable.h"

namespace {
// Pop-ups are written for the window's boxes; the tool says every outcome in
// its own words (the sensor, what happened, what to check), so a box's text
// would say it twice or speak of a SEND that never comes. Only while the
// stored link is read do its boxes carry news: what in ComSettings.cfg was
// not taken.
bool sayPopups = false;
void PopupToStderr(const QString &title, const QString &text) {
    if (sayPopups) Say(title.trimmed() + ": " + text.simplified());
}

} // namespace

bool StartEngine(int /*argc*/, char **argv) {
    PrepareEngine();
    static char *args[] = {argv[0], nullptr};
    if (InitRunTimeEngine(1, args) < 0) return false;
    popupscript::Install();
    popupscript::Forward(PopupToStderr);
    proj_dir = GetProjectDir();
    cfg_dir = ConfigDirFor(proj_dir);
    conSettingsFileName = JoinPath(cfg_dir, "ComSettings.cfg");
    StartSensorSession();
    if (LoadPanelHandles() < 0) {
        Say(QStringLiteral("cannot load the panels from %1")
                .arg(JoinPath(GetProjectDir(), "Tolvane.uir")));
        return false;
    }
    InitGroupCell();
    InitPanelCtrlAttr();
    return true;
}

bool StoredLink(LinkTarget *out) {
    if (!FileExists(conSettingsFileName)) {
        Say(QStringLiteral("no link given and none stored in %1; give --tcp HOST[:PORT] or "
                           "--serial DEVICE")
                .arg(conSettingsFileName));
        return false;
    }
    sayPopups = true;
    GetConnectionSettingsFromFile();
    sayPopups = false;
    LinkTarget link;
    link.serial = comprotocol == 0;
    link.host = ipBuf;
    link.port = LeadingNumber(portNumStr);
    link.comNumber = comport;
    link.baudIndex = baudrate;
    if (!link.serial && (link.host.isEmpty() || link.port < 1)) {
        Say(QStringLiteral("%1 stores no TCP/IP host and port; give --tcp HOST[:PORT] or "
                           "--serial DEVICE")
                .arg(conSettingsFileName));
        return false;
    }
    *out = link;
    return true;
}

int RunWithPanels(const CliCommand &command, const CliArgs &args, QList<LinkTarget> links, int argc,
                  char **argv) {
    if (!StartEngine(argc, argv)) return kExitSensor;
    if (command.sensor && links.isEmpty()) {
        LinkTarget stored;
        if (!StoredLink(&stored)) return kExitUsage;
        // Read through the panels, the stored link is named for tolvane-line,
        // which goes on without them.
        if (command.line) HandOverToLineProgram(argv, LinkOptions(stored));
        links << stored;
    }
    const int code = RunSensorCommand(command, args, links);
    DiscardAllPanels();
    return code;
}
