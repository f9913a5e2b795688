#include "hostsim/KartulSim.h"

int main(int argc, char** argv) { return kartulsim_main(argc, argv); }
