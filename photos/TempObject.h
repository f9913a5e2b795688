// The photo dialog's temporary point: for the position capture the host
// lets the mapper place a point of the photo's object class under a
// temporary identifier ("TempObj" + n); the object-created hook reports the
// point, the command-done hook a placing the mapper gave up, and the point
// goes again when the dialog is done with it. One object per loaded
// library, asked by the hooks and the dialog's rules instead of flags each
// of them writes.
//
//   idle --StartPlacing--> placing --ObjectCreated--> placed --Remove--> idle
//                             \--Abandoned/Drop/ProjectLoading--> idle
//
// While it is placing, the creation hooks let the host's new object pass
// without asking for a transaction or an identifier, and keep it out of
// the transaction list.
#pragma once

#include <cstdint>

#include "host/HostApi.h"

class TempObject {
 public:
  // The loaded library's one.
  static TempObject& Current();

  // A point is being placed (blnTempObjectCreation).
  bool Placing() const { return blnTempObjectCreation; }
  // The placed point's host id; -1 when there is none (TempObjectKARTULID).
  int32_t Placed() const { return TempObjectKARTULID > 0 ? TempObjectKARTULID : -1; }

  // Asks the host for the placing of a point of the class under the first
  // free temporary identifier, the map active; a point an earlier capture
  // left goes first. False when the host lets none be placed: nothing is
  // placing then, and the data view is back.
  bool StartPlacing(int32_t okl);
  // The placing as started, without the host (for the rules' tests).
  void BeginPlacing();

  // The hook before a creation: while a point is being placed, the host's
  // new object is the point, created under its temporary identifier
  // without asking for a transaction or an identifier (true).
  bool LetCreationPass(host::KennungRequest& R);
  // The object-created hook: true when the new object is the point, which
  // is then placed (and the map redrawn); false for any other object.
  bool ObjectCreated(int32_t id);
  // The command-done hook reports a placing given up: no point comes.
  void Abandoned();
  // A project is about to load: a placing of the last one is over.
  void ProjectLoading();

  // The placed point is deleted.
  void Remove();
  // A placing still in progress is given up at the host (which reports it
  // as abandoned), and a placed point deleted.
  void Drop();

 private:
  bool blnTempObjectCreation = false;
  int32_t TempObjectKARTULID = -1;
};
