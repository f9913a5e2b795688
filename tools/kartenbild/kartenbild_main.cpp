// kartenbild: writes the status map of a project as an SVG file, for a
// browser, from the host's export of every object (geodata and attribute
// file under one base name) and the project's transaction tables. kartul-sim's
// "map" command has its host export the open project and runs this program.
//
//   kartenbild <project folder> <export base> <file.svg>
#include <exception>
#include <iostream>
#include <string>

#include "tools/kartenbild/Kartenbild.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "Aufruf: kartenbild <Projektordner> <Export> <Datei.svg>\n"
                 "  zeichnet die Objekte des Projekts nach ihrem Transaktionsstatus als SVG.\n"
                 "  <Export>: die Geodaten (<Export>.shp) und die Attributdatei (<Export>.xml)\n"
                 "  aller Objekte, wie der Host sie exportiert.\n";
    return 2;
  }
  try {
    const auto summary = kartenbild::WriteMapFile(argv[1], argv[2], argv[3]);
    std::cout << kartenbild::SummaryText(argv[3], summary) << '\n';
    return 0;
  } catch (const kartenbild::MapError& e) {
    std::cerr << "kartenbild: " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "kartenbild: Die Karte konnte nicht gezeichnet werden: " << e.what() << '\n';
    return 1;
  }
}
