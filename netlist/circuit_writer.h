#pragma once

// The two circuit writers the analysis drivers call once per iteration.
#include "netlist/dc_circuit_writer.h"
#include "netlist/transient_circuit_writer.h"
