// How a form's widget becomes a control: its kind, its value events, its
// mirrors and its style, and the small drawing helpers the other control
// files share.
#include "platform/EngineState.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <cmath>

namespace engine {
namespace {

// A lamp: a filled circle in the on or off colour, the label's text beside it.
class LedPainter : public QObject {
  public:
    LedPainter(QLabel *label, int panel, int control)
        : QObject(label), m_panel(panel), m_control(control) {}

  protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() != QEvent::Paint) return false;
        const Ctrl *c = FindCtrl(m_panel, m_control);
        if (!c) return false;
        auto *label = static_cast<QLabel *>(o);
        QPainter p(label);
        p.setRenderHint(QPainter::Antialiasing);
        const int d = std::max(4, std::min(label->width(), label->height()) - 2);
        const QRect lamp(1, (label->height() - d) / 2, d, d);
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
        p.setBrush(FromRgb(c->ledOn ? c->onColor : c->offColor));
        p.drawEllipse(lamp);
        if (!label->text().isEmpty()) {
            p.setPen(label->palette().color(QPalette::WindowText));
            p.drawText(label->rect().adjusted(d + 5, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                       label->text());
        }
        return true;
    }

  private:
    int m_panel;
    int m_control;
};

} // namespace

QString Hex(int rgb) {
    return FromRgb(rgb).name(QColor::HexRgb);
}

void SetPatch(Ctrl &c, int rgb) {
    c.patchColor = rgb & 0xFFFFFF;
    QPalette pal = c.w->palette();
    const QColor color = FromRgb(c.patchColor);
    if (pal.color(QPalette::Window) == color && c.w->autoFillBackground()) return;
    pal.setColor(QPalette::Window, color);
    c.w->setPalette(pal);
    c.w->setAutoFillBackground(true);
}

namespace {
constexpr char kWholeText[] = "tolvaneWholeText";
constexpr char kOwnToolTip[] = "tolvaneOwnToolTip";
} // namespace

void SetLabelText(QLabel *l, const QString &text) {
    // A one-line display too narrow for its text shows it cut with "…" and
    // the whole of it in the tooltip; the program reads back the whole text.
    QString shown = text;
    if (!l->wordWrap() && !text.contains(QLatin1Char('\n')) && l->pixmap().isNull()) {
        const int room = l->contentsRect().width() - 2 * l->margin() - std::max(0, l->indent());
        shown = l->fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, room));
    }
    const bool wasCut = l->property(kWholeText).isValid();
    if (shown != text) {
        if (!wasCut) l->setProperty(kOwnToolTip, l->toolTip());
        l->setProperty(kWholeText, text);
        l->setToolTip(text);
    } else if (wasCut) {
        l->setProperty(kWholeText, QVariant());
        l->setToolTip(l->property(kOwnToolTip).toString());
    }
    if (l->text() != shown) l->setText(shown);
}

QString LabelText(const QLabel *l) {
    const QVariant whole = l->property(kWholeText);
    return whole.isValid() ? whole.toString() : l->text();
}

// Sets a number on any kind that shows one.

void Place(Ctrl &c, const QRect &r) {
    const QPoint delta = r.topLeft() - c.w->pos();
    c.w->setGeometry(r);
    if (c.buddy && !delta.isNull()) c.buddy->move(c.buddy->pos() + delta);
}

void SetIndicator(Ctrl &c, bool indicator) {
    c.mode = indicator ? VAL_INDICATOR : VAL_HOT;
    if (auto *edit = qobject_cast<QLineEdit *>(c.w))
        edit->setReadOnly(indicator);
    else if (auto *spin = qobject_cast<QAbstractSpinBox *>(c.w))
        spin->setReadOnly(indicator);
    else if (auto *table = qobject_cast<QTableWidget *>(c.w))
        table->setEditTriggers(indicator ? QAbstractItemView::NoEditTriggers
                                         : QAbstractItemView::DoubleClicked |
                                               QAbstractItemView::EditKeyPressed |
                                               QAbstractItemView::AnyKeyPressed);
    else {
        c.w->setAttribute(Qt::WA_TransparentForMouseEvents, indicator);
        c.w->setFocusPolicy(indicator ? Qt::NoFocus : Qt::StrongFocus);
    }
}

int ToRgb(const QColor &color) {
    return int(color.rgb() & 0xFFFFFF);
}

QColor FromRgb(int rgb) {
    return QColor(QRgb(0xFF000000u | (unsigned(rgb) & 0xFFFFFFu)));
}

