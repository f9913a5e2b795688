// The work behind the hooks that touch photos: the photo task on the current
// link row (ProcessFoto, HandleFoto), the clean-up when a link row goes
// (DeleteFoto), one main photo per object (CorrectHauptfoto), and the end
// of everything at project close (FreeControlForm).
#pragma once

#include <string>

// The photo command: starts a photo task unless one runs. A failure ends the
// task it began (the error passes through to be shown), so the command
// works again at once.
void ProcessFotoProc();
void HandleFoto();
// A link row of Objektphotos goes: when nothing else links its photo and the
// photo is a local one, its catalogue row goes, and its file with it unless
// another catalogue row names the same file.
void DeleteFoto();
// The main-photo rule on the value entered into Hauptphoto; the host takes
// the value as entered.
void CorrectHauptfotoProc(const std::string& AktValue);
void FreeControlForm();
