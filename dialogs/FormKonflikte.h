// "Konflikte beim Zusammenführen": the fields of objects with local work
// that the mapper and the package changed differently, and objects deleted
// on one side and changed on the other or changed here though the package
// now lists them read-only. Each line shows the object, the field, both
// values and the side that wins; the mapper switches the selected line or
// all lines to the local value or to the package's, then merges, or
// cancels the import before anything changes.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Form.h"

class TFormKonflikte : public platform::ui::Form {
 public:
  struct Line {
    std::string Kennung;
    std::string field;  // empty: the whole object
    std::string local;
    std::string package;
    bool take_package = false;  // as decided so far
  };

  TFormKonflikte(const std::string& package, std::vector<Line> lines);

  // The lines as the mapper decided them.
  const std::vector<Line>& Lines() const { return lines_; }

  platform::ui::Label& Label1;
  platform::ui::ListBox& lbKonflikte;
  platform::ui::Button& BtnLokal;      // the selected line: the local value
  platform::ui::Button& BtnPaket;      // the selected line: the package's
  platform::ui::Button& BtnAlleLokal;  // every line: the local value
  platform::ui::Button& BtnAllePaket;  // every line: the package's
  platform::ui::Button& BtnOK;         // ModalResult::kOk
  platform::ui::Button& BtnAbbrechen;  // ModalResult::kCancel

 private:
  void Show();
  void Decide(bool all, bool take_package);

  std::vector<Line> lines_;
};
