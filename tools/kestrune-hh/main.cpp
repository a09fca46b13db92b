// kestrune-hh: decompiles a compiled HTML help file into a folder.
//   kestrune-hh -decompile OUTDIR FILE.chm

#include "hhdecompile.h"

#include <iostream>

int main(int argc, char** argv) {
    return kestrune::hh::runCommandLine(argc, argv, std::cerr);
}
