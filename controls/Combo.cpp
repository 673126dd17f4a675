// The editable combo box. The run-time engine sets a text field into a
// native editable ring (MakeEditableRing); this module keeps the record that
// ties the two together, completes the field from the list, handles the
// keys that open the list or leave the field, and passes every event on to
// the callback the field had before.
#include "controls/Combo.h"

#include "platform/Platform.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr int kMarker = 21876;

struct ComboRecord {
    int marker = kMarker; // a record whose marker differs is not a combo box
    int panel = 0;
    int list = 0; // the ring: list, drop-down button and the frame around both
    int text = 0; // the text field the combo box was made from
    CtrlCallbackPtr userCallback = nullptr;
    void *userCallbackData = nullptr;
    // The engine's callbacks and direct calls must not interleave on a
    // record; a callback may call back into this module, hence recursive.
    std::recursive_mutex lock;
    int maxLength = -1; // characters; -1 without a limit
};

// Every record lives here from its creation until its combo box is discarded
// or the program ends; the controls only point at it.
std::vector<std::unique_ptr<ComboRecord>> g_records;

// Whether the next value change of a text field is completed: Backspace and
// Delete switch it off, so that deleting the completed part sticks.
bool g_completion = true;

int StringDataToRing(int panel, int control, int event, void *callbackData, int eventData1,
                     int eventData2);
int RingDataToString(int panel, int control, int event, void *callbackData, int eventData1,
                     int eventData2);

ComboRecord *FindRecord(int panel, int control) {
    CtrlCallbackPtr callback = nullptr;
    void *data = nullptr;
    if (GetCtrlCallback(panel, control, &callback, &data) < 0) return nullptr;
    if (callback != StringDataToRing || !data) return nullptr;
    auto *record = static_cast<ComboRecord *>(data);
    return record->marker == kMarker ? record : nullptr;
}

QStringList Entries(const ComboRecord &r) {
    QStringList entries;
    int count = 0;
    GetNumListItems(r.panel, r.list, &count);
    for (int i = 0; i < count; ++i) {
        QString entry;
        GetValueFromIndex(r.panel, r.list, i, &entry);
        entries.append(entry);
    }
    return entries;
}

void Complete(const ComboRecord &r) {
    QString typed;
    GetCtrlVal(r.panel, r.text, &typed);
    const QString completed = CompleteFromEntries(typed, Entries(r), r.maxLength);
    if (completed != typed) CompleteCtrlText(r.panel, r.text, completed, int(typed.size()));
}

bool IsShiftTab(int keyCode) {
    return keyCode == (VAL_BACKTAB_KEY | VAL_SHIFT_MODIFIER) ||
           keyCode == (VAL_TAB_KEY | VAL_SHIFT_MODIFIER);
}

// Returns true when the key was acted on here; the toolkit must not act on
// it again (Shift+Tab would move the focus twice, an arrow would step
// through the entries).
bool HandleKey(ComboRecord &r, int keyCode) {
    const int key = keyCode & ~VAL_MODIFIER_MASK;
    g_completion = key != VAL_BACKSPACE_KEY && key != VAL_DELETE_KEY;
    if (IsShiftTab(keyCode)) {
        SetActiveCtrlBefore(r.panel, r.text);
        return true;
    }
    if (key == VAL_UP_ARROW_KEY || key == VAL_DOWN_ARROW_KEY) {
        OpenRingList(r.panel, r.list);
        return true;
    }
    return false;
}

int StringDataToRing(int panel, int control, int event, void *callbackData, int eventData1,
                     int eventData2) {
    auto *r = static_cast<ComboRecord *>(callbackData);
    bool keyTaken = false;
    CtrlCallbackPtr user = nullptr;
    void *userData = nullptr;
    {
        std::lock_guard guard(r->lock);
        if (event == EVENT_VAL_CHANGED && g_completion) Complete(*r);
        if (event == EVENT_KEYPRESS) keyTaken = HandleKey(*r, eventData1);
        user = r->userCallback;
        userData = r->userCallbackData;
    }
    // Unlocked: the user callback may discard the combo box.
    const int result = user ? user(panel, control, event, userData, eventData1, eventData2) : 0;
    return keyTaken ? 1 : result;
}

int RingDataToString(int panel, int, int event, void *callbackData, int, int) {
    auto *r = static_cast<ComboRecord *>(callbackData);
    CtrlCallbackPtr user = nullptr;
    void *userData = nullptr;
    int text = 0;
    {
        std::lock_guard guard(r->lock);
        if (event == EVENT_COMMIT) {
            int index = -1;
            QString entry;
            GetCtrlIndex(panel, r->list, &index);
            if (index >= 0) GetValueFromIndex(panel, r->list, index, &entry);
            if (r->maxLength >= 0) entry.truncate(r->maxLength);
            SetCtrlVal(panel, r->text, entry);
        } else if (event == EVENT_VAL_CHANGED) {
            SetActiveCtrl(panel, r->text);
        } else {
            return 0;
        }
        user = r->userCallback;
        userData = r->userCallbackData;
        text = r->text;
    }
    // The user callback sees its own field commit, as if the entry was typed.
    return user ? user(panel, text, event, userData, 0, 0) : 0;
}

