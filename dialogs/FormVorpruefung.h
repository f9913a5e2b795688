// "Vorprüfung der Transaktion": the findings of the preflight, one line
// each naming its object, photo or file. The mapper may select the objects
// of the chosen finding (or of all findings) in the host, go on with the
// export, or stop it; from the menu command the form only shows and
// selects. Nothing is changed but the selection, and that only on a click.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/Form.h"

class TFormVorpruefung : public platform::ui::Form {
 public:
  // What a click on a selection button does in the host; the opening rule
  // passes it in and it must outlive the form.
  class ObjectSelector {
   public:
    virtual ~ObjectSelector() = default;
    // Makes exactly these objects the host's selection.
    virtual void SelectObjects(const std::vector<int32_t>& ids) = 0;
  };

  // One line of the list: its text and the host ids of its objects.
  struct Line {
    std::string text;
    std::vector<int32_t> objects;
  };

  // in_export: the buttons go on with the export or stop it; otherwise one
  // button closes the form.
  TFormVorpruefung(ObjectSelector& selector, bool in_export);

  // Fills the list; the first line is chosen.
  void SetLines(const std::string& transaction, std::vector<Line> lines);

  void lbBefundeClick();
  void BtnAuswahlClick();
  void BtnAlleClick();
  // The selection buttons are usable exactly while there are objects to select.
  void UpdateButtons();

  platform::ui::Label& Label1;
  platform::ui::ListBox& lbBefunde;
  platform::ui::Label& Label2;
  platform::ui::Button& BtnAuswahl;
  platform::ui::Button& BtnAlle;
  platform::ui::Button& BtnWeiter;
  platform::ui::Button& BtnAbbrechen;

 private:
  ObjectSelector& selector_;
  std::vector<Line> lines_;
};
