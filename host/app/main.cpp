#include "host/app/HostMain.h"

int main(int argc, char** argv) { return marrowinMain(argc, argv); }
