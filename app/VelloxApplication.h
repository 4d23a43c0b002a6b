// The window program as a whole: initialisation, the application object and its event loop.
#pragma once

// Runs Vellox with the program's arguments and answers its exit code.
int RunVellox(int argc, char** argv);
