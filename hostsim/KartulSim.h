// kartul-sim's program: its options, the batch run of a scenario and the
// prompt. The program file only calls it (kartul_sim_main.cpp). On Windows
// it lives in ktapi32.dll with the host: an exception thrown in the host
// then never has to cross from one module's runtime into another's, which
// the statically linked 32-bit runtime cannot unwind.
#pragma once

extern "C" int kartulsim_main(int argc, char** argv);
