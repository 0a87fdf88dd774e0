#pragma once

// The host program: environment, application object, single instance,
// start-up, main window and the event loop.
int marrowinMain(int argc, char** argv);
