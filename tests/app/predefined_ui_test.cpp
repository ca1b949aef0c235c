// The predefined camera list editor and list tree offscreen, over a
// temporary user folder holding a site.dat; questions and messages go
// through the prompt hook.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include <stdlib.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/texts.h"
#include "platform/profile.h"
#include "platform/user_folder.h"
#include "sites/predefined_model.h"
#include "sites/site_directory_store.h"
#include "sites/ui/predefined_editor.h"
#include "sites/ui/predefined_tree.h"
#include "sites/ui/site_dialogs.h"

namespace {

class PredefinedUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "predef_ui_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ASSERT_TRUE(platform::SetUserFolder(dir_));
    saved_folder_ = app::ProgramFolder();
    app::SetProgramFolder(TAVREL_BIN_DIR);
    app::SetLanguageIndex(0);
    CSitePrompts::SetHook([this](QWidget*, int message, const QString& text, bool question) {
      shown_.push_back({message, text.toStdString()});
      if (!question) return false;
      EXPECT_FALSE(answers_.empty()) << "unexpected question " << message;
      if (answers_.empty()) return false;
      const bool yes = answers_.front();
      answers_.pop_front();
      return yes;
    });
    // Group "G": a 16-channel and a 4-channel site.
    SiteDirectoryData sites;
    SiteRecord big;
    big.name = "Big";
    big.address = "10.0.0.16";
    big.password = "pw";
    SiteRecord small = big;
    small.name = "Small";
    small.channel_count = 4;
    small.base_port = 7630;
    sites.groups.push_back({"G", {big, small}});
    ASSERT_TRUE(SaveSiteDirectory(SiteDatPath(), SiteMirrorPath(), sites).Ok());
  }
  void TearDown() override {
    CSitePrompts::SetHook({});
    app::SetProgramFolder(saved_folder_);
    std::filesystem::remove_all(dir_);
  }

  static std::string Ini(const char* section, const std::string& key) {
    return platform::GetProfileString(PredefinedListPath(), section, key, "<none>");
  }
  static std::string Cell(const CPredefinedListEditor& e, int row, int column) {
    return e.findChild<QTableWidget*>("slotTable")->item(row, column)->text().toStdString();
  }

  struct Shown {
    int message;
    std::string text;
  };
  std::string dir_;
  std::string saved_folder_;
  std::vector<Shown> shown_;
  std::deque<bool> answers_;
};

TEST_F(PredefinedUiTest, EditorDropsSitesOnConsecutiveRows) {
  CPredefinedListEditor editor;
  editor.show();
  // No list yet: list 1 is named "1", in a file only its owner can read.
  EXPECT_EQ(Ini("GROUP", "LIST_NAME01"), "1");
  EXPECT_EQ(editor.findChild<QLineEdit*>("listName")->text().toStdString(), "1");
  struct stat st {};
  ASSERT_EQ(::stat(PredefinedListPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);

  // 16 channels from row 60 would run past row 64.
  EXPECT_FALSE(editor.PutSite(59, 0, 0));
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, kPredefinedDropPastEndText);
  EXPECT_EQ(Cell(editor, 59, 1), "NULL");

  ASSERT_TRUE(editor.PutSite(0, 0, 0));
  EXPECT_EQ(Cell(editor, 0, 0), "#01");
  EXPECT_EQ(Cell(editor, 0, 1), "Big");
  EXPECT_EQ(Cell(editor, 0, 2), "01");
  EXPECT_EQ(Cell(editor, 15, 2), "16");
  EXPECT_EQ(Cell(editor, 15, 5), "**");  // the password never shows
  EXPECT_EQ(Cell(editor, 15, 7), "01");
  EXPECT_EQ(Cell(editor, 15, 8), "163");
  EXPECT_EQ(Cell(editor, 16, 1), "NULL");

  // A site dragged from the tree and dropped on row 21.
  auto* table = editor.findChild<QTableWidget*>("slotTable");
  table->scrollToItem(table->item(20, 0));
  QMimeData mime;
  mime.setData("application/x-tavrel-site", "0 1");
  // The drop reaches the widget that accepted the drag's entry.
  const QPoint at = table->visualItemRect(table->item(20, 0)).center();
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &drop);
  EXPECT_EQ(drop.dropAction(), Qt::CopyAction);  // the source keeps its item
  EXPECT_EQ(Cell(editor, 20, 1), "Small");
  EXPECT_EQ(Cell(editor, 23, 2), "04");
  EXPECT_EQ(Cell(editor, 24, 1), "NULL");

  // The keyboard way: a slot button picks the row, "Add" puts the chosen site there.
  editor.findChild<QPushButton*>("slot41")->click();
  EXPECT_EQ(editor.CurrentRow(), 40);
  auto* tree = editor.findChild<QTreeWidget*>("siteTree");
  tree->setCurrentItem(tree->topLevelItem(0)->child(1));
  editor.findChild<QPushButton*>("addButton")->click();
  EXPECT_EQ(Cell(editor, 43, 1), "Small");
  EXPECT_EQ(editor.Model().List().AssignedCount(), 24);
}

