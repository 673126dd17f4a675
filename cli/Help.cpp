// The tool's texts for a reader: --help, each command's help, the text the
// man page is made from (--help-all) and the bash completion script, all
// made from the tables of options and commands, so that none of them is a
// second text to keep in step.
#include "cli/Cli.h"

#include <QRegularExpression>

using cmdline::Option;

namespace {
const char kUsage[] = "Usage: tolvane-cli [LINK] COMMAND [OPTIONS] [ARGS]\n";

const char kAbout[] =
    "The sensor from a shell: the window's link, transactions and files, without a window "
    "or a display. Messages go to stderr, results to stdout or the named file; - names stdin "
    "or stdout wherever a file is taken or written.";

const char kExitStatus[] =
    "Exit status:\n"
    "  0    done\n"
    "  1    the sensor or the MQTT broker failed: no answer, a wrong echo, a refused\n"
    "       login or certificate\n"
    "  2    usage, input or output error: a bad command line or file (nothing was\n"
    "       sent), no link given or stored, an output that cannot be written\n"
    "  3    verify found differences\n"
    "  130  interrupted (SIGINT, Ctrl-C) after writing what can be kept; a second\n"
    "       Ctrl-C ends at once\n"
    "  143  terminated (SIGTERM) after writing what can be kept\n"
    "  141  the reader of stdout went away (a pipe into head): ended at once and\n"
    "       quietly, as a closed pipe ends other tools; no fault of the sensor\n"
    "With several sensors the worst counts (2, then 1, then 3).\n";

QList<Option> LinkOptions() {
    QList<Option> link;
    for (const Option &o : GlobalOptions())
        if (!o.valueName.isEmpty()) link << o;
    return link;
}

QList<Option> ProgramOptions() {
    QList<Option> rest;
    for (const Option &o : GlobalOptions())
        if (o.valueName.isEmpty()) rest << o;
    return rest;
}

// Examples one a line; for the man page a blank line apart, or they would
// be set as one paragraph.
bool spacedExamples = false;
QByteArray Examples(const QStringList &lines) {
    QByteArray text = lines.size() == 1 ? "Example:\n" : "Examples:\n";
    for (int i = 0; i < lines.size(); ++i)
        text += (spacedExamples && i > 0 ? "\n  " : "  ") + lines[i].toUtf8() + "\n";
    return text;
}

QString Sentence(const QString &text) {
    QString s = text;
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s.endsWith('.') ? s : s + '.';
}

// "tsv|json" offers its words; a value naming a file offers files.
QString ValueWords(const QString &valueName) {
    static const QRegularExpression choices(QStringLiteral("^[a-z0-9]+(\\|[a-z0-9]+)+$"));
    if (choices.match(valueName).hasMatch()) return valueName.split('|').join(' ');
    return QString();
}

QString Names(const QList<Option> &options, bool withValue) {
    QStringList names;
    for (const Option &o : options)
        if (o.valueName.isEmpty() != withValue && !o.hidden)
            for (const QString &n : o.names)
                names << (n.size() == 1 ? "-" : "--") + n;
    return names.join(' ');
}
} // namespace

