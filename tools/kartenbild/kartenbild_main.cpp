// kartenbild: writes the status map of a project as an SVG file, for a
// browser. The same map comes from kartul-sim's "map" command for the open
// project.
//
//   kartenbild <project folder> <file.svg>
#include <exception>
#include <iostream>
#include <string>

#include "tools/kartenbild/Kartenbild.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "Aufruf: kartenbild <Projektordner> <Datei.svg>\n"
                 "  zeichnet die Objekte des Projekts nach ihrem Transaktionsstatus als SVG.\n";
    return 2;
  }
  try {
    const auto summary = kartenbild::WriteMapFile(argv[1], argv[2]);
    std::cout << kartenbild::SummaryText(argv[2], summary) << '\n';
    return 0;
  } catch (const kartenbild::MapError& e) {
    std::cerr << "kartenbild: " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "kartenbild: Die Karte konnte nicht gezeichnet werden: " << e.what() << '\n';
    return 1;
  }
}
