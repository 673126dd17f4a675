// The table entries of the tool's sensor commands: name, usage, help text,
// options and the function that runs each. The commands themselves live in
// ParamCommands.cpp, FrameCommands.cpp and StatsCommand.cpp.
#include "cli/Cli.h"

#include "feed/FeedOptions.h"

using cmdline::Option;

namespace {
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

// The commands that read and write the sensor's parameter set and take its
// frames; serve joins from its own file.
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

} // namespace
