// Prints the main bundle's folder and resources folder, one a line (bundle_test.cpp runs it from
// different places).
#include <cstdio>

#include "platform/bundle.h"

int main() {
  const platform::Bundle& bundle = platform::Bundle::main();
  std::printf("%s\n%s\n", bundle.bundlePath().c_str(), bundle.resourcePath().c_str());
  return 0;
}
