// One data frame as a JSON object with named fields, shared by every output
// that publishes frames.
#pragma once

#include <QByteArray>
#include <cstdint>

// The measurement variables of the last frame (after TakeTriggerFlag) as one
// JSON object without a line end: {"time":"2026-12-08T09:39:29.123Z",
// "frame":1,"red":..,"green":..,"blue":..,"ref":..,"dir":..,"dif":..,"x":..,
// "y":..,"int":..,"gn":..,"vector":..,"group":..,"trigger":0|1,"temp":..,
// "raw_red":..,"raw_green":..,"raw_blue":..}. x, y and int hold s, i and M in
// the calculation modes that compute those. `frame` counts from 1; `msecs`
// is the time the frame arrived, milliseconds since 1970 UTC.
QByteArray FrameJson(uint64_t frame, int64_t msecs);
