// The photo intake: what the photo dialog ("Objektfoto bearbeiten") has the
// rules do. Taking a photo in names the picture "KTFoto" + n + ".jpg",
// copies it into the picture folder from the file the mapper chose and the
// dialog checked, writes the catalogue row (a new photo goes from state 1
// to 3, "lokal importiert") and points the link row at it; the position
// capture lets the mapper place the temporary point (TempObject) and reads
// its position. The dialog holds its controls and calls these through the
// interface HandleFoto passes it.
#pragma once

#include <memory>

#include "dialogs/FotoActions.h"

struct PhotoTask;

// The dialog's actions on the task's catalogue, pictures and temporary
// point; the task must outlive them.
std::unique_ptr<DialogTools::FotoActions> MakeFotoActions(PhotoTask& task);
