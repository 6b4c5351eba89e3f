// keystrel-idl-gen OUTPUT.idl: writes the type library's IDL from the class
// catalogue of the whole library.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "com/idl/idl_writer.h"
#include "library/library.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: keystrel-idl-gen OUTPUT.idl\n";
    return 2;
  }
  keystrel::InitializeLibrary();
  const std::string idl = keystrel::com::WriteIdl(keystrel::Catalogue::Instance());
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << idl;
  if (!out.flush()) {
    std::cerr << "keystrel-idl-gen: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
