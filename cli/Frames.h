// The frame polling loop of the command-line tool, shared by every command
// that takes frames.
#pragma once

#include "cli/FrameText.h"

#include <cstdint>
#include <functional>

struct LinkTarget;
namespace feed {
struct FeedOptions;
}

// Polls `count` frames (0: until Ctrl-C) on the open link at the window's
// GO cadence (request, answer, the 10 ms pause). After each frame, decoded
// into the measurement variables (the trigger flag taken off the group), `onFrame(n, arrivalMs)`
// runs with n counting from 1 and the time its answer arrived (milliseconds since the epoch,
// whatever the pause after it took); a result other than 0 ends the loop with that exit code.
// Returns 0 after the count or Ctrl-C, 1 (after saying which step failed) when the sensor did
// not answer.
int PollFrames(uint64_t count,
               const std::function<int(uint64_t frame, int64_t arrivalMs)> &onFrame);

// The frames command on one sensor: `count` frames (0: until Ctrl-C) to
// stdout (json, or TSV under its header stamped as `time` says), or with
// publish to the broker instead. With reconnect a sensor time-out is
// reported and the link opened again until the sensor answers. Ctrl-C or
// SIGTERM ends it with 130 or 143; a stdout that fails with its
// OutputFailure(); 1 when the sensor did not answer (without reconnect) or
// the broker refused the login or its certificate.
int FeedFrames(const LinkTarget &link, uint64_t count, bool json, FrameTime time,
               const feed::FeedOptions *publish, bool reconnect);
