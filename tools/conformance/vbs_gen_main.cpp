// keystrel-vbs-gen VECTOR.json OUT.vbs WINDOWS-PATH-OF-VECTOR
//
// Writes the VBScript that runs the vector file's cases against the Windows
// build (see vbscript_writer.h), and prints the cases' names, one per line in
// file order, for the script that runs them. Exit status 2 for a malformed
// file.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/conformance/vbscript_writer.h"
#include "tools/conformance/vector_parser.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: keystrel-vbs-gen VECTOR.json OUT.vbs WINDOWS-PATH-OF-VECTOR\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "keystrel-vbs-gen: cannot read " << argv[1] << "\n";
    return 2;
  }
  std::ostringstream text;
  text << in.rdbuf();
  keystrel::conformance::VectorError error;
  const auto file = keystrel::conformance::ParseVectorText(text.str(), &error);
  if (!file) {
    std::cerr << argv[1] << ": malformed at " << error.pointer << ": " << error.message << "\n";
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << keystrel::conformance::WriteVbscript(*file, argv[3]);
  out.close();
  if (!out) {
    std::cerr << "keystrel-vbs-gen: cannot write " << argv[2] << "\n";
    return 1;
  }
  for (const auto& c : file->cases) std::cout << c.name << "\n";
  return 0;
}
