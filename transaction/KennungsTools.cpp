#include "transaction/KennungsTools.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/db/Connection.h"
#include "platform/text/Strings.h"
#include "transaction/TransActTools.h"

namespace KennungsTools {
namespace {

struct PrefixRow {
  std::string_view short_name;
  std::string_view prefix;
};

constexpr PrefixRow kPrefixTable[] = {
    {"FFH", "DE-"}, {"VSG", "DE-"},           {"OEK", "OEK-"},      {"ND_GLB", "NDGLB-"},
    {"ND", "ND-"},  {"LRT-Art-VO", "LRT_V-"}, {"OEK_TF", "OEKTF-"},
};

// Characters, not bytes: the mapper counts what the entry field shows.
size_t CharCount(std::string_view utf8) {
  size_t count = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A serial that no object could ever reach; the search gives up there
// rather than run on.
constexpr int kMaxSerial = 9999;

}  // namespace

std::string StateCode() {
  return Tools::ReadBundesland();
}

std::string GetOKLShortName(int32_t class_id) {
  if (!CurrentProfile().procedure_class_table)
    return host::ClassShortName(class_id, 0).value_or(std::string());
  platform::db::Query query(
      TransActTools::OpenVerfahrenConnection(),
      "select Shortname from ObjectClass where OKL_ID = " + std::to_string(class_id));
  return query.Eof() ? std::string() : query.AsString(0);
}

std::string OKLPrefix(std::string_view short_name) {
  if (short_name == "NSG") return "NSG-";
  for (const PrefixRow& row : kPrefixTable) {
    if (row.short_name == short_name) return std::string(row.prefix);
  }
  return std::string(short_name);
}

bool OKLRule::Fits(std::string_view K) const {
  return every_identifier || K.starts_with(prefix);
}

OKLRule RuleForOKL(std::string_view C, std::string_view B) {
  OKLRule rule;
  if (!CurrentProfile().procedure_class_table) {
    // Without the procedure database: no state code and only the NSG, FFH
    // and VSG rows of the prefix table; every other class is its own prefix.
    if (C == "NSG") {
      rule.every_identifier = Tools::ReadIntFromApplicatIni("VANDRA", "NSGPrefixFilter", 0) <= 0;
      rule.prefix = "NSG-";
    } else if (C == "FFH" || C == "VSG") {
      rule.prefix = "DE-";
    } else {
      rule.prefix = std::string(C);
      rule.every_identifier = rule.prefix.empty();
    }
    return rule;
  }
  if (B == "BRB") {
    rule.every_identifier = true;
  } else if (C == "NSG" && Tools::ReadIntFromApplicatIni("VANDRA", "NSGPrefixFilter", 0) <= 0) {
    rule.every_identifier = true;
  } else {
    rule.prefix = OKLPrefix(C);
    rule.every_identifier = rule.prefix.empty();
  }
  return rule;
}

bool KennungFitsOKL(std::string_view C, std::string_view K, std::string_view B) {
  return RuleForOKL(C, B).Fits(K);
}

KennungBBProposal ProposeKennungBB(std::string_view ag, std::string& nummer,
                                   std::string& kartenblatt, int year) {
  KennungBBProposal result;
  if (CharCount(ag) != 2) {
    result.message = "Der Auftraggeber muss durch ein 2-stelliges Kürzel bezeichnet werden!";
    return result;
  }
  const std::optional<int32_t> number = platform::text::StrToInt(platform::text::Trim(nummer));
  // A negative number would put its sign into the identifier ("0-5").
  if (!number || *number < 0) {
    result.message = "Die Nummer muss eine ganze Zahl < 1000 sein!";
    return result;
  }
  nummer = Tools::FillLeft(std::to_string(*number), 3, '0');

  if (CharCount(kartenblatt) != 6) {
    result.message = "Das Kartenblatt muss durch 6 Stellen bezeichnet werden!";
    return result;
  }
  if (!AllDigits(std::string_view(kartenblatt).substr(0, 4))) {
    result.message = "Die ersten 4 Stellen des Kartenblattbezeichners müssen eine Zahl ergeben!";
    return result;
  }
  const std::string quadrant =
      platform::text::ToUpperAscii(std::string_view(kartenblatt).substr(4));
  if (quadrant != "NO" && quadrant != "NW" && quadrant != "SO" && quadrant != "SW") {
    result.message =
        "Die letzten beiden Stellen des Kartenblattbezeichners müssen einem Quadranten "
        "entsprechen!";
    return result;
  }
  kartenblatt = kartenblatt.substr(0, 4) + quadrant;

  // Two digits always: with a one-digit year (2000 to 2009) the identifier
  // would be 17 characters long and fail its own syntax test.
  const std::string stem = std::string(ag) + Tools::FillLeft(std::to_string(year % 100), 2, '0') +
                           nummer + "-" + kartenblatt;
  for (int serial = 1; serial <= kMaxSerial; ++serial) {
    std::string candidate = stem + Tools::FillLeft(std::to_string(serial), 4, '0');
    // The first serial that no object carries and no row of the transaction
    // list holds (a deleted object's row included: its deletion must still
    // reach the central system under that identifier).
    if (!host::KennungExists(candidate) && !TransActTools::KennungInTransactionList(candidate)) {
      result.ok = true;
      result.kennung = std::move(candidate);
      return result;
    }
  }
  result.message = "Für das Kartenblatt " + kartenblatt + " ist keine laufende Nummer mehr frei!";
  return result;
}

bool KennungBBSyntaxOK(std::string_view text) {
  if (CharCount(text) != 18) return false;
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++chars == 8) return text[i] == '-';
  }
  return false;
}

std::vector<std::string> OfferableKennungen(std::vector<std::string> fitting, bool object_has_row,
                                            const std::unordered_map<std::string, bool>& listed) {
  std::vector<std::string> offer;
  for (std::string& K : fitting) {
    const auto row = listed.find(K);
    if (row != listed.end() && (object_has_row || !row->second)) continue;
    if (host::KennungExists(K)) continue;
    offer.push_back(std::move(K));
  }
  return offer;
}

std::vector<std::string> TransactionPool::FittingFreeKennungen(int32_t tid, int32_t okl,
                                                               std::string_view state_code) {
  std::vector<std::string> fitting =
      TransActTools::GetFittingFreeKennungen(GetOKLShortName(okl), tid, state_code);
  if (fitting.empty()) return fitting;
  if (!listed_) listed_ = TransActTools::ListedKennungen();
  return OfferableKennungen(std::move(fitting), false, *listed_);
}

DialogTools::KennungComposer::Proposal BBComposer::Propose(std::string_view ag, std::string& nummer,
                                                           std::string& kartenblatt, int year) {
  const KennungBBProposal p = ProposeKennungBB(ag, nummer, kartenblatt, year);
  return {p.ok, p.message, p.kennung};
}

bool BBComposer::SyntaxOK(std::string_view text) {
  return KennungBBSyntaxOK(text);
}

std::vector<std::string> OfferablePool::FreeKennungen(int32_t tid) {
  return OfferableKennungen(TransActTools::GetFreeKennungen(tid), object_has_row_,
                            TransActTools::ListedKennungen());
}

}  // namespace KennungsTools
