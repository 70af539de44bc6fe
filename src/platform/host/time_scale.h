// Time compression of the host build: sleeps and the tick count run `scale` times faster.
// Set by TAVIK_TIME_SCALE (e.g. 1000) or by tests through setTimeScale.
#pragma once

namespace tavik::platform::host {

double timeScale();
void setTimeScale(double scale);

} // namespace tavik::platform::host

namespace tavik::platform::host {

// Removes the named semaphores of the current TAVIK_HOME (tests, `tavikctl sim reset`):
// a process killed while holding one would otherwise leave it taken, whereas Windows
// destroys a semaphore with its last handle.
void removeNamedSemaphores();

} // namespace tavik::platform::host
