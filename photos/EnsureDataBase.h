// What a loaded project must have for its photos: the catalogue table Fotos
// in the project database and the picture folder KTPhotos in the project
// folder. Both are made when missing and left alone when present; what is
// in the way (a table Fotos of other columns, a KTPhotos that is a file, a
// folder that cannot be written) is told to the mapper, never overwritten.
#pragma once

#include <string>

void EnsureTableFotos();
void EnsureSubDirFotos();

// The picture folder of the current project, with the path delimiter; empty
// without a project.
std::string FotoDir();
