// PMPack: builds a sealed installer folder from a release description.
#include <iostream>

#include "tools/pmpack/host.h"
#include "tools/pmpack/pmpack.h"

int main(int argc, char** argv) {
  return pm::pmpack::runPmpack(pm::pmpack::programArguments(argc, argv), std::cout, std::cerr);
}
