// The start-up sequence of the program: everything main does before the event loop.
#pragma once

// Reads platform.json, prepares the process-wide state, builds the windows and runs the
// event loop; returns its result.
int StartUp(int argc, char** argv);