int ColorProperty(const QWidget *w, const char *name, int fallback) {
    const QVariant v = w->property(name);
    if (!v.isValid()) return fallback;
    if (v.typeId() == QMetaType::QColor) return ToRgb(v.value<QColor>());
    if (v.typeId() == QMetaType::QString) {
        const QColor color(v.toString().trimmed());
        if (color.isValid()) return ToRgb(color);
        bool ok = false;
        const int rgb = v.toString().trimmed().toInt(&ok, 0);
        return ok ? rgb : fallback;
    }
    bool ok = false;
    const int rgb = v.toInt(&ok);
    return ok ? rgb : fallback;
}

Kind Classify(QWidget *w) {
    if (w->property("colorPatch").toBool()) return Kind::ColorPatch;
    if (IsPlot(w)) return Kind::Graph;
    if (qobject_cast<QTableWidget *>(w)) return Kind::Table;
    if (qobject_cast<QComboBox *>(w)) return Kind::Ring;
    if (qobject_cast<QSpinBox *>(w)) return Kind::Spin;
    if (qobject_cast<QDoubleSpinBox *>(w)) return Kind::DoubleSpin;
    if (qobject_cast<QSlider *>(w)) return Kind::Slider;
    if (qobject_cast<QProgressBar *>(w)) return Kind::Bar;
    if (qobject_cast<QLineEdit *>(w)) return Kind::Text;
    if (qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w)) return Kind::Switch;
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->isCheckable() ? Kind::Toggle : Kind::Button;
    if (qobject_cast<QLabel *>(w)) return w->property("led").toBool() ? Kind::Led : Kind::Label;
    if (qobject_cast<QGroupBox *>(w)) return Kind::Group;
    return Kind::Other;
}

void UpdateMirrors(Ctrl &c, int value) {
    for (const auto &mirror : c.mirrors) {
        if (auto *label = qobject_cast<QLabel *>(mirror.data())) {
            SetLabelText(label, QString::number(value));
        } else if (auto *box = qobject_cast<QSpinBox *>(mirror.data())) {
            // The box's own commit would send the value back: quiet.
            const QSignalBlocker quiet(box);
            box->setValue(value);
        }
    }
}

