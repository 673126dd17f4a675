// Controls: kinds, value events, values, attributes and ring items.
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
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <cmath>

namespace engine {
namespace {

// Values set by the program never reach the callbacks.
struct Quiet {
    explicit Quiet(QWidget *w) : blocker(w) {}
    QSignalBlocker blocker;
};

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

QString Hex(int rgb) {
    return FromRgb(rgb).name(QColor::HexRgb);
}

QString NumberText(double v, bool integer, const QWidget *w) {
    if (integer) return QString::number(qint64(std::llround(v)));
    const QVariant precision = w->property("precision");
    if (precision.isValid()) return QString::number(v, 'f', precision.toInt());
    return QString::number(v, 'g', 10);
}

bool ParseNumber(const QString &text, double *v) {
    bool ok = false;
    const QString t = text.trimmed();
    *v = t.toDouble(&ok);
    if (!ok) {
        *v = double(t.toLongLong(&ok, 0)); // 0x... colours and the like
        if (!ok) *v = 0;
    }
    return ok;
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

void SetLabelText(QLabel *l, const QString &text) {
    if (l->text() != text) l->setText(text);
}

// Sets a number on any kind that shows one.
int SetNumber(Ctrl &c, double v, bool integer) {
    QWidget *w = c.w;
    const int iv = int(std::lround(v));
    switch (c.kind) {
    case Kind::Spin: {
        Quiet q(w);
        static_cast<QSpinBox *>(w)->setValue(iv);
        return 0;
    }
    case Kind::DoubleSpin: {
        Quiet q(w);
        static_cast<QDoubleSpinBox *>(w)->setValue(v);
        return 0;
    }
    case Kind::Slider: {
        Quiet q(w);
        static_cast<QSlider *>(w)->setValue(iv);
        UpdateMirrors(c, static_cast<QSlider *>(w)->value());
        return 0;
    }
    case Kind::Bar: {
        auto *bar = static_cast<QProgressBar *>(w);
        bar->setValue(std::clamp(iv, bar->minimum(), bar->maximum()));
        return 0;
    }
    case Kind::Toggle:
    case Kind::Switch: {
        Quiet q(w);
        static_cast<QAbstractButton *>(w)->setChecked(iv != 0);
        return 0;
    }
    case Kind::Ring: {
        auto *ring = static_cast<QComboBox *>(w);
        const int index = ring->findData(iv, Qt::UserRole);
        if (index < 0) return kErrBadValue;
        Quiet q(w);
        ring->setCurrentIndex(index);
        return 0;
    }
    case Kind::Led: {
        const int on = iv != 0;
        if (on != c.ledOn) {
            c.ledOn = on;
            w->update();
        }
        return 0;
    }
    case Kind::ColorPatch:
        SetPatch(c, iv);
        return 0;
    case Kind::Label:
        SetLabelText(static_cast<QLabel *>(w), NumberText(v, integer, w));
        return 0;
    case Kind::Text: {
        Quiet q(w);
        static_cast<QLineEdit *>(w)->setText(NumberText(v, integer, w));
        c.dirty = false;
        return 0;
    }
    default:
        return kErrWrongKind;
    }
}

int SetText(Ctrl &c, const QString &text) {
    QWidget *w = c.w;
    switch (c.kind) {
    case Kind::Label:
        SetLabelText(static_cast<QLabel *>(w), text);
        return 0;
    case Kind::Text: {
        Quiet q(w);
        static_cast<QLineEdit *>(w)->setText(text);
        c.dirty = false;
        return 0;
    }
    case Kind::Ring: {
        auto *ring = static_cast<QComboBox *>(w);
        Quiet q(w);
        if (ring->isEditable()) {
            ring->setEditText(text);
            return 0;
        }
        int index = ring->findData(text, Qt::UserRole);
        if (index < 0) index = ring->findText(text);
        if (index < 0) return kErrBadValue;
        ring->setCurrentIndex(index);
        return 0;
    }
    case Kind::Button:
    case Kind::Group:
        return kErrWrongKind;
    default: {
        double v = 0;
        if (!ParseNumber(text, &v)) return kErrBadValue;
        return SetNumber(c, v, false);
    }
    }
}

int GetNumber(const Ctrl &c, double *v) {
    QWidget *w = c.w;
    switch (c.kind) {
    case Kind::Spin:
        *v = static_cast<QSpinBox *>(w)->value();
        return 0;
    case Kind::DoubleSpin:
        *v = static_cast<QDoubleSpinBox *>(w)->value();
        return 0;
    case Kind::Slider:
        *v = static_cast<QSlider *>(w)->value();
        return 0;
    case Kind::Bar:
        *v = static_cast<QProgressBar *>(w)->value();
        return 0;
    case Kind::Toggle:
    case Kind::Switch:
        *v = static_cast<QAbstractButton *>(w)->isChecked() ? 1 : 0;
        return 0;
    case Kind::Ring: {
        auto *ring = static_cast<QComboBox *>(w);
        const QVariant data = ring->currentData(Qt::UserRole);
        *v = data.isValid() ? data.toDouble() : ring->currentIndex();
        return 0;
    }
    case Kind::Led:
        *v = c.ledOn;
        return 0;
    case Kind::ColorPatch:
        *v = c.patchColor;
        return 0;
    case Kind::Label:
        return ParseNumber(static_cast<QLabel *>(w)->text(), v) ? 0 : kErrBadValue;
    case Kind::Text:
        return ParseNumber(static_cast<QLineEdit *>(w)->text(), v) ? 0 : kErrBadValue;
    default:
        *v = 0;
        return kErrWrongKind;
    }
}

int GetText(const Ctrl &c, QString *text) {
    QWidget *w = c.w;
    switch (c.kind) {
    case Kind::Label:
        *text = static_cast<QLabel *>(w)->text();
        return 0;
    case Kind::Text:
        *text = static_cast<QLineEdit *>(w)->text();
        return 0;
    case Kind::Ring: {
        auto *ring = static_cast<QComboBox *>(w);
        const QVariant data = ring->currentData(Qt::UserRole);
        *text = !ring->isEditable() && data.typeId() == QMetaType::QString ? data.toString()
                                                                           : ring->currentText();
        return 0;
    }
    case Kind::Button:
        *text = static_cast<QAbstractButton *>(w)->text();
        return 0;
    default: {
        double v = 0;
        const int r = GetNumber(c, &v);
        *text = r < 0 ? QString() : NumberText(v, v == std::floor(v), w);
        return r;
    }
    }
}

template <typename T> int GetAs(int panel, int control, T *value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    double v = 0;
    const int r = GetNumber(*c, &v);
    *value = T(std::llround(v));
    return r;
}

QComboBox *Ring(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    return c && c->kind == Kind::Ring ? static_cast<QComboBox *>(c->w) : nullptr;
}

// Moves a control and its label together, so that the label stays beside it.
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

} // namespace

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
    for (const auto &label : c.mirrors)
        if (label) SetLabelText(label, QString::number(value));
}

// Value events from the widgets' user signals; signals caused by the
// program are blocked where the value is set.
void WireControl(Ctrl &c) {
    const int panel = c.panel;
    const int id = c.id;
    auto changedThenCommit = [panel, id] {
        Fire(panel, id, EVENT_VAL_CHANGED);
        Fire(panel, id, EVENT_COMMIT);
    };
    QWidget *w = c.w;
    switch (c.kind) {
    case Kind::Button:
        QObject::connect(static_cast<QAbstractButton *>(w), &QAbstractButton::clicked, w,
                         [panel, id] { Fire(panel, id, EVENT_COMMIT); });
        break;
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
        QObject::connect(edit, &QLineEdit::textEdited, w, [panel, id] {
            if (Ctrl *c = FindCtrl(panel, id)) c->dirty = true;
            Fire(panel, id, EVENT_VAL_CHANGED);
        });
        QObject::connect(edit, &QLineEdit::returnPressed, w, [panel, id] {
            if (Ctrl *c = FindCtrl(panel, id)) c->dirty = false;
            Fire(panel, id, EVENT_COMMIT);
        });
        QObject::connect(edit, &QLineEdit::editingFinished, w, [panel, id] {
            Ctrl *c = FindCtrl(panel, id);
            if (!c || !c->dirty) return;
            c->dirty = false;
            Fire(panel, id, EVENT_COMMIT);
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

using namespace engine;

int SetCtrlVal(int panel, int control, int value) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? SetNumber(*c, value, true) : kErrBadControl;
}

int SetCtrlVal(int panel, int control, unsigned int value) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? SetNumber(*c, double(value), true) : kErrBadControl;
}

int SetCtrlVal(int panel, int control, double value) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? SetNumber(*c, value, false) : kErrBadControl;
}

int SetCtrlVal(int panel, int control, const QString &value) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? SetText(*c, value) : kErrBadControl;
}

int SetCtrlVal(int panel, int control, const char *value) {
    return SetCtrlVal(panel, control, QString::fromUtf8(value));
}

int GetCtrlVal(int panel, int control, int *value) {
    return GetAs(panel, control, value);
}
int GetCtrlVal(int panel, int control, unsigned short *value) {
    return GetAs(panel, control, value);
}
int GetCtrlVal(int panel, int control, short *value) {
    return GetAs(panel, control, value);
}
int GetCtrlVal(int panel, int control, unsigned int *value) {
    return GetAs(panel, control, value);
}

int GetCtrlVal(int panel, int control, double *value) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? GetNumber(*c, value) : kErrBadControl;
}