// Applies an attribute to the ring and the text field; the first failure wins.
int SetBoth(const ComboRecord &r, int attribute, int value) {
    const int result = SetCtrlAttribute(r.panel, r.list, attribute, value);
    return result < 0 ? result : SetCtrlAttribute(r.panel, r.text, attribute, value);
}

} // namespace

QString CompleteFromEntries(const QString &typed, const QStringList &entries, int maxLength) {
    const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString &entry) {
        return entry.startsWith(typed, Qt::CaseInsensitive);
    });
    if (match == entries.end() || match->size() <= 1) return typed;
    QString completed = typed + match->mid(typed.size());
    if (maxLength >= 0) completed.truncate(std::max<qsizetype>(maxLength, typed.size()));
    return completed;
}

int Combo_NewComboBox(int panel, int stringControl) {
    CtrlCallbackPtr callback = nullptr;
    void *data = nullptr;
    const int found = GetCtrlCallback(panel, stringControl, &callback, &data);
    if (found < 0) return found;
    if (FindRecord(panel, stringControl)) return COMBO_ERR_NOT_A_COMBO;
    // Only text fields have an entry length.
    int maxLength = 0;
    if (GetCtrlAttribute(panel, stringControl, ATTR_MAX_ENTRY_LENGTH, &maxLength) < 0)
        return COMBO_ERR_NOT_A_COMBO;

    std::unique_ptr<ComboRecord> owned(new (std::nothrow) ComboRecord);
    if (!owned) return COMBO_ERR_OUT_OF_MEMORY;
    const int list = MakeEditableRing(panel, stringControl);
    if (list < 0) return list;
    ComboRecord *r = owned.get();
    g_records.push_back(std::move(owned));
    r->panel = panel;
    r->list = list;
    r->text = stringControl;
    r->userCallback = callback;
    r->userCallbackData = data;
    r->maxLength = maxLength;
    InstallCtrlCallback(panel, stringControl, StringDataToRing, r);
    InstallCtrlCallback(panel, list, RingDataToString, r);
    return stringControl;
}

int Combo_InsertComboItem(int panel, int control, int index, const QString &text) {
    const ComboRecord *r = FindRecord(panel, control);
    return r ? InsertListItem(panel, r->list, index, text, text) : COMBO_ERR_NOT_A_COMBO;
}

int Combo_DeleteComboItem(int panel, int control, int index, int count) {
    const ComboRecord *r = FindRecord(panel, control);
    return r ? DeleteListItem(panel, r->list, index, count) : COMBO_ERR_NOT_A_COMBO;
}

int Combo_ReplaceComboItem(int panel, int control, int index, const QString &text) {
    const ComboRecord *r = FindRecord(panel, control);
    return r ? ReplaceListItem(panel, r->list, index, text, text) : COMBO_ERR_NOT_A_COMBO;
}

int Combo_GetIndexFromValue(int panel, int control, int *index, const QString &text) {
    const ComboRecord *r = FindRecord(panel, control);
    return r ? GetIndexFromValue(panel, r->list, index, text) : COMBO_ERR_NOT_A_COMBO;
}

int Combo_SetComboAttribute(int panel, int control, int attribute, int value) {
    ComboRecord *r = FindRecord(panel, control);
    if (!r) return COMBO_ERR_NOT_A_COMBO;
    std::lock_guard guard(r->lock);
    // The ring is the frame box as well: it draws the frame around its
    // text part and its button, and lays both out inside it.
    switch (attribute) {
    case ATTR_COMBO_WIDTH:
        return SetCtrlAttribute(panel, r->list, ATTR_WIDTH, value);
    case ATTR_COMBO_LEFT:
        return SetCtrlAttribute(panel, r->list, ATTR_LEFT, value);
    case ATTR_COMBO_TOP:
        return SetCtrlAttribute(panel, r->list, ATTR_TOP, value);
    case ATTR_COMBO_TEXT_COLOR:
        return SetCtrlAttribute(panel, r->text, ATTR_TEXT_COLOR, value);
    case ATTR_COMBO_FRAME_COLOR:
        return SetBoth(*r, ATTR_FRAME_COLOR, value);
    case ATTR_COMBO_TEXT_POINT_SIZE: {
        const int result = SetBoth(*r, ATTR_TEXT_POINT_SIZE, value);
        return result < 0 ? result : SizeCtrlToFont(panel, r->list);
    }
    case ATTR_COMBO_TEXT_BOLD:
        return SetBoth(*r, ATTR_TEXT_BOLD, value);
    case ATTR_COMBO_TEXT_ITALIC:
        return SetBoth(*r, ATTR_TEXT_ITALIC, value);
    case ATTR_COMBO_VISIBLE:
        return SetBoth(*r, ATTR_VISIBLE, value);
    case ATTR_COMBO_DIMMED:
        return SetBoth(*r, ATTR_DIMMED, value);
    case ATTR_COMBO_MAX_ENTRY_LENGTH: {
        const int result = SetCtrlAttribute(panel, r->text, ATTR_MAX_ENTRY_LENGTH, value);
        if (result >= 0) r->maxLength = value < 0 ? -1 : value;
        return result;
    }
    default: // the height follows the font; the font is a name
        return COMBO_ERR_BAD_ATTRIBUTE;
    }
}

