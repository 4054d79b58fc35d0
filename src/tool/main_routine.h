#pragma once

// The whole run of the command: command line, connection, version, uploads,
// debug-mode setting, reboot, then the end or the listening loop. Returns
// the process exit code: 0 for a normal end, 1 for a failure, 128 plus the
// signal number when a stop was requested.
int RunMainRoutine(int argc, char** argv);
