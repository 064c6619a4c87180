#include "simulation/SimulationRun.h"