int GetCtrlVal(int panel, int control, QString *value) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? GetText(*c, value) : kErrBadControl;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    QWidget *w = c->w;
    switch (attribute) {
    case ATTR_DIMMED:
        w->setEnabled(!value);
        if (c->buddy) c->buddy->setEnabled(!value);
        return 0;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
        if (c->buddy) c->buddy->setVisible(value != 0);
        return 0;
    case ATTR_TOP:
        Place(*c, QRect(QPoint(w->x(), value), w->size()));
        return 0;
    case ATTR_LEFT:
        Place(*c, QRect(QPoint(value, w->y()), w->size()));
        return 0;
    case ATTR_WIDTH:
        w->resize(value, w->height());
        return 0;
    case ATTR_HEIGHT:
        w->resize(w->width(), value);
        return 0;
    case ATTR_CMD_BUTTON_COLOR:
        if (c->kind != Kind::Button && c->kind != Kind::Toggle) return kErrWrongKind;
        c->buttonColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_TEXT_COLOR:
        c->textColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_TEXT_BGCOLOR:
        c->bgColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_FRAME_COLOR:
        c->frameColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_ON_COLOR:
        c->onColor = value & 0xFFFFFF;
        w->update();
        return 0;
    case ATTR_OFF_COLOR:
        c->offColor = value & 0xFFFFFF;
        w->update();
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        return c->kind == Kind::Graph ? SetGraphPointsPerScreen(*c, value) : kErrWrongKind;
    case ATTR_CTRL_MODE:
        SetIndicator(*c, value == VAL_INDICATOR);
        return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE: {
        Quiet q(w);
        const bool min = attribute == ATTR_MIN_VALUE;
        if (auto *s = qobject_cast<QSpinBox *>(w))
            min ? s->setMinimum(value) : s->setMaximum(value);
        else if (auto *d = qobject_cast<QDoubleSpinBox *>(w))
            min ? d->setMinimum(value) : d->setMaximum(value);
        else if (auto *a = qobject_cast<QAbstractSlider *>(w))
            min ? a->setMinimum(value) : a->setMaximum(value);
        else if (auto *b = qobject_cast<QProgressBar *>(w))
            min ? b->setMinimum(value) : b->setMaximum(value);
        else
            return kErrWrongKind;
        return 0;
    }
    case ATTR_MAX_ENTRY_LENGTH:
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            edit->setMaxLength(value < 0 ? 32767 : value);
            return 0;
        }
        return kErrWrongKind;
    case ATTR_TEXT_POINT_SIZE:
    case ATTR_TEXT_BOLD:
    case ATTR_TEXT_ITALIC: {
        QFont font = w->font();
        if (attribute == ATTR_TEXT_POINT_SIZE) {
            if (value <= 0) return kErrBadValue;
            font.setPointSize(value);
        } else if (attribute == ATTR_TEXT_BOLD) {
            font.setBold(value != 0);
        } else {
            font.setItalic(value != 0);
        }
        w->setFont(font);
        return 0;
    }
    default:
        return kErrBadAttribute;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const QString &value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    if (attribute == ATTR_TEXT_FONT) {
        QFont font = c->w->font();
        font.setFamily(value);
        c->w->setFont(font);
        return 0;
    }
    if (attribute != ATTR_LABEL_TEXT) return kErrBadAttribute;
    if (c->kind == Kind::Graph)
        SetGraphTitle(*c, value);
    else if (auto *b = qobject_cast<QAbstractButton *>(c->w))
        b->setText(value);
    else if (auto *g = qobject_cast<QGroupBox *>(c->w))
        g->setTitle(value);
    else if (c->buddy)
        c->buddy->setText(value);
    c->labelText = value;
    return 0;
}

