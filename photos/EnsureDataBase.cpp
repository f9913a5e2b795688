#include "photos/EnsureDataBase.h"

#include <algorithm>
#include <vector>

#include "host/Tools.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

using platform::ui::MsgKind;

std::string FotoDir() {
  const std::string dir = Tools::MyGetProjectDir();
  return dir.empty()
             ? std::string()
             : platform::env::WithTrailingSeparator(platform::env::JoinPath(dir, "KTPhotos"));
}

void EnsureTableFotos() {
  TdmFotoverwaltung module;
  module.OpenPrjDatabase(Tools::MyGetProjectDB());
  const std::vector<std::string> names = module.TableNames();
  const auto existing = std::find_if(names.begin(), names.end(), [](const std::string& name) {
    return TdmFotoverwaltung::IsFotosTable(name);
  });
  if (existing == names.end()) {
    module.CreateTableFotos();
    return;
  }
  const std::vector<std::string> missing = module.MissingFotoColumns(*existing);
  if (!missing.empty()) {
    std::string list;
    for (const std::string& column : missing) list += (list.empty() ? "" : ", ") + column;
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Die Tabelle " + *existing +
                                 " der Projektdatenbank ist kein Fotokatalog: es fehlen die "
                                 "Spalten " +
                                 list + ". Fotos können in diesem Projekt nicht verwaltet werden.");
  }
}

void EnsureSubDirFotos() {
  const std::string dir = Tools::MyGetProjectDir();
  if (dir.empty()) return;
  const std::string folder = dir + "KTPhotos";
  platform::env::Env& env = platform::env::Env::Current();
  try {
    const std::optional<platform::env::FileStatus> status = env.Stat(folder);
    if (status && status->IsFolder()) return;
    if (status) {
      platform::ui::MessageBox(MsgKind::kWarning,
                               "Der Fotoordner " + folder +
                                   " ist eine Datei, kein Ordner. Fotos können in diesem "
                                   "Projekt nicht abgelegt werden.");
      return;
    }
    env.CreateFolder(folder);
  } catch (const platform::env::EnvError& e) {
    platform::ui::MessageBox(MsgKind::kWarning, "Der Fotoordner " + folder +
                                                    " konnte nicht angelegt werden: " + e.Reason());
  }
}
