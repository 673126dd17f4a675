// Numbers typed by the operator are taken whole or not at all: a value out
// of the field's range, a fraction, a sign or letters in a whole-number field
// are refused visibly. The field keeps its value, is framed in red, and its
// name with its range shows in the tooltip and, through the program's handler,
// in the status line.
#include "platform/EngineState.h"

#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QToolTip>

namespace engine {
namespace {

void (*refusedHandler)(const QString &note) = nullptr;

constexpr int kRefusedColour = 0xC00000;
constexpr int kMaxTypedChars = 16; // room to show what was typed
const char kPlainToolTip[] = "plainToolTip";
const char kMarkName[] = "refusalMark";

// A red frame laid over a field, so that it shows whatever the field's own
// style sheet draws.
class RefusalMark : public QWidget {
  public:
    explicit RefusalMark(QWidget *field) : QWidget(field) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QLatin1String(kMarkName));
    }

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setPen(QPen(FromRgb(kRefusedColour), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};

RefusalMark *MarkOf(QWidget *field) {
    // By name: without a meta-object of its own, a cast would take any child widget.
    return static_cast<RefusalMark *>(
        field->findChild<QWidget *>(QLatin1String(kMarkName), Qt::FindDirectChildrenOnly));
}

class CheckedSpinBox : public QSpinBox {
  public:
    explicit CheckedSpinBox(QWidget *parent) : QSpinBox(parent) {
        connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
            if (m_refusedNow)
                m_refusedNow = false;
            else
                ClearRefusal(this);
        });
    }
    std::function<void()> onRefused;

  protected:
    QValidator::State validate(QString &text, int &pos) const override {
        if (QSpinBox::validate(text, pos) == QValidator::Acceptable &&
            IsWholeNumber(Digits(text), displayIntegerBase()))
            return QValidator::Acceptable;
        // Kept in the field as typed, so that the refusal shows what it refuses.
        return text.size() <= kMaxTypedChars ? QValidator::Intermediate : QValidator::Invalid;
    }

    // Called with a text that is no value of the field; left as it is, the
    // field goes back to its value.
    void fixup(QString &input) const override {
        auto *self = const_cast<CheckedSpinBox *>(this);
        self->m_refusedNow = true;
        RefuseTyped(self, FieldName(self), minimum(), maximum(), input, displayIntegerBase());
        if (onRefused) onRefused();
    }

  private:
    // The number's digits, without the field's prefix ("0x") and suffix.
    QString Digits(const QString &text) const {
        QString t = text.trimmed();
        if (!prefix().isEmpty() && t.startsWith(prefix(), Qt::CaseInsensitive))
            t = t.mid(prefix().size());
        if (!suffix().isEmpty() && t.endsWith(suffix(), Qt::CaseInsensitive))
            t.chop(suffix().size());
        return t.trimmed();
    }
    bool m_refusedNow = false;
};

} // namespace

bool IsWholeNumber(const QString &text, int base) {
    if (text.isEmpty()) return false;
    for (QChar ch : text) {
        const int digit = ch.isDigit() ? ch.digitValue() : ch.toLower().unicode() - 'a' + 10;
        if (ch.unicode() > 'z' || digit < 0 || digit >= base || (!ch.isDigit() && digit < 10))
            return false;
    }
    return true;
}

QString FieldName(const QWidget *field) {
    const QString name = field->property("fieldName").toString();
    return name.isEmpty() ? QStringLiteral("This field") : name;
}

QString FieldRange(const QString &name, int min, int max, int base) {
    if (base == 16)
        return QStringLiteral("%1 takes 0x%2..0x%3").arg(name).arg(min, 0, 16).arg(max, 0, 16);
    return QStringLiteral("%1 takes whole numbers %2..%3").arg(name).arg(min).arg(max);
}

void RefuseTyped(QWidget *field, const QString &name, int min, int max, const QString &typed,
                 int base) {
    const QString range = FieldRange(name, min, max, base);
    const QString shown = typed.trimmed();
    const QString note =
        shown.isEmpty()
            ? QStringLiteral("%1 was left empty and keeps its value: %2").arg(name, range)
            : QStringLiteral("\"%1\" refused: %2").arg(shown, range);
    if (!field->property(kPlainToolTip).isValid())
        field->setProperty(kPlainToolTip, field->toolTip());
    const QString plain = field->property(kPlainToolTip).toString();
    field->setToolTip(plain.isEmpty() ? range : plain + QLatin1Char('\n') + range);
    RefusalMark *mark = MarkOf(field);
    if (!mark) mark = new RefusalMark(field);
    mark->setGeometry(field->rect());
    mark->show();
    mark->raise();
    // A cell's editor closes after the commit: the tip belongs to the table.
    QWidget *tipOwner = field->property("cellEditor").toBool() ? field->parentWidget() : field;
    if (field->isVisible() && tipOwner)
        QToolTip::showText(field->mapToGlobal(QPoint(0, field->height())), note, tipOwner);
    if (refusedHandler) refusedHandler(note);
}

void ClearRefusal(QWidget *field) {
    RefusalMark *mark = MarkOf(field);
    if (!mark || mark->isHidden()) return;
    mark->hide();
    field->setToolTip(field->property(kPlainToolTip).toString());
    field->setProperty(kPlainToolTip, QVariant());
}

bool FieldRefused(const QWidget *field) {
    const RefusalMark *mark = MarkOf(const_cast<QWidget *>(field));
    return mark && !mark->isHidden();
}

QSpinBox *NewCheckedSpinBox(QWidget *parent, std::function<void()> onRefused) {
    auto *spin = new CheckedSpinBox(parent);
    spin->onRefused = std::move(onRefused);
    return spin;
}

// A whole-number text field (the TCP port): what it held before stays when
// the typed text is no number of its range.
bool AcceptTypedText(Ctrl &c) {
    if (!c.wholeRange) return true;
    auto *edit = static_cast<QLineEdit *>(c.w);
    const QString typed = edit->text().trimmed();
    bool ok = IsWholeNumber(typed);
    const long long v = ok ? typed.toLongLong(&ok) : 0;
    if (ok && v >= c.wholeMin && v <= c.wholeMax) {
        c.acceptedText = edit->text();
        ClearRefusal(c.w);
        return true;
    }
    {
        Quiet q(c.w);
        edit->setText(c.acceptedText);
    }
    RefuseTyped(c.w, FieldName(c.w), c.wholeMin, c.wholeMax, typed);
    return false;
}

} // namespace engine

void SetRefusedInputHandler(void (*handler)(const QString &note)) {
    engine::refusedHandler = handler;
}
