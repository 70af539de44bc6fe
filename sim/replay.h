// Replay: the unit of TAVIK_HOME answers the library's outside requests from a recorded trace.
// The trace is copied into the home (<home>/sim/replay.jsonl, its presence the cheap "replay is
// on" sign) and the progress kept in the unit's "replay" document, so that a replay survives
// restarts and is shared by every process of the home. Requests are matched in order per stream
// (sim/replay_trace.h). Loading a profile or resetting the unit ends a replay.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

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

struct ReplayAnswer {
    enum Kind {
        Models, // not replayed: no replay, or a loose replay that fell back
        Answer, // `entry` is the recorded line whose outputs answer the request
        Fail,   // a strict replay refused the request: it fails without effect
    } kind = Models;
    nlohmann::json entry;
};

// Matches one request (its kind, the fields naming its stream and its inputs, named as in the
// trace) to the next recorded one of its stream, and advances the stream on a match. Without a
// replay it costs one file look-up and answers Models.
ReplayAnswer replayRequest(const nlohmann::json& request);

} // namespace tavik::sim
