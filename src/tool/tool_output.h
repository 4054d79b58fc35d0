#pragma once

// Every text of the command goes to standard output through Print. Each
// print reaches the output at once, so an open progress line shows while
// its step runs and piped output is never held back.
void Print(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Makes standard output unbuffered, so that also the texts the interface
// client prints itself go out at once. Called once, before anything is
// printed.
void PrepareOutput();

// True once writing to standard output has failed: its reader went away.
bool OutputClosed();
