#include "platform/ui/Form.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/ui/ScriptedPresenter.h"

namespace platform::ui {
namespace {

namespace fs = std::filesystem;

class Dialog : public Form {
 public:
  Dialog() : Form("TFormTest", "Test") {
    group = &Add<GroupBox>("GroupBox1", " Login ");
    edit = &Add<Edit>("EditAG");
    edit->parent = "GroupBox1";
    ok = &Add<Button>("BtnOK", "OK", ModalResult::kOk);
    list = &Add<ListBox>("lbKennungen", true);
    up_edit = &Add<Edit>("EditNummer");
    updown = &Add<UpDown>("UpDownNummer", "EditNummer", 0, 999);
    rb_n = &Add<RadioButton>("rbN", "N");
    rb_e = &Add<RadioButton>("rbE", "E");
    other_group_rb = &Add<RadioButton>("rbOther", "X");
    other_group_rb->parent = "GroupBox1";
  }
  void FormShow() override { events += "show;"; }
  void FormClose() override { events += "close;"; }

  GroupBox* group;
  Edit* edit;
  Button* ok;
  ListBox* list;
  Edit* up_edit;
  UpDown* updown;
  RadioButton *rb_n, *rb_e, *other_group_rb;
  std::string events;
};

TEST(Form, ButtonSetsTheModalResultBeforeItsHandlerWhichMayKeepTheFormOpen) {
  Dialog d;
  ModalResult seen = ModalResult::kNone;
  d.ok->on_click = [&] {
    seen = d.modal_result;
    d.modal_result = ModalResult::kNone;  // a failed check keeps the dialog open
  };
  EXPECT_TRUE(d.ok->Click());
  EXPECT_EQ(seen, ModalResult::kOk);
  EXPECT_EQ(d.modal_result, ModalResult::kNone);
}

TEST(Form, DisabledOrHiddenControlsAndControlsInADisabledGroupRefuseTheUser) {
  Dialog d;
  int clicks = 0;
  d.ok->on_click = [&] { ++clicks; };
  d.ok->enabled = false;
  EXPECT_FALSE(d.ok->Click());
  d.ok->enabled = true;
  d.ok->visible = false;
  EXPECT_FALSE(d.ok->Click());
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(d.modal_result, ModalResult::kNone);
  d.group->enabled = false;
  EXPECT_FALSE(d.edit->Usable());
  EXPECT_FALSE(d.edit->Type("AB"));
  EXPECT_EQ(d.edit->text, "");
}

TEST(Form, SortedListKeepsAlphabeticalOrderAndTheSelection) {
  Dialog d;
  d.list->Add("NSG-0002");
  d.list->Add("bsg-0001");
  d.list->item_index = d.list->IndexOf("NSG-0002");
  EXPECT_EQ(d.list->Add("Aaa"), 0);
  EXPECT_EQ(d.list->Add("nsg-0001"), 2);
  std::vector<std::string> texts;
  for (const auto& item : d.list->items) texts.push_back(item.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Aaa", "bsg-0001", "nsg-0001", "NSG-0002"}));
  EXPECT_EQ(d.list->SelectedText(), "NSG-0002");
  EXPECT_EQ(d.list->IndexOf("nsg-0002"), -1);  // exact, as identifiers are
  EXPECT_FALSE(d.list->Select(4));
  d.list->Clear();
  EXPECT_EQ(d.list->SelectedText(), "");
  ListBox& unsorted = d.Add<ListBox>("lbTID");
  unsorted.Add("b", 2);
  unsorted.Add("a", 1);
  EXPECT_EQ(unsorted.items[0].text, "b");
  EXPECT_EQ(unsorted.items[1].number, 1);
}

TEST(Form, EditCutsToMaxLengthInCharactersAndReadOnlyRefuses) {
  Dialog d;
  int changes = 0;
  d.edit->on_change = [&] { ++changes; };
  d.edit->max_length = 2;
  EXPECT_TRUE(d.edit->Type("ÄÖÜ"));
  EXPECT_EQ(d.edit->text, "ÄÖ");
  d.edit->read_only = true;
  EXPECT_FALSE(d.edit->Type("x"));
  EXPECT_EQ(d.edit->text, "ÄÖ");
  EXPECT_EQ(changes, 1);
}

TEST(Form, RadioButtonsExcludeEachOtherWithinTheirParentOnly) {
  Dialog d;
  d.other_group_rb->SetChecked(true);
  d.rb_n->SetChecked(true);
  int clicks = 0;
  d.rb_e->on_click = [&] { ++clicks; };
  EXPECT_TRUE(d.rb_e->Click());
  EXPECT_FALSE(d.rb_n->checked);
  EXPECT_TRUE(d.rb_e->checked);
  EXPECT_TRUE(d.other_group_rb->checked);
  EXPECT_EQ(clicks, 1);
}

TEST(Form, UpDownTakesTheTypedNumberAndStaysInRange) {
  Dialog d;
  d.up_edit->text = "998";
  d.updown->Step(1);
  EXPECT_EQ(d.up_edit->text, "999");
  d.updown->Step(1);
  EXPECT_EQ(d.updown->position, 999);
  d.up_edit->text = "abc";  // no number: the last position counts
  d.updown->Step(-1);
  EXPECT_EQ(d.up_edit->text, "998");
  d.up_edit->text = "0";
  d.updown->Step(-1);
  EXPECT_EQ(d.up_edit->text, "0");
}

TEST(Form, FindIgnoresCaseAndGetChecksTheClass) {
  Dialog d;
  EXPECT_EQ(d.Find("btnok"), d.ok);
  EXPECT_EQ(d.Find("nothing"), nullptr);
  EXPECT_THROW(d.Get<Button>("nothing"), std::out_of_range);
  EXPECT_THROW(d.Get<Button>("EditAG"), std::bad_cast);
}

TEST(Form, ShowModalRunsShowAndCloseAroundThePresenter) {
  auto previous =
      SetPresenter(std::make_unique<ScriptedPresenter>("form TFormTest\nclick BtnOK\n"));
  Dialog d;
  EXPECT_EQ(d.ShowModal(), ModalResult::kOk);
  EXPECT_EQ(d.events, "show;close;");
  EXPECT_FALSE(d.Showing());
  SetPresenter(std::move(previous));
}

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("picture_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes a real JPEG of the given size.
  std::string WriteJpeg(const std::string& name, int width, int height) {
    std::string path = (dir_ / name).string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3, 128);
    while (info.next_scanline < info.image_height) {
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
    return path;
  }

  fs::path dir_;
};

TEST_F(PictureTest, ReadsTheSizeOfAJpeg) {
  Form form("TFormEditFoto", "Objektfoto bearbeiten");
  Picture& image = form.Add<Picture>("Image1");
  std::string path = WriteJpeg("DSC0001.jpg", 40, 30);
  EXPECT_TRUE(image.LoadFromFile(path));
  EXPECT_EQ(image.width, 40);
  EXPECT_EQ(image.height, 30);
  EXPECT_TRUE(image.HasPicture());
  EXPECT_EQ(image.file, path);
}

TEST_F(PictureTest, NoJpegGivesNoPictureAndNoCrash) {
  Form form("TFormEditFoto", "Objektfoto bearbeiten");
  Picture& image = form.Add<Picture>("Image1");
  ASSERT_TRUE(image.LoadFromFile(WriteJpeg("a.jpg", 8, 8)));
  std::string text = (dir_ / "text.jpg").string();
  std::ofstream(text) << "this is no picture";
  EXPECT_FALSE(image.LoadFromFile(text));
  EXPECT_FALSE(image.HasPicture());
  EXPECT_EQ(image.file, "");

  // A JPEG cut off inside its header.
  std::string good = WriteJpeg("b.jpg", 8, 8);
  std::ifstream in(good, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::string cut = (dir_ / "cut.jpg").string();
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, 30);
  EXPECT_FALSE(image.LoadFromFile(cut));
  std::string empty = (dir_ / "empty.jpg").string();
  std::ofstream(empty).close();
  EXPECT_FALSE(image.LoadFromFile(empty));
  EXPECT_FALSE(image.LoadFromFile((dir_ / "missing.jpg").string()));
  EXPECT_FALSE(image.LoadFromFile(dir_.string()));
}

}  // namespace
}  // namespace platform::ui