QByteArray MainHelp() {
    QByteArray text = kUsage;
    text += cmdline::Wrapped(kAbout, 0).toUtf8();
    text += "\nLink:\n" + cmdline::OptionLines(LinkOptions()).toUtf8();
    text += cmdline::Wrapped("Without a link option: the link stored in ComSettings.cfg, found as "
                             "the window finds it.",
                             2)
                .toUtf8();
    text += "\nCommands:\n";
    for (const CliCommand &c : CliCommands())
        text += QStringLiteral("  %1  %2\n").arg(c.name, -10).arg(c.summary).toUtf8();
    text += cmdline::Wrapped("tolvane-cli COMMAND --help (or tolvane-cli help COMMAND) shows a "
                             "command's options and an example.",
                             2)
                .toUtf8();
    text += "\nOptions:\n" + cmdline::OptionLines(ProgramOptions()).toUtf8();
    text += "\n" +
            cmdline::Wrapped("Several sensors (--tcp repeated or --hosts) work with version, get "
                             "-o DIR/, send and verify: each in turn, a summary line per sensor "
                             "on stderr; one that fails does not stop the others. With --format "
                             "json the summary is one JSON object per sensor on stdout, with its "
                             "result, exit code and messages, so that stdout alone tells each "
                             "sensor's fate.",
                             0)
                .toUtf8();
    text += "\n" + QByteArray(kExitStatus);
    text += "\n" + Examples({"tolvane-cli --tcp 10.0.3.14 get -o approved.ini",
                             "tolvane-cli --hosts line3.txt verify approved.ini",
                             "tolvane-cli --serial /dev/ttyUSB0 frames -n 100 --format json",
                             "tolvane-cli --tcp A get -o - | tolvane-cli --tcp B send -"});
    return text;
}

QByteArray CommandHelp(const CliCommand &c) {
    QByteArray text =
        "Usage: tolvane-cli " + QByteArray(c.sensor ? "[LINK] " : "") + c.synopsis.toUtf8() + "\n";
    text += cmdline::Wrapped(Sentence(c.summary), 0).toUtf8();
    if (!c.details.isEmpty()) text += "\n" + cmdline::Wrapped(c.details, 0).toUtf8();
    if (!c.options.isEmpty()) text += "\nOptions:\n" + cmdline::OptionLines(c.options).toUtf8();
    if (c.sensor)
        text += "\nLink (tolvane-cli --help tells more):\n" +
                cmdline::OptionLines(LinkOptions()).toUtf8();
    if (!c.examples.isEmpty()) text += "\n" + Examples(c.examples);
    return text;
}

QByteArray AllHelp() {
    spacedExamples = true;
    QByteArray text = MainHelp();
    for (const CliCommand &c : CliCommands()) {
        if (c.name == "help" || c.name == "completion") continue;
        // Each command becomes a section of the man page.
        QByteArray body = CommandHelp(c);
        body = body.mid(body.indexOf('\n') + 1); // the usage line goes first, indented
        body.replace("\nOptions:\n", "\nOptions of " + c.name.toUtf8() + ":\n");
        body.replace("\nExample:\n", "\nExample of " + c.name.toUtf8() + ":\n");
        body.replace("\nExamples:\n", "\nExamples of " + c.name.toUtf8() + ":\n");
        const int link = body.indexOf("\nLink (");
        if (link >= 0) {
            const int next = body.indexOf("\nExample", link + 1);
            body.remove(link, next < 0 ? body.size() - link : next - link);
        }
        text += "\nCommand " + c.name.toUtf8() + ":\n  tolvane-cli " +
                QByteArray(c.sensor ? "[LINK] " : "") + c.synopsis.toUtf8() + "\n" + body;
    }
    return text;
}

