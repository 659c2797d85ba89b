// Start-up trace of the benchmark builds: each mark records the time of a start-up step, and the marks go
// to the file named by NACHTRIEGEL_TRACE, as microseconds since the process was created, when the main
// loop first waits. Only the benchmark builds define NT_STARTUP_TRACE; in the program the marks are nothing.
#pragma once

#ifdef NT_STARTUP_TRACE
// Records that the step has just ended.
void Trace_Mark(const char* step);
// Writes the marks (once; later calls do nothing).
void Trace_Write();
#define TRACE_MARK(step) Trace_Mark(step)
#define TRACE_WRITE() Trace_Write()
#else
#define TRACE_MARK(step) ((void)0)
#define TRACE_WRITE() ((void)0)
#endif
