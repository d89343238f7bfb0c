// The start-up sequence of the program: everything main does before the event loop.
#pragma once

#include <functional>

struct ConstructionHooks;

// Reads platform.json, prepares the process-wide state, builds the windows and runs the
// event loop; returns its result.
int StartUp(int argc, char** argv);

// True on the development desktop (its Qt plug-in path), where start-up does not set up the
// network card nor wait for the cameras.
bool isOpen_Env();

// SIGTERM and Ctrl-C end the program normally: on the main thread flush runs (the databases
// are closed), then Exit(0); no crash dump, so the run is not archived as an error run. The
// same flush runs before an end the command runner asks for (PlatformExit::stop).
// Installed after the log manager, whose crash handler would otherwise take SIGTERM.
void InstallStopSignals(std::function<void()> flush);

// The program's normal end, in this order. The flush: the running statistics day saved (the
// save finished on the database thread), the counters written to count.ini, PARAM.db and
// RECORD.db closed. Then the workers end: the picture writer (after writing what was judged),
// the HTTP API and the peer and push clients, the Modbus server, the IO thread, the USB
// copier, the disk watcher and the statistics database thread; each returns only when its
// threads have ended, so that none runs on while Exit tears down the process's globals.
// On a full disk the flush writes into the room set aside at start, and notes for the next
// start what it still could not write.
void StopFlush();
// What the last stop noted it could not write, or that the last run held no room for its
// stop: told in the log, an operation record and a box. Start-up calls it once the window and
// RECORD.db stand.
void TellLastStopLosses();
// A start that found no room for the stop's writes takes it as soon as the disk has it.
void KeepTakingStopReserve();
void StopWorkers();
// Start-up's stop signals with StopFlush, and StopWorkers as the workers' stop of PlatformExit.
void InstallStopSequence();

// Fills the window's statistics step: the statistics model started on the current group
// and detection count, its day timer as the statistics switch says, and the judgements
// handed to it; the statistics page built as the window's child and joined to the model and
// to the window's note label; and the button bar's way to show the page.
void AddStatisticsHook(ConstructionHooks& hooks);
// Fills the window's page steps: the settings screen, a hidden child of the window.
void AddSettingsHooks(ConstructionHooks& hooks);

// Fills the window's servers step: the Modbus TCP server at the configured address and port.
void AddServersHook(ConstructionHooks& hooks);
// Hands the network services what they answer from the layers above them (the statistics
// query of the HTTP API).
void HandNetworkQueries();

// Fills the window's failure-image and disk steps: the failure-image writer started on the
// camera views' picture sizes; the USB image copier and disk watcher with their signals tied
// to the window's disk handlers, and the status strip's USB lamp following the copier's disk.
void AddImageAndDiskHooks(ConstructionHooks& hooks);
// Start-up's last steps for the USB disks: the copier's days and switch, the watcher polling.
void StartImageCopyAndDiskWatch();
// The help, camera-numbering, IO-naming and hardware pages, after the hooks already set.
void AddAdminPageHooks(ConstructionHooks& hooks);
