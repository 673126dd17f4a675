// One small layer over QCommandLineParser for every program of the system
// (the window, the tool, the simulated sensor): options declared once in a
// table that drives the parsing, the --help text (and with it the man pages)
// and the shell completion. What it adds to Qt: a repeated option is refused
// unless it is declared repeatable, and every error names the word that is
// wrong in the system's own phrasing.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QCommandLineParser;

namespace cmdline {

// Exit code of a usage error in every program.
inline constexpr int kUsageExit = 2;

struct Option {
    QStringList names; // without dashes: one letter is -x, longer is --xyz
    QString valueName; // empty: a flag
    QString help;      // one sentence, wrapped by OptionLines
    bool repeatable = false;
    // Taken, to be refused with a better word than "unknown", but never offered.
    bool hidden = false;
};

// The words of a command line, checked against a table of options. A lone
// `-` is a word (stdin or stdout), `--` ends the options. `--opt=value`,
// `--opt value`, `-n5`, `-n 5` and `-n=5` mean the same.
class Parser {
  public:
    explicit Parser(const QList<Option> &options);
    ~Parser();
    Parser(const Parser &) = delete;
    Parser &operator=(const Parser &) = delete;

    // args without the program's name. False, with the reason naming the
    // word ("unknown option --frmat", "-n needs a value", "--publish is
    // given twice"), when the words do not fit the table.
    bool Parse(const QStringList &args, QString *error);
    // By any of the option's names.
    bool IsSet(const QString &name) const;
    QString Value(const QString &name) const;
    QStringList Values(const QString &name) const;
    // The words that are no options, in order.
    QStringList Words() const;
    // How the option was written on the command line ("-n", "--format").
    QString Written(const QString &name) const;

  private:
    QList<Option> options_;
    std::unique_ptr<QCommandLineParser> qt_;
};

// The first word of args that is neither an option nor the value of one of
// `options` (the command of a program with commands); empty when there is
// none. *at receives its index.
QString FirstWord(const QStringList &args, const QList<Option> &options, int *at = nullptr);

// "  -n, --count N     what it does": one entry per option, its help wrapped
// at 79 columns, as help2man and the reader expect.
QString OptionLines(const QList<Option> &options);
// A text wrapped at 79 columns with every line indented by `indent` spaces.
QString Wrapped(const QString &text, int indent);

// A whole number from lo to hi, or false.
bool WholeNumber(const QString &text, qint64 lo, qint64 hi, qint64 *out);

} // namespace cmdline
