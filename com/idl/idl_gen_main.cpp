// keystrel-idl-gen OUTPUT.idl [INTERFACES.h DUAL.cpp]: writes the type
// library's IDL from the class catalogue of the whole library and, when
// asked, the header that includes widl's header of it (keystrel10_h.h, beside
// INTERFACES.h) and the C++ serving the dual interfaces' vtables.
#include <fstream>
#include <iostream>
#include <string>

#include "com/idl/idl_writer.h"
#include "library/library.h"

namespace {

bool WriteFile(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) {
    std::cerr << "keystrel-idl-gen: cannot write " << path << "\n";
    return false;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::cerr << "usage: keystrel-idl-gen OUTPUT.idl [INTERFACES.h DUAL.cpp]\n";
    return 2;
  }
  keystrel::InitializeLibrary();
  const keystrel::Catalogue& catalogue = keystrel::Catalogue::Instance();
  if (!WriteFile(argv[1], keystrel::com::WriteIdl(catalogue))) return 1;
  if (argc == 2) return 0;
  // widl -h names its header after the IDL: keystrel10.idl -> keystrel10_h.h
  // is what the build asks widl for.
  std::string widl_header = BaseName(argv[1]);
  widl_header = widl_header.substr(0, widl_header.rfind('.')) + "_h.h";
  if (!WriteFile(argv[2], keystrel::com::WriteInterfacesHeader(catalogue, widl_header))) return 1;
  if (!WriteFile(argv[3], keystrel::com::WriteDualGlue(catalogue, BaseName(argv[2])))) return 1;
  return 0;
}
