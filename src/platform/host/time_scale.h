// Time compression of the host build: sleeps and the tick count run `scale` times faster.
// Set by TAVIK_TIME_SCALE (e.g. 1000) or by tests through setTimeScale.
#pragma once

namespace tavik::platform::host {

double timeScale();
void setTimeScale(double scale);

} // namespace tavik::platform::host

namespace tavik::platform::host {

// Removes the named semaphores of the current TAVIK_HOME that no living process uses (tests,
// `tavikctl sim reset`), and what earlier builds left of them in /dev/shm. Counts held by dead
// processes need no removal: they are given back by themselves (platform/host/named_locks.h).
void removeNamedSemaphores();

} // namespace tavik::platform::host
