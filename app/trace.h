// Trace of the benchmark builds: each mark records the time of a start-up step (and of the countdown's start
// and its tool's), and the marks go to the file named by NACHTRIEGEL_TRACE, as microseconds since the
// process was created, when the main loop first waits and again before the final command starts. Only the
// benchmark builds define NT_STARTUP_TRACE; in the program the marks are nothing.
#pragma once

#ifdef NT_STARTUP_TRACE
// Records that the step has just ended.
void Trace_Mark(const char* step);
// Writes every mark so far (again, with the marks made since).
void Trace_Write();
#define TRACE_MARK(step) Trace_Mark(step)
#define TRACE_WRITE() Trace_Write()
#else
#define TRACE_MARK(step) ((void)0)
#define TRACE_WRITE() ((void)0)
#endif