bool engine::GetGeometryAttribute(const QWidget *w, int attribute, int *value) {
    switch (attribute) {
    case ATTR_VISIBLE:
        *value = !w->isHidden();
        return true;
    case ATTR_TOP:
        *value = w->y();
        return true;
    case ATTR_LEFT:
        *value = w->x();
        return true;
    case ATTR_WIDTH:
        *value = w->width();
        return true;
    case ATTR_HEIGHT:
        *value = w->height();
        return true;
    default:
        return false;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    QWidget *w = c->w;
    if (GetGeometryAttribute(w, attribute, value)) return 0;
    switch (attribute) {
    case ATTR_DIMMED:
        *value = !w->isEnabled();
        return 0;
    case ATTR_CMD_BUTTON_COLOR:
        *value = c->buttonColor >= 0 ? c->buttonColor : ToRgb(w->palette().color(QPalette::Button));
        return 0;
    case ATTR_TEXT_COLOR:
        *value = c->textColor >= 0 ? c->textColor : ToRgb(w->palette().color(w->foregroundRole()));
        return 0;
    case ATTR_TEXT_BGCOLOR:
        *value = c->bgColor >= 0 ? c->bgColor : ToRgb(w->palette().color(w->backgroundRole()));
        return 0;
    case ATTR_FRAME_COLOR:
        *value = c->frameColor >= 0 ? c->frameColor : ToRgb(w->palette().color(QPalette::Mid));
        return 0;
    case ATTR_ON_COLOR:
        *value = c->onColor;
        return 0;
    case ATTR_OFF_COLOR:
        *value = c->offColor;
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        if (c->kind != Kind::Graph) return kErrWrongKind;
        *value = GraphPointsPerScreen(*c);
        return 0;
    case ATTR_CTRL_MODE:
        *value = c->mode;
        return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE: {
        const bool min = attribute == ATTR_MIN_VALUE;
        if (auto *s = qobject_cast<QSpinBox *>(w))
            *value = min ? s->minimum() : s->maximum();
        else if (auto *d = qobject_cast<QDoubleSpinBox *>(w))
            *value = int(min ? d->minimum() : d->maximum());
        else if (auto *a = qobject_cast<QAbstractSlider *>(w))
            *value = min ? a->minimum() : a->maximum();
        else if (auto *b = qobject_cast<QProgressBar *>(w))
            *value = min ? b->minimum() : b->maximum();
        else
            return kErrWrongKind;
        return 0;
    }
    case ATTR_MAX_ENTRY_LENGTH:
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            *value = edit->maxLength() >= 32767 ? -1 : edit->maxLength();
            return 0;
        }
        return kErrWrongKind;
    case ATTR_TEXT_FONT_NAME_LENGTH:
        *value = int(w->font().family().size());
        return 0;
    case ATTR_TEXT_POINT_SIZE:
        *value = w->font().pointSize();
        return 0;
    case ATTR_TEXT_BOLD:
        *value = w->font().bold();
        return 0;
    case ATTR_TEXT_ITALIC:
        *value = w->font().italic();
        return 0;
    default:
        return kErrBadAttribute;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, QString *value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    if (attribute == ATTR_TEXT_FONT) {
        *value = c->w->font().family();
        return 0;
    }
    if (attribute != ATTR_LABEL_TEXT) return kErrBadAttribute;
    if (c->kind == Kind::Graph)
        *value = GraphTitle(*c);
    else if (auto *b = qobject_cast<QAbstractButton *>(c->w))
        *value = b->text();
    else if (auto *g = qobject_cast<QGroupBox *>(c->w))
        *value = g->title();
    else if (c->buddy)
        *value = c->buddy->text();
    else
        *value = c->labelText;
    return 0;
}

int SetActiveCtrl(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    c->w->setFocus(Qt::OtherFocusReason);
    return 0;
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void *callbackData) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    c->cb = callback;
    c->cbData = callbackData;
    return 0;
}

