// The start-up sequence of the program: everything main does before the event loop.
#pragma once

// Reads platform.json, prepares the process-wide state, builds the windows and runs the
// event loop; returns its result.
int StartUp(int argc, char** argv);

// True on the development desktop (its Qt plug-in path), where start-up does not set up the
// network card nor wait for the cameras.
bool isOpen_Env();
