// Replay: the unit of TAVIK_HOME answers the library's outside requests from a recorded trace.
// The trace is copied into the home (<home>/sim/replay.jsonl) beside the position of each of its
// streams (<home>/sim/replay.cursors, whose presence is the cheap "replay is on" sign), so that a
// replay survives restarts and is shared by every process of the home. Counts of what differed
// and the first difference are kept in the unit's "replay" document. Requests are matched in
// order per stream (sim/replay_trace.h). Loading a profile or resetting the unit ends a replay.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/replay_trace.h"

namespace tavik::sim {

enum class ReplayMode { Strict, Loose };

// Checks the trace and makes the unit replay it from its start. Throws TraceError (nothing
// changed then) or UnitError.
void startReplay(const std::string& tracePath, ReplayMode mode);
// Ends the replay; the models answer again.
void stopReplay();
// How far the replay got: active, mode, trace, requests, matched, fallbacks, failed, the first
// difference (trace line and what differed) and the position in each stream.
nlohmann::json replayStatus();

// Whether a replay may be running (one file look-up).
bool replayOn();

// The replay of the home as this process sees it: the trace parsed once and the streams'
// positions mapped. Null when no replay runs; costs one file look-up then.
struct RunningReplay;
std::shared_ptr<RunningReplay> runningReplay();

struct ReplayAnswer {
    enum Kind {
        Models, // not replayed: no replay, or a loose replay that fell back
        Answer, // `entry` is the recorded line whose outputs answer the request
        Fail,   // a strict replay refused the request: it fails without effect
    } kind = Models;
    const TraceJson* entry = nullptr; // kept valid by `trace`
    std::shared_ptr<const Trace> trace;
};

// Matches one request (its kind, the fields naming its stream and its inputs, named as in the
// trace) to the next recorded one of its stream, and advances the stream on a match. A match
// writes nothing but the stream's position; a difference is counted and logged in the unit.
ReplayAnswer replayRequest(const std::shared_ptr<RunningReplay>& replay, const TraceJson& request);
// The same for the running replay (Models without one).
ReplayAnswer replayRequest(const TraceJson& request);

} // namespace tavik::sim