// Value events from the widgets' user signals; signals caused by the
// program are blocked where the value is set.
void WireControl(Ctrl &c) {
    const int panel = c.panel;
    const int id = c.id;
    // The name under which a refused typed value is reported.
    if (c.buddy && !c.w->property("fieldName").isValid()) {
        QString caption = c.buddy->text();
        caption.remove(QLatin1Char('&'));
        caption = caption.simplified();
        if (caption.endsWith(QLatin1Char(':'))) caption.chop(1);
        c.w->setProperty("fieldName", caption);
    }
    auto changedThenCommit = [panel, id] {
        Fire(panel, id, EVENT_VAL_CHANGED);
        Fire(panel, id, EVENT_COMMIT);
    };
    QWidget *w = c.w;
    switch (c.kind) {
    case Kind::Button: {
        auto *button = static_cast<QAbstractButton *>(w);
        QObject::connect(button, &QAbstractButton::clicked, w,
                         [panel, id] { Fire(panel, id, EVENT_COMMIT); });
        // A button's key works in every window of the program (the big
        // displays, the three-sides view, the mean-value teach panel), not
        // only in the button's own; it acts at once, as a click does.
        if (!button->shortcut().isEmpty()) {
            auto *key = new QShortcut(button->shortcut(), button);
            key->setContext(Qt::ApplicationShortcut);
            button->setShortcut(QKeySequence());
            QObject::connect(key, &QShortcut::activated, button, [button] {
                if (button->isEnabled() && button->isVisible()) button->click();
            });
        }
        break;
    }
    case Kind::Toggle:
    case Kind::Switch:
        QObject::connect(static_cast<QAbstractButton *>(w), &QAbstractButton::clicked, w,
                         changedThenCommit);
        break;
    case Kind::Ring: {
        auto *ring = static_cast<QComboBox *>(w);
        // Item values: the form's `values`, else the item indices.
        const QStringList values =
            ring->property("values").toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (int i = 0; i < ring->count(); ++i) {
            bool ok = false;
            const int v = i < values.size() ? values[i].trimmed().toInt(&ok) : i;
            ring->setItemData(
                i, ok || i >= values.size() ? QVariant(v) : QVariant(values[i].trimmed()),
                Qt::UserRole);
        }
        QObject::connect(ring, &QComboBox::activated, w, changedThenCommit);
        break;
    }
    case Kind::Spin:
    case Kind::DoubleSpin: {
        auto *spin = static_cast<QAbstractSpinBox *>(w);
        spin->setKeyboardTracking(false);
        if (auto *s = qobject_cast<QSpinBox *>(w))
            QObject::connect(s, &QSpinBox::valueChanged, w, changedThenCommit);
        else
            QObject::connect(static_cast<QDoubleSpinBox *>(w), &QDoubleSpinBox::valueChanged, w,
                             changedThenCommit);
        break;
    }
    case Kind::Slider: {
        auto *slider = static_cast<QSlider *>(w);
        slider->setTracking(false);
        auto mirror = [panel, id](int v) {
            if (Ctrl *c = FindCtrl(panel, id)) UpdateMirrors(*c, v);
        };
        QObject::connect(slider, &QSlider::sliderMoved, w, mirror);
        QObject::connect(slider, &QSlider::valueChanged, w, [panel, id, mirror](int v) {
            mirror(v);
            Fire(panel, id, EVENT_VAL_CHANGED);
            Fire(panel, id, EVENT_COMMIT);
        });
        break;
    }
    case Kind::Text: {
        auto *edit = static_cast<QLineEdit *>(w);
        const QVariant wholeMin = w->property("wholeMin"), wholeMax = w->property("wholeMax");
        if (wholeMin.isValid() && wholeMax.isValid()) {
            c.wholeRange = true;
            c.wholeMin = wholeMin.toInt();
            c.wholeMax = wholeMax.toInt();
            c.acceptedText = edit->text();
        }
        QObject::connect(edit, &QLineEdit::textEdited, w, [panel, id] {
            if (Ctrl *c = FindCtrl(panel, id)) c->dirty = true;
            Fire(panel, id, EVENT_VAL_CHANGED);
        });
        QObject::connect(edit, &QLineEdit::returnPressed, w, [panel, id] {
            Ctrl *c = FindCtrl(panel, id);
            if (!c) return;
            c->dirty = false;
            if (AcceptTypedText(*c)) Fire(panel, id, EVENT_COMMIT);
        });
        QObject::connect(edit, &QLineEdit::editingFinished, w, [panel, id] {
            Ctrl *c = FindCtrl(panel, id);
            if (!c || !c->dirty) return;
            c->dirty = false;
            if (AcceptTypedText(*c)) Fire(panel, id, EVENT_COMMIT);
        });
        break;
    }
    case Kind::Led:
        c.onColor = ColorProperty(w, "onColor", c.onColor);
        c.offColor = ColorProperty(w, "offColor", c.offColor);
        w->installEventFilter(new LedPainter(static_cast<QLabel *>(w), panel, id));
        break;
    case Kind::ColorPatch: {
        const QVariant v = w->property("color");
        SetPatch(c, v.isValid() ? ColorProperty(w, "color", 0)
                                : ToRgb(w->palette().color(QPalette::Window)));
        break;
    }
    default:
        break;
    }
}

// Run-time colours go into a style sheet addressed to the control alone,
// after the form's own sheet.
void RestyleCtrl(Ctrl &c) {
    QString rule;
    if (c.textColor >= 0) rule += QStringLiteral("color:%1;").arg(Hex(c.textColor));
    if (c.kind == Kind::Button || c.kind == Kind::Toggle) {
        QString sheet = c.baseStyle;
        if (c.buttonColor >= 0) {
            const QString self = QStringLiteral("QPushButton#%1").arg(c.w->objectName());
            const QColor face = FromRgb(c.buttonColor);
            sheet += QStringLiteral("\n%1{%2background-color:%3;border:1px solid #7a7a7a;"
                                    "border-radius:3px;padding:3px 6px;}"
                                    "%1:pressed,%1:checked{background-color:%4;}"
                                    "%1:disabled{color:#8a8a8a;}")
                         .arg(self, rule, face.name(), face.darker(125).name());
        } else if (!rule.isEmpty()) {
            sheet += QStringLiteral("\nQPushButton#%1{%2}").arg(c.w->objectName(), rule);
        }
        if (c.w->styleSheet() != sheet) c.w->setStyleSheet(sheet);
        return;
    }
    if (c.bgColor >= 0) rule += QStringLiteral("background-color:%1;").arg(Hex(c.bgColor));
    // The text part of an editable ring lies inside the ring's frame.
    const bool framed = !qobject_cast<QComboBox *>(c.w->parentWidget());
    if (c.frameColor >= 0 && framed)
        rule += QStringLiteral("border:2px solid %1;").arg(Hex(c.frameColor));
    QString sheet = c.baseStyle;
    if (!rule.isEmpty())
        sheet += QStringLiteral("\n%1#%2{%3}")
                     .arg(QLatin1String(c.w->metaObject()->className()), c.w->objectName(), rule);
    if (c.w->styleSheet() != sheet) c.w->setStyleSheet(sheet);
}
} // namespace engine
