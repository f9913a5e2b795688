// "Lokale Arbeit im Transaktionspaket": the import found objects of the
// package that carry work of this project (rows marked "UPDATE", "NEW" or
// "DELETE", links to photos taken here). The mapper keeps that work (the
// default: those objects are neither deleted nor loaded, their rows keep
// status and mark, everything else of the package comes in), takes the
// package's version of them, or cancels the import before anything
// changes. Each line says what the answers do to its object: some stay
// whatever the answer, because another transaction keeps their rows.
// Where the import recorded the bases of every such object, "Zusammenführen"
// is offered first and is the default: both sides' changes are kept field by
// field, and only fields changed differently are asked (TFormKonflikte).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Form.h"

class TFormLokaleArbeit : public platform::ui::Form {
 public:
  // One object with local work.
  struct Line {
    std::string Kennung;
    int32_t TID = -1;  // its row's transaction; -1 none
    std::string what;  // what is local, e.g. "geändert, 2 lokale Fotos"
    // The object stays whatever the answer: another transaction keeps its
    // row by rank (or its identifier is tangled up in the project).
    bool kept_anyway = false;
  };

  // `can_merge`: "Zusammenführen" is offered (ModalResult::kOk).
  TFormLokaleArbeit(const std::string& package, const std::vector<Line>& lines,
                    bool can_merge = false);

  platform::ui::Label& Label1;
  platform::ui::ListBox& lbObjekte;
  platform::ui::Label& Label2;
  platform::ui::Button* BtnZusammenfuehren = nullptr;  // ModalResult::kOk; only with can_merge
  platform::ui::Button& BtnBehalten;                   // ModalResult::kYes
  platform::ui::Button& BtnUebernehmen;  // ModalResult::kNo
  platform::ui::Button& BtnAbbrechen;    // ModalResult::kCancel
};
