#pragma once
// etherm-sim --serve: one etherm-sim for a whole analysis (serve_protocol.h has the lines).

namespace etherm::sim {

// Serves the requests read from standard input, answering on standard output; standard output
// is taken for the answers alone, so whatever else is printed goes to standard error. Returns
// the exit status: success at the end of the input; usage when the first line is not the hello
// (answered `failed`); unexpected when ngspice cannot start, stops itself or memory runs out
// (after the answer to the request that met it).
int Serve();

}  // namespace etherm::sim
