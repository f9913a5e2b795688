// The mapper at the plug-in's dialogs in the model test: a scripted
// presenter whose answers the test decides, from its seeded random source,
// as each box and form is shown. A form gets its answer lines a batch at a
// time: a batch ends with the first action that runs a handler (a click, a
// pick in a list that refills another), and the next batch is decided when
// that handler is done, from what the form then shows. So a box the handler
// raises finds no stale form lines ahead of its own answer, and a list
// refilled by a click is seen before an item of it is picked.
//
// What each chooser offered is handed to the test as it is shown, for its
// checks; every box shown and every answer line is kept for the step's
// record, from which a failing step can be replayed by hand.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/ui/ScriptedPresenter.h"

namespace model {

// The model test's one source of chance: every decision comes from it, so a
// seed replays a run.
class Rng {
 public:
  explicit Rng(uint64_t seed) : engine_(seed) {}
  // A number from 0 to n - 1; 0 for n 0.
  size_t Below(size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(engine_);
  }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(engine_) < p; }

 private:
  std::mt19937_64 engine_;
};

class MapperPresenter : public platform::ui::ScriptedPresenter {
 public:
  struct Box {
    platform::ui::MsgKind kind;
    std::string text;
  };
  // A chooser's list as shown: the form, the identifier of the object it is
  // for (empty for a new object), the identifiers offered.
  using OfferSink = std::function<void(const std::string& form, const std::string& for_kennung,
                                       const std::vector<std::string>& offered)>;

  MapperPresenter(Rng& rng, OfferSink on_offer);

  platform::ui::MsgAnswer ShowMessage(platform::ui::MsgKind kind, std::string_view text,
                                      platform::ui::MsgButtons buttons) override;
  void RunModal(platform::ui::Form& form) override;

  // The boxes and answer lines since the last call, and a fresh start.
  std::vector<Box> TakeBoxes();
  std::vector<std::string> TakeLines();
  // The transaction the last chooser that decides one closed with (-1 for
  // none: "Keine TID", cancelled); nothing when none was shown since the
  // last call.
  std::optional<int> TakeTarget();
  // The question about local work of an import, when it came since the
  // last call: the button clicked and the identifiers it listed.
  struct ImportQuestion {
    std::string button;  // "BtnBehalten", "BtnUebernehmen" or "BtnAbbrechen"
    std::vector<std::string> listed;
  };
  std::optional<ImportQuestion> TakeImportQuestion();

 private:
  void Queue(const std::vector<std::string>& lines);
  // The next batch for the form; `round` counts the batches before.
  std::vector<std::string> Plan(platform::ui::Form& form, int round);
  std::vector<std::string> PlanCreationChooser(platform::ui::Form& form, int round,
                                               const std::string& transactions);
  std::vector<std::string> PlanComposer(platform::ui::Form& form, int round);
  // Runs after a handler of the form: the next batch when the form is still
  // open and nothing is left to do.
  void AfterHandler(platform::ui::Form& form);
  void Offer(platform::ui::Form& form);

  Rng& rng_;
  OfferSink on_offer_;
  std::optional<ImportQuestion> question_;
  std::vector<Box> boxes_;
  std::vector<std::string> lines_;
  std::map<platform::ui::Form*, int> rounds_;
  std::optional<int> target_;
};

}  // namespace model