int GetCtrlCallback(int panel, int control, CtrlCallbackPtr *callback, void **callbackData) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    if (callback) *callback = c->cb;
    if (callbackData) *callbackData = c->cbData;
    return 0;
}

int DisplayImageFile(int panel, int control, const QString &path) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    auto *label = qobject_cast<QLabel *>(c->w);
    if (!label) return kErrWrongKind;
    QPixmap image(path);
    if (image.isNull()) return kErrNoFile;
    label->setPixmap(image);
    return 0;
}

// ----------------------------------------------------------------- rings ---

namespace {
// A ring changes its current item when items come and go, and an editable
// ring shows the current item in its text part; list edits must leave what
// the operator typed alone.
struct KeepEditText {
    explicit KeepEditText(QComboBox *ring) : ring(ring), quiet(ring) {
        if (ring->isEditable()) text = ring->lineEdit()->text();
    }
    ~KeepEditText() {
        if (!ring->isEditable()) return;
        QSignalBlocker quietText(ring->lineEdit());
        ring->setCurrentIndex(-1);
        if (ring->lineEdit()->text() != text) ring->lineEdit()->setText(text);
    }
    QComboBox *ring;
    QSignalBlocker quiet;
    QString text;
};

int InsertItem(int panel, int control, int index, const QString &label, const QVariant &value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index > ring->count()) index = ring->count();
    KeepEditText keep(ring);
    ring->insertItem(index, label, value);
    return 0;
}

