// The transaction and identifier dialogs: what each does on its own, with
// the mapper's actions given by script.
#include <gtest/gtest.h>

#include "dialogs/FormGetGKStreifen.h"
#include "dialogs/FormGetKennung.h"
#include "dialogs/FormGetKennungBB.h"
#include "dialogs/FormGetTIDAndKennung.h"
#include "dialogs/FormGetTIDAndKennungNeu.h"
#include "host/Tools.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/KennungsTools.h"

namespace {

using platform::ui::ModalResult;
using Items = std::vector<std::string>;

Items ItemsOf(const platform::ui::ListBox& list) {
  Items items;
  for (const auto& item : list.items) items.push_back(item.text);
  return items;
}

class DialogTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen");
    AddTransaction(5, "Eifel");
    for (const char* k : {"DE-9", "DE-1", "OEK-2", "DE-3245NO-1", "DE-3245NW-2"}) AddFree(3, k);
    AddFree(5, "DE-500");
  }

  KennungsTools::TransactionPool pool_;
};

TEST_F(DialogTest, GeneralChooserListsSortedFittingIdentifiersAndEnablesOk) {
  TFormGetTIDAndKennung form(pool_);
  form.lngOKLToBeCreated = ClassId("FFH");
  form.lbTransActions.Add("3 - Ruhrauen", 3);
  form.lbTransActions.Add("5 - Eifel", 5);
  form.lbTransActions.item_index = 0;
  form.lbTransActionsClick();
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-1", "DE-3245NO-1", "DE-3245NW-2", "DE-9"}));
  EXPECT_FALSE(form.BtnOK.enabled);
  form.lbKennungen.Select(1);
  EXPECT_TRUE(form.BtnOK.enabled);

  // The same transaction again: the list and its selection stay.
  form.lbTransActions.Select(0);
  EXPECT_EQ(form.lbKennungen.item_index, 1);
  form.lbTransActions.Select(1);
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-500"}));
  EXPECT_FALSE(form.BtnOK.enabled);
}

TEST_F(DialogTest, MapSheetFilterAppliesOnRequeryAndIsRemembered) {
  TFormGetTIDAndKennungNeu form(pool_);
  form.lngOKLToBeCreated = ClassId("FFH");
  form.mBundesland = "BRB";
  form.lbTransactions.Add("3 - Ruhrauen", 3);
  form.lbTransactions.item_index = 0;
  form.lbTransactionsClick();
  EXPECT_EQ(ItemsOf(form.lbKennungen),
            (Items{"DE-9", "DE-1", "OEK-2", "DE-3245NO-1", "DE-3245NW-2"}))
      << "pool order, no class filter under BRB, filter off";

  form.EditTKBlatt.Type("3245NO");
  form.cbAktiviereFilter.Toggle();
  EXPECT_EQ(form.lbKennungen.Count(), 5) << "nothing changes before aktualisieren";
  form.btnRequery.Click();
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-3245NO-1"}));
  form.EditTKBlatt.Type("3245no");
  Answer("message OK");
  form.btnRequery.Click();
  EXPECT_EQ(form.lbKennungen.Count(), 0) << "the map sheet compares case-sensitively";

  form.EditTKBlatt.Type("3245NW");
  form.btnRequery.Click();
  form.lbKennungen.Select(0);
  form.EditTKBlatt.Type(" 3245NW ");
  form.BtnOK.Click();
  EXPECT_EQ(form.modal_result, ModalResult::kOk);
  EXPECT_EQ(Tools::ReadStringFromProjectIni("Kennungsliste", "TK-Blatt", ""), "3245NW");

  TFormGetTIDAndKennungNeu next(pool_);
  EXPECT_EQ(next.EditTKBlatt.text, "3245NW");
  EXPECT_TRUE(next.cbAktiviereFilter.checked);
}

TEST_F(DialogTest, TKFilterUsesTheSecondField) {
  TFormGetTIDAndKennungNeu form(pool_);
  form.EditTKBlatt.text = "3245NO";
  EXPECT_TRUE(form.TKFilter("ohne-filter")) << "filter off";
  form.cbAktiviereFilter.checked = true;
  EXPECT_TRUE(form.TKFilter("XX- 3245NO -1"));
  EXPECT_FALSE(form.TKFilter("3245NO"));
  EXPECT_FALSE(form.TKFilter("AB26007-3245NO0001")) << "the serial is part of the field";
}

