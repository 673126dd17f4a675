// Control values: setting and reading numbers and texts, callbacks, focus.
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

int SetNumber(Ctrl &c, double v, bool integer) {
    QWidget *w = c.w;
    const int iv = int(std::lround(v));
    switch (c.kind) {
    case Kind::Spin: {
        Quiet q(w);
        static_cast<QSpinBox *>(w)->setValue(iv);
        ClearRefusal(w);
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
        c.acceptedText = NumberText(v, integer, w);
        ClearRefusal(w);
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
        c.acceptedText = text;
        ClearRefusal(w);
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
        return ParseNumber(LabelText(static_cast<QLabel *>(w)), v) ? 0 : kErrBadValue;
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
        *text = LabelText(static_cast<QLabel *>(w));
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

} // namespace
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
