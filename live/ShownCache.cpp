#include "live/ShownCache.h"

#include "platform/Platform.h"

#include <array>
#include <cstdint>

namespace shown {
namespace {

enum Kind : int { kValue = 1, kAttr = 2, kAxis = 3, kCursor = 4 };

struct Entry {
    int panel = 0;
    int control = 0;
    int kind = 0; // 0: free
    int which = 0;
    double a = 0;
    double b = 0;
};

// Far more slots than the live code writes controls, so probes stay short.
constexpr int kSlots = 512;
std::array<Entry, kSlots> table;

// Returns the entry of the key, or a free one claimed for it; null when full.
Entry *Find(int panel, int control, int kind, int which, bool *fresh) {
    uint32_t h = uint32_t(panel) * 2654435761u ^ uint32_t(control) * 40503u ^ uint32_t(kind) * 97u ^
                 uint32_t(which) * 131u;
    for (int probe = 0; probe < kSlots; ++probe) {
        Entry &e = table[(h + uint32_t(probe)) % kSlots];
        if (e.kind == 0) {
            e = Entry{panel, control, kind, which, 0, 0};
            *fresh = true;
            return &e;
        }
        if (e.panel == panel && e.control == control && e.kind == kind && e.which == which) {
            *fresh = false;
            return &e;
        }
    }
    return nullptr;
}

// True when the pair differs from what was last written (and records it).
bool Changed(int panel, int control, int kind, int which, double a, double b) {
    bool fresh = false;
    Entry *e = Find(panel, control, kind, which, &fresh);
    if (!e) return true;
    if (!fresh && e->a == a && e->b == b) return false;
    e->a = a;
    e->b = b;
    return true;
}

} // namespace

void Reset() {
    table.fill(Entry{});
}

void SetVal(int panel, int control, int value) {
    if (Changed(panel, control, kValue, 0, value, 0)) SetCtrlVal(panel, control, value);
}

void SetAttr(int panel, int control, int attribute, int value) {
    if (Changed(panel, control, kAttr, attribute, value, 0))
        SetCtrlAttribute(panel, control, attribute, value);
}

void SetAxis(int panel, int control, int axis, double min, double max) {
    if (Changed(panel, control, kAxis, axis, min, max))
        SetAxisScalingMode(panel, control, axis, VAL_MANUAL, min, max);
}

void SetCursor(int panel, int control, int cursor, double x, double y) {
    if (Changed(panel, control, kCursor, cursor, x, y))
        SetGraphCursor(panel, control, cursor, x, y);
}

} // namespace shown
