#include "tool/main_routine.h"

int main(int argc, char** argv) { return RunMainRoutine(argc, argv); }