int ReplaceItem(int panel, int control, int index, const QString &label, const QVariant &value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    KeepEditText keep(ring);
    ring->setItemText(index, label);
    ring->setItemData(index, value, Qt::UserRole);
    return 0;
}

int IndexOf(int panel, int control, int *index, const QVariant &value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    *index = ring->findData(value, Qt::UserRole, Qt::MatchExactly);
    return 0;
}
} // namespace

int InsertListItem(int panel, int control, int index, const QString &label, int value) {
    return InsertItem(panel, control, index, label, value);
}

int InsertListItem(int panel, int control, int index, const QString &label, const QString &value) {
    return InsertItem(panel, control, index, label, value);
}

int DeleteListItem(int panel, int control, int index, int count) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index > ring->count()) return kErrBadValue;
    const int end = count < 0 ? ring->count() : std::min(ring->count(), index + count);
    KeepEditText keep(ring);
    for (int i = end - 1; i >= index; --i)
        ring->removeItem(i);
    return 0;
}

int ReplaceListItem(int panel, int control, int index, const QString &label, int value) {
    return ReplaceItem(panel, control, index, label, value);
}

int ReplaceListItem(int panel, int control, int index, const QString &label, const QString &value) {
    return ReplaceItem(panel, control, index, label, value);
}

int GetNumListItems(int panel, int control, int *count) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    *count = ring->count();
    return 0;
}

int GetIndexFromValue(int panel, int control, int *index, int value) {
    return IndexOf(panel, control, index, value);
}

int GetIndexFromValue(int panel, int control, int *index, const QString &value) {
    return IndexOf(panel, control, index, value);
}

int GetValueFromIndex(int panel, int control, int index, int *value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    *value = ring->itemData(index, Qt::UserRole).toInt();
    return 0;
}

int GetValueFromIndex(int panel, int control, int index, QString *value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    *value = ring->itemData(index, Qt::UserRole).toString();
    return 0;
}

int GetCtrlIndex(int panel, int control, int *index) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    *index = ring->currentIndex();
    return 0;
}

int SetCtrlIndex(int panel, int control, int index) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    QSignalBlocker quiet(ring);
    ring->setCurrentIndex(index);
    return 0;
}