TEST_F(PredefinedUiTest, EditorSaveAndClear) {
  CPredefinedListEditor editor;
  std::vector<int> saved;
  QObject::connect(&editor, &CPredefinedListEditor::listSaved, [&saved](int index) { saved.push_back(index); });
  auto* name = editor.findChild<QLineEdit*>("listName");
  auto* save = editor.findChild<QPushButton*>("saveButton");

  name->clear();
  save->click();
  name->setText("Front");
  save->click();
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[0].message, 30);
  EXPECT_EQ(shown_[1].message, 31);
  EXPECT_EQ(shown_[1].text, app::LoadText(app::kMessage, 31));
  EXPECT_EQ(Ini("PREDVRLIST", "TOTAL_LIST"), "00");

  ASSERT_TRUE(editor.PutSite(0, 0, 1));
  save->click();
  save->click();  // the second save replaces the list it made
  EXPECT_EQ(saved, (std::vector<int>{0, 0}));
  EXPECT_EQ(editor.ListIndex(), 0);
  EXPECT_EQ(Ini("PREDVRLIST", "TOTAL_LIST"), "01");
  EXPECT_EQ(Ini("GROUP", "LIST_NAME01"), "Front");
  EXPECT_EQ(Ini("SITE_INFO01", "SEL_CH04"), "03");
  EXPECT_EQ(Ini("SITE_INFO01", "PW04"), "pw");

  // Clear asks first; No keeps the rows.
  answers_ = {false, true};
  editor.findChild<QPushButton*>("clearButton")->click();
  EXPECT_EQ(editor.Model().List().AssignedCount(), 4);
  editor.findChild<QPushButton*>("clearButton")->click();
  EXPECT_EQ(editor.Model().List().AssignedCount(), 0);
  EXPECT_EQ(shown_.back().message, 309);
  EXPECT_EQ(shown_.back().text, app::LoadText(app::kMessage, 309));
  EXPECT_EQ(Cell(editor, 0, 1), "NULL");
  editor.reject();
  EXPECT_EQ(editor.result(), QDialog::Accepted);  // something was saved

  const CPredefinedListEditor again(0);  // the saved list opens with its rows
  EXPECT_EQ(Cell(again, 3, 1), "Small");
}

TEST_F(PredefinedUiTest, ListTreeShowsAndSavesLists) {
  std::ofstream(PredefinedListPath()) << "[PREDVRLIST]\nTOTAL_LIST=02\n[GROUP]\nLIST_NAME01=Alpha\nLIST_NAME02=Beta\n"
                                         "[SITE_INFO01]\nREG01=0\nDVR_NAME02=Late\nREG02=1\n"
                                         "[SITE_INFO02]\nDVR_NAME01=Cam\nSEL_CH01=2\nREG01=1\n";
  CPredefinedListTree tree;
  ASSERT_TRUE(tree.Reload());
  ASSERT_EQ(tree.topLevelItemCount(), 2);
  EXPECT_EQ(tree.topLevelItem(0)->childCount(), 0);  // slot 1 free: no slot shown
  ASSERT_EQ(tree.topLevelItem(1)->childCount(), 1);
  EXPECT_EQ(tree.topLevelItem(1)->child(0)->text(0).toStdString(), "[1]:Cam(Ch:3)");

  std::vector<int> chosen;
  QObject::connect(&tree, &CPredefinedListTree::listChosen, [&chosen](int index) { chosen.push_back(index); });
  tree.setCurrentItem(tree.topLevelItem(1)->child(0));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&tree, &enter);
  EXPECT_EQ(chosen, std::vector<int>{1});

  EXPECT_FALSE(tree.RenameList(1, ""));
  ASSERT_TRUE(tree.RenameList(1, "Gamma"));
  EXPECT_EQ(Ini("GROUP", "LIST_NAME02"), "Gamma");
  ASSERT_TRUE(tree.MoveList(1, 0));
  EXPECT_EQ(Ini("GROUP", "LIST_NAME01"), "Gamma");
  EXPECT_EQ(Ini("SITE_INFO01", "DVR_NAME01"), "Cam");
  EXPECT_EQ(tree.CurrentList(), 0);

  // Renamed in place (F2): saved once the editor has finished.
  tree.topLevelItem(1)->setText(0, "Delta");
  const QDeadlineTimer deadline(5000);
  while (Ini("GROUP", "LIST_NAME02") != "Delta" && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(Ini("GROUP", "LIST_NAME02"), "Delta");

  ASSERT_TRUE(tree.DeleteList(0));
  EXPECT_EQ(Ini("PREDVRLIST", "TOTAL_LIST"), "01");
  EXPECT_EQ(Ini("GROUP", "LIST_NAME01"), "Delta");
  EXPECT_EQ(tree.ListCount(), 1);
}

}  // namespace
