// "Importjournal": a journal of an import lies in the project, and the
// plug-in may not (or could not) take it back by itself: the import could
// not be taken back whole, the journal comes from an earlier version of the
// plug-in, or the folder's file system keeps no locks, so that another
// program might still be importing. Label1 says which, lbPunkte lists what
// stands half done (or what a take-back would touch), Label2 what each
// button does:
//   BtnZuruecknehmen  take the import back now (ModalResult::kYes); not
//                     offered for an import whose undo could not finish,
//                     which the next load tries again by itself
//   BtnSpaeter        leave the journal (kCancel): the next load tries again
//                     or asks again
//   BtnBeiseite       set the journal aside, after a confirmation that names
//                     what stays half done (kNo)
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Form.h"

class TFormImportJournal : public platform::ui::Form {
 public:
  // `text`: Label1's caption; `items`: what the list shows; `unfinished`:
  // the import's undo could not finish (else the mapper is asked whether to
  // take it back).
  TFormImportJournal(const std::string& text, const std::vector<std::string>& items,
                     bool unfinished);

  platform::ui::Label& Label1;
  platform::ui::ListBox& lbPunkte;
  platform::ui::Label& Label2;
  platform::ui::Button& BtnZuruecknehmen;
  platform::ui::Button& BtnSpaeter;
  platform::ui::Button& BtnBeiseite;
};