TEST_F(DialogTest, TransactHooksCreationChooserFiltersItsSortedListByMapSheet) {
  TFormGetTIDAndKennung plain(pool_);
  EXPECT_EQ(plain.EditTKBlatt, nullptr) << "the other builds have no filter";

  TFormGetTIDAndKennung form(pool_, true);
  ASSERT_NE(form.EditTKBlatt, nullptr);
  EXPECT_EQ(form.EditTKBlatt->parent, form.GroupBox1.Name());
  EXPECT_EQ(form.btnRequery->caption, "aktualisieren");
  EXPECT_EQ(form.cbAktiviereFilter->caption, "TK-Filter aktivieren");
  form.lngOKLToBeCreated = ClassId("FFH");
  form.lbTransActions.Add("3 - Ruhrauen", 3);
  form.lbTransActions.item_index = 0;
  form.lbTransActionsClick();
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-1", "DE-3245NO-1", "DE-3245NW-2", "DE-9"}));

  form.EditTKBlatt->Type("3245NW");
  form.cbAktiviereFilter->Toggle();
  form.lbTransActions.Select(0);  // the same transaction: no refill
  EXPECT_EQ(form.lbKennungen.Count(), 4);
  form.btnRequery->Click();
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-3245NW-2"}));
  form.lbKennungen.Select(0);
  form.BtnOK.Click();
  EXPECT_EQ(form.modal_result, ModalResult::kOk);

  TFormGetTIDAndKennung next(pool_, true);
  EXPECT_EQ(next.EditTKBlatt->text, "3245NW");
  EXPECT_TRUE(next.cbAktiviereFilter->checked);
}

// TransactHooks' identifier chooser fills its own list.
class ListedPool : public DialogTools::KennungTable {
 public:
  std::vector<std::string> FreeKennungen(int32_t tid) override {
    return tid == 3 ? Items{"DE-9", "DE-3245NO-1", "OEK-2", "DE-3245NW-2"} : Items{};
  }
};

TEST_F(DialogTest, TransactHooksKennungChooserFillsItsListByPrefixAndMapSheet) {
  ListedPool pool;
  TformGetKennung form(true);
  form.SetKennungstabelle(pool);
  form.SetOKLPrefix("DE-");
  form.SetTransaktionsID(3);
  EXPECT_EQ(form.FuelleAuswahlliste(), 3);
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-3245NO-1", "DE-3245NW-2", "DE-9"}));

  form.EditTKBlatt->Type("3245NO");
  form.cbAktiviereFilter->Toggle();
  form.btnRequery->Click();
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"DE-3245NO-1"}));
  form.EditTKBlatt->Type("4711NO");
  Answer(
      "message OK \"Es sind keine gültigen Kennungen im angegebenen\\n\\r Kartenblatt für die "
      "Zieltransaktion definiert!\"");
  form.btnRequery->Click();
  EXPECT_EQ(form.lbKennungen.Count(), 0);
  ExpectAllAnswered();

  // An empty prefix lets every identifier of the pool in.
  form.cbAktiviereFilter->Toggle();
  form.SetOKLPrefix("");
  EXPECT_EQ(form.FuelleAuswahlliste(), 4);
}

// The form alone: what it asks the pool on a click, without any table.
class RecordingPool : public DialogTools::KennungPool {
 public:
  std::vector<std::string> FittingFreeKennungen(int32_t tid, int32_t okl,
                                                std::string_view state_code) override {
    asked.push_back(std::to_string(tid) + "/" + std::to_string(okl) + "/" +
                    std::string(state_code));
    return tid == 7 ? Items{"B-2", "A-1"} : Items{};
  }
  Items asked;
};

TEST(DialogAloneTest, AClickAsksThePoolForTheChosenTransactionOnce) {
  RecordingPool pool;
  TFormGetTIDAndKennung form(pool);
  form.lngOKLToBeCreated = 1002;
  form.lbTransActions.Add(DialogTools::TransactionEntry(7, "Ruhr - Süd"), 7);
  form.lbTransActions.Add(DialogTools::TransactionEntry(8, "Eifel"), 8);
  form.lbTransActions.Select(0);
  form.lbTransActions.Select(0);
  EXPECT_EQ(pool.asked, (Items{"7/1002/"})) << "the general chooser passes no state code";
  EXPECT_EQ(ItemsOf(form.lbKennungen), (Items{"A-1", "B-2"})) << "kept sorted";
}

TEST(DialogAloneTest, ATransactionNumberedZeroIsListedOnTheFirstClick) {
  RecordingPool pool;
  TFormGetTIDAndKennung form(pool);
  form.lbTransActions.Add(DialogTools::TransactionEntry(0, "Null"), 0);
  form.lbTransActions.item_index = 0;
  form.lbTransActionsClick();
  EXPECT_EQ(pool.asked, (Items{"0/0/"}));
}

