#include "tools/rzsim/Simulator.h"

int main() { return 0; }
