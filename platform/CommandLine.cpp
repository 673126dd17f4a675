// The command-line layer over QCommandLineParser: the table of options, the
// checks Qt leaves out, and the help lines made from the same table.
#include "platform/CommandLine.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace cmdline {

namespace {
QString Dashed(const QString &name) {
    return (name.size() == 1 ? "-" : "--") + name;
}
} // namespace

Parser::Parser(const QList<Option> &options) : options_(options) {}
Parser::~Parser() = default;

bool Parser::Parse(const QStringList &args, QString *error) {
    qt_ = std::make_unique<QCommandLineParser>();
    qt_->setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const Option &o : options_) {
        QCommandLineOption q(o.names);
        if (!o.valueName.isEmpty()) q.setValueName(o.valueName);
        qt_->addOption(q);
    }
    if (!qt_->parse(QStringList{QStringLiteral("program")} + args)) {
        const QStringList unknown = qt_->unknownOptionNames();
        if (!unknown.isEmpty()) {
            *error = QStringLiteral("unknown option %1").arg(Dashed(unknown.first()));
            return false;
        }
        static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'"));
        static const QRegularExpression unexpected(
            QStringLiteral("^Unexpected value after '(.*)'"));
        const QString qtText = qt_->errorText();
        if (const auto m = missing.match(qtText); m.hasMatch())
            *error = QStringLiteral("%1 needs a value").arg(m.captured(1));
        else if (const auto u = unexpected.match(qtText); u.hasMatch())
            *error = QStringLiteral("%1 takes no value").arg(u.captured(1));
        else
            *error = qtText;
        return false;
    }
    // Qt takes the next word as the value even when it is one of the options:
    // "-n -i 1" means that -n lacks its value, not that -n is "-i".
    for (const Option &o : options_) {
        if (o.valueName.isEmpty()) continue;
        for (const QString &value : qt_->values(o.names.first())) {
            if (value.size() < 2 || !value.startsWith('-')) continue;
            const QString name =
                value.mid(value.startsWith(QLatin1String("--")) ? 2 : 1).section('=', 0, 0);
            for (const Option &other : options_)
                if (other.names.contains(name)) {
                    *error = QStringLiteral("%1 needs a value").arg(Written(o.names.first()));
                    return false;
                }
        }
    }
    // A value named "tsv|json" is one of those words.
    static const QRegularExpression choices(QStringLiteral("^[a-z0-9]+(\\|[a-z0-9]+)+$"));
    for (const Option &o : options_) {
        if (!choices.match(o.valueName).hasMatch()) continue;
        const QStringList allowed = o.valueName.split('|');
        for (const QString &value : qt_->values(o.names.first()))
            if (!allowed.contains(value)) {
                *error =
                    QStringLiteral("%1 %2: one of %3")
                        .arg(Written(o.names.first()), value, allowed.join(QStringLiteral(", ")));
                return false;
            }
    }
    // Qt keeps the last of repeated values: a second --publish would replace
    // the first without a word.
    const QStringList given = qt_->optionNames();
    for (const Option &o : options_) {
        if (o.repeatable) continue;
        int count = 0;
        for (const QString &name : given)
            count += o.names.contains(name) ? 1 : 0;
        if (count > 1) {
            *error = QStringLiteral("%1 is given twice").arg(Written(o.names.first()));
            return false;
        }
    }
    return true;
}

bool Parser::IsSet(const QString &name) const {
    return qt_ && qt_->isSet(name);
}

QString Parser::Value(const QString &name) const {
    return qt_ ? qt_->value(name) : QString();
}

QStringList Parser::Values(const QString &name) const {
    return qt_ ? qt_->values(name) : QStringList();
}

QStringList Parser::Words() const {
    return qt_ ? qt_->positionalArguments() : QStringList();
}

QString Parser::Written(const QString &name) const {
    for (const Option &o : options_) {
        if (!o.names.contains(name)) continue;
        if (qt_)
            for (const QString &given : qt_->optionNames())
                if (o.names.contains(given)) return Dashed(given);
        return Dashed(o.names.last());
    }
    return Dashed(name);
}

QString FirstWord(const QStringList &args, const QList<Option> &options, int *at) {
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--")) {
            if (i + 1 < args.size()) {
                if (at) *at = i + 1;
                return args[i + 1];
            }
            break;
        }
        if (a.size() > 1 && a.startsWith('-')) {
            if (a.contains('=')) continue;
            const QString name = a.startsWith(QLatin1String("--")) ? a.mid(2) : a.mid(1);
            for (const Option &o : options)
                if (o.names.contains(name) && !o.valueName.isEmpty()) ++i;
            continue;
        }
        if (at) *at = i;
        return a;
    }
    return QString();
}

QString Wrapped(const QString &text, int indent) {
    QString out, line;
    const QString pad(indent, ' ');
    for (const QString &paragraph : text.split('\n')) {
        line.clear();
        for (const QString &word : paragraph.split(' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && indent + line.size() + 1 + word.size() > 79) {
                out += pad + line + '\n';
                line.clear();
            }
            line += (line.isEmpty() ? "" : " ") + word;
        }
        out += pad + line + '\n';
    }
    return out;
}

QString OptionLines(const QList<Option> &options) {
    constexpr int kHelpColumn = 28;
    QString out;
    for (const Option &o : options) {
        if (o.hidden) continue;
        QStringList names;
        for (const QString &n : o.names)
            names << Dashed(n);
        QString head = "  " + names.join(QStringLiteral(", "));
        if (!o.valueName.isEmpty()) head += ' ' + o.valueName;
        const QString help = Wrapped(o.help, kHelpColumn);
        if (head.size() + 2 <= kHelpColumn)
            out += head.leftJustified(kHelpColumn) + help.mid(kHelpColumn);
        else
            out += head + '\n' + help;
    }
    return out;
}

bool WholeNumber(const QString &text, qint64 lo, qint64 hi, qint64 *out) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch()) return false;
    const qint64 v = text.toLongLong();
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

} // namespace cmdline