TEST(DialogAloneTest, TransactionItemsReadBackTheirNumber) {
  EXPECT_EQ(DialogTools::TransactionEntry(12, "Name-mit-Strich"), "12 - Name-mit-Strich");
  EXPECT_EQ(DialogTools::TIDOfEntry(DialogTools::TransactionEntry(-3, "x")), -1)
      << "a text before the first '-' that is no number";
  EXPECT_EQ(DialogTools::TIDOfEntry(" 12 - Name-mit-Strich"), 12);
}

class KennungBBTest : public testsupport::ProjectFixture {
 protected:
  ModalResult Show(const std::string& script) {
    Answer("form TFormGetKennungBB\n" + script);
    form_ = std::make_unique<TFormGetKennungBB>(composer_);
    form_->year = 2026;
    return form_->ShowModal();
  }
  KennungsTools::BBComposer composer_;
  std::unique_ptr<TFormGetKennungBB> form_;
};

TEST_F(KennungBBTest, WeiterOnAnEmptyFieldTakesTheFirstFreeProposal) {
  Tools::WriteStringToProjectIni("BRB", "AG", "AB");
  Tools::WriteStringToProjectIni("BRB", "Kartenblatt", "3847no");
  MakeObject("BIO", "AB26000-3847NO0001");
  EXPECT_EQ(Show("click btnOK"), ModalResult::kOk);
  EXPECT_EQ(form_->EditNummer.text, "000") << "the stored default number";
  EXPECT_EQ(form_->EditKennung.text, "AB26000-3847NO0002");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("BRB", "Kartenblatt", ""), "3847NO");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("BRB", "Nummer", ""), "000");
}

TEST_F(KennungBBTest, AOneLetterClientCodeKeepsTheDialogOpen) {
  EXPECT_EQ(Show(R"(type EditAG "A"
type EditKarte "3847NO"
click btnOK
message OK "Der Auftraggeber muss durch ein 2-stelliges Kürzel bezeichnet werden!"
click btnCalcKennung
message OK
type EditAG "AX"
click btnCalcKennung
click btnStandard)"),
            ModalResult::kCancel);
  EXPECT_EQ(form_->EditKennung.text, "AX26000-3847NO0001");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("BRB", "AG", "nie gespeichert"), "nie gespeichert");
}

TEST_F(KennungBBTest, ATypedIdentifierOfTheRightShapeIsTakenAsItIs) {
  EXPECT_EQ(Show(R"(type EditKennung "ZZ99999-0000XX9999"
click btnOK)"),
            ModalResult::kOk);
  EXPECT_EQ(form_->EditKennung.text, "ZZ99999-0000XX9999");
}

TEST_F(KennungBBTest, AnExistingIdentifierIsRefused) {
  MakeObject("BIO", "AB26007-3847NO0001");
  EXPECT_EQ(Show(R"(type EditKennung "AB26007-3847NO0001"
click btnOK
message OK "Die Kennung existiert bereits im Projekt!"
close)"),
            ModalResult::kCancel);
}

TEST_F(KennungBBTest, WrongSyntaxGetsAWarningAndANewProposal) {
  EXPECT_EQ(Show(R"(type EditAG "AB"
type EditNummer "1234"
type EditKarte "3847sw"
type EditKennung "AB2607-3847NO0001"
click btnOK
message OK "Die Syntax der Kennung ist nicht korrekt!\r\nEin neuer Vorschlag wird berechnet."
click btnOK)"),
            ModalResult::kOk);
  EXPECT_EQ(form_->EditNummer.text, "234");
  EXPECT_EQ(form_->EditKennung.text, "AB26234-3847SW0001");
}

TEST_F(KennungBBTest, TheClientCodeTakesTwoCharacters) {
  Show(R"(type EditAG "ABC"
click btnStandard)");
  EXPECT_EQ(form_->EditAG.text, "AB");
}

TEST(GKStreifenTest, ItemsAreStripsTwoAndThree) {
  TFormGetGKStreifen form;
  EXPECT_EQ(form.caption, "GK-Streifen ");
  ASSERT_EQ(form.RadioGroup1.items.size(), 2u);
  EXPECT_EQ(form.RadioGroup1.items[1], "Gauß-Krüger 3erStreifen");
  EXPECT_EQ(form.BitBtn1.modal_result, ModalResult::kOk);
}

}  // namespace