QByteArray BashCompletion() {
    const QList<Option> global = GlobalOptions();
    QString script =
        "# bash completion for tolvane-cli (commands, their options, serial devices),\n"
        "# tolvane and tolvane-sim.\n"
        "# Made by `tolvane-cli completion` from the tool's own tables.\n"
        "_tolvane_cli_devices() {\n"
        "    local d\n"
        "    for d in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/*; do\n"
        "        [[ -e $d ]] && printf '%s\\n' \"$d\"\n"
        "    done\n"
        "}\n"
        "_tolvane_cli() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    local command='' i w\n"
        "    COMPREPLY=()\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        w=${COMP_WORDS[i]}\n"
        "        case $w in\n"
        "            @GLOBALVALUED@) ((i++)) ;;\n"
        "            -*) ;;\n"
        "            *) command=$w; break ;;\n"
        "        esac\n"
        "    done\n"
        "    local IFS=$'\\n'\n"
        "    case $prev in\n"
        "        --serial) COMPREPLY=($(compgen -W \"$(_tolvane_cli_devices)\" -- \"$cur\")); "
        "return ;;\n"
        "        --baud) COMPREPLY=($(compgen -W $'9600\\n19200\\n38400\\n57600\\n115200' -- "
        "\"$cur\")); return ;;\n"
        "        --hosts) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
        "        --tcp) return ;;\n"
        "    esac\n"
        "    IFS=$' \\t\\n'\n"
        "    local options='@GLOBAL@' words='' files=0\n"
        "    case $command in\n"
        "        '') if [[ $cur != -* ]]; then\n"
        "                COMPREPLY=($(compgen -W '@COMMANDS@' -- \"$cur\")); return\n"
        "            fi ;;\n"
        "@CASES@"
        "    esac\n"
        "    if [[ $cur == -* ]]; then\n"
        "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        "    elif [[ -n $words ]]; then\n"
        "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
        "    elif ((files)); then\n"
        "        local IFS=$'\\n'\n"
        "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        "    fi\n"
        "}\n"
        "complete -F _tolvane_cli tolvane-cli\n"
        "# tolvane and tolvane-sim: their options as their own --help lists them.\n"
        "_tolvane_options() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    COMPREPLY=()\n"
        "    local IFS=$'\\n'\n"
        "    case $prev in\n"
        "        --serial) COMPREPLY=($(compgen -W \"$(_tolvane_cli_devices)\" -- \"$cur\")); "
        "return ;;\n"
        "        --view|--config|--pty|--pty-link) COMPREPLY=($(compgen -f -- \"$cur\")); "
        "return ;;\n"
        "    esac\n"
        "    [[ $cur == -* ]] || return\n"
        "    COMPREPLY=($(compgen -W \"$(\"$1\" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' "
        "| sort -u)\" -- \"$cur\"))\n"
        "}\n"
        "complete -F _tolvane_options tolvane tolvane-sim\n";
    QStringList globalValued;
    for (const Option &o : global)
        if (!o.valueName.isEmpty())
            for (const QString &n : o.names)
                globalValued << (n.size() == 1 ? "-" : "--") + n;
    QStringList commandNames;
    QString cases;
    for (const CliCommand &c : CliCommands()) {
        commandNames << c.name;
        QString valued;
        for (const Option &o : c.options) {
            if (o.valueName.isEmpty() || o.hidden) continue;
            QStringList names;
            for (const QString &n : o.names)
                names << (n.size() == 1 ? "-" : "--") + n;
            const QString words = ValueWords(o.valueName);
            const bool file = o.valueName.contains("FILE") || o.valueName.contains("DIR");
            valued += QStringLiteral("                %1) %2 ;;\n")
                          .arg(names.join('|'),
                               !words.isEmpty() ? QStringLiteral("COMPREPLY=($(compgen -W '%1' -- "
                                                                 "\"$cur\")); return")
                                                      .arg(words)
                               : file ? QStringLiteral("local IFS=$'\\n'; COMPREPLY=($(compgen -f "
                                                       "-- \"$cur\")); return")
                                      : QStringLiteral("return"));
        }
        QString line = QStringLiteral("        %1)\n").arg(c.name);
        if (!valued.isEmpty())
            line += "            case $prev in\n" + valued + "            esac\n";
        line += QStringLiteral("            options=\"$options %1 %2\"")
                    .arg(Names(c.options, false), Names(c.options, true))
                    .simplified()
                    .prepend("            ");
        if (c.name == "help")
            line += "; words='@COMMANDS@'";
        else if (c.maxWords > 0)
            line += "; files=1";
        line += " ;;\n";
        cases += line;
    }
    script.replace("@CASES@", cases);
    script.replace("@GLOBALVALUED@", globalValued.join('|'));
    script.replace("@GLOBAL@", Names(global, false) + ' ' + Names(global, true));
    script.replace("@COMMANDS@", commandNames.join(' '));
    return script.toUtf8();
}