int Combo_SetComboAttribute(int panel, int control, int attribute, const QString &value) {
    ComboRecord *r = FindRecord(panel, control);
    if (!r) return COMBO_ERR_NOT_A_COMBO;
    std::lock_guard guard(r->lock);
    if (attribute != ATTR_COMBO_TEXT_FONT) return COMBO_ERR_BAD_ATTRIBUTE;
    int result = SetCtrlAttribute(panel, r->list, ATTR_TEXT_FONT, value);
    if (result >= 0) result = SetCtrlAttribute(panel, r->text, ATTR_TEXT_FONT, value);
    return result < 0 ? result : SizeCtrlToFont(panel, r->list);
}

int Combo_GetComboAttribute(int panel, int control, int attribute, int *value) {
    ComboRecord *r = FindRecord(panel, control);
    if (!r) return COMBO_ERR_NOT_A_COMBO;
    std::lock_guard guard(r->lock);
    switch (attribute) {
    case ATTR_COMBO_HEIGHT:
        return GetCtrlAttribute(panel, r->list, ATTR_HEIGHT, value);
    case ATTR_COMBO_WIDTH:
        return GetCtrlAttribute(panel, r->list, ATTR_WIDTH, value);
    case ATTR_COMBO_LEFT:
        return GetCtrlAttribute(panel, r->list, ATTR_LEFT, value);
    case ATTR_COMBO_TOP:
        return GetCtrlAttribute(panel, r->list, ATTR_TOP, value);
    case ATTR_COMBO_VISIBLE:
        return GetCtrlAttribute(panel, r->list, ATTR_VISIBLE, value);
    case ATTR_COMBO_DIMMED:
        return GetCtrlAttribute(panel, r->list, ATTR_DIMMED, value);
    case ATTR_COMBO_TEXT_COLOR:
        return GetCtrlAttribute(panel, r->text, ATTR_TEXT_COLOR, value);
    case ATTR_COMBO_FRAME_COLOR:
        return GetCtrlAttribute(panel, r->text, ATTR_FRAME_COLOR, value);
    case ATTR_COMBO_TEXT_FONT_NAME_LENGTH:
        return GetCtrlAttribute(panel, r->text, ATTR_TEXT_FONT_NAME_LENGTH, value);
    case ATTR_COMBO_TEXT_POINT_SIZE:
        return GetCtrlAttribute(panel, r->text, ATTR_TEXT_POINT_SIZE, value);
    case ATTR_COMBO_TEXT_BOLD:
        return GetCtrlAttribute(panel, r->text, ATTR_TEXT_BOLD, value);
    case ATTR_COMBO_TEXT_ITALIC:
        return GetCtrlAttribute(panel, r->text, ATTR_TEXT_ITALIC, value);
    case ATTR_COMBO_MAX_ENTRY_LENGTH:
        return GetCtrlAttribute(panel, r->text, ATTR_MAX_ENTRY_LENGTH, value);
    default:
        return COMBO_ERR_BAD_ATTRIBUTE;
    }
}

int Combo_GetComboAttribute(int panel, int control, int attribute, QString *value) {
    ComboRecord *r = FindRecord(panel, control);
    if (!r) return COMBO_ERR_NOT_A_COMBO;
    std::lock_guard guard(r->lock);
    if (attribute != ATTR_COMBO_TEXT_FONT) return COMBO_ERR_BAD_ATTRIBUTE;
    return GetCtrlAttribute(panel, r->text, ATTR_TEXT_FONT, value);
}

int Combo_DiscardComboBox(int panel, int control) {
    ComboRecord *r = FindRecord(panel, control);
    if (!r) return COMBO_ERR_NOT_A_COMBO;
    int result = 0;
    {
        std::lock_guard guard(r->lock);
        // The text field sits inside the ring and goes with it.
        result = DiscardCtrl(panel, r->list);
        if (result >= 0) result = DiscardCtrl(panel, r->text);
        r->marker = 0;
    }
    std::erase_if(g_records,
                  [r](const std::unique_ptr<ComboRecord> &owned) { return owned.get() == r; });
    return result;
}
