// The snapshot dialog: its rules (size classes, the file name, the page
// geometry) and the dialog offscreen over a grid holding a picture, with the
// file dialogs, printer choice, message boxes and modal run replaced.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPushButton>

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/snapshot_model.h"
#include "app/text_ids.h"
#include "app/ui/snapshot_dialog.h"
#include "platform/user_folder.h"
#include "sites/local_settings.h"
#include "view/view_support.h"

namespace {

TEST(SnapshotModel, SizeClassesDoublingAndPreview) {
  const int listed[][4] = {{720, 480, 1, 0}, {704, 240, 2, 1}, {720, 288, 5, 1}, {704, 576, 4, 0},
                           {352, 240, 3, 0}, {360, 288, 6, 0}, {176, 120, 3, 1}, {176, 144, 6, 1}};
  for (const auto& c : listed) {
    app::CSnapshotModel m;
    m.TakePictureSize(c[0], c[1]);
    EXPECT_EQ(m.SizeClass(), c[2]) << c[0] << "x" << c[1];
    EXPECT_EQ(m.Doubled(), c[3] != 0) << c[0] << "x" << c[1];
  }
  // Unlisted: the first picture at its own size; later ones keep the class.
  app::CSnapshotModel m;
  m.TakePictureSize(640, 480);
  EXPECT_EQ(m.SizeClass(), 0);
  EXPECT_EQ(m.PreviewHeight(), 480);
  m.TakePictureSize(176, 144);
  EXPECT_EQ(m.PreviewWidth(), 352);
  m.TakePictureSize(640, 200);
  EXPECT_EQ(m.SizeClass(), 6);
  EXPECT_TRUE(m.Doubled());
}

TEST(SnapshotModel, FileNameAndPageGeometry) {
  EXPECT_EQ(app::SnapshotFileName("/tmp/a"), "/tmp/a.bmp");
  EXPECT_EQ(app::SnapshotFileName("/tmp/a.bmp"), "/tmp/a.bmp");
  EXPECT_EQ(app::SnapshotFileName("/tmp/a.BMP"), "/tmp/a.BMP.bmp");

  // 600 dpi, 4800 printable dots across: 4200 printed.
  app::CSnapshotModel m;
  m.TakePictureSize(720, 288);  // doubled: twice the height ratio
  const app::SnapshotPageRect r = m.PageRect(4800, 600, 600);
  EXPECT_EQ((std::vector<int>{r.left, r.top, r.width, r.height}), (std::vector<int>{300, 600, 4200, 3360}));
  // 176 x 144 is doubled both ways on screen and printed as shown.
  m.TakePictureSize(176, 144);
  EXPECT_EQ(m.PageRect(4800, 600, 600).height, 288 * 4200 / 352);
  EXPECT_EQ(m.PageRect(500, 600, 600).height, 0);  // narrower than an inch
}

// Prompts that answer from the test and record what was asked.
class TestPrompts : public CSnapshotPrompts {
 public:
  QString SaveFileName(QWidget*, const QString& initial, const QString& filter) override {
    save_initial = initial;
    save_filter = filter;
    return save_answer;
  }
  bool HasPrinter() override { return false; }
  QString PdfFileName(QWidget*, const QString&) override { return pdf_answer; }
  void ShowMessage(QWidget*, int message) override { messages.push_back(message); }
  int Run(QDialog* dialog) override {
    ++runs;
    return during_run(dialog);
  }

  QString save_answer, pdf_answer, save_initial, save_filter;
  std::vector<int> messages;
  int runs = 0;
  std::function<int(QDialog*)> during_run;
};

QPushButton* Control(QWidget* dialog, int id) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->property("controlId").toInt() == id) return b;
  }
  return nullptr;
}

class SnapshotDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "snapshot_ui_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ASSERT_TRUE(platform::SetUserFolder(dir_));
    SetSnapshotPrompts(&prompts_);
    grid_.view->SetSplit(4, 0);
  }
  void TearDown() override {
    SetSnapshotPrompts(nullptr);
    std::filesystem::remove_all(dir_);
  }
  // A 176 x 144 picture in channel 2's pane, selected.
  void ShowSelectedPicture() {
    const std::vector<uint8_t> pic = SolidYuy2(176, 144, 120, 128, 128);
    grid_.view->SetTitle(2, "Gate");
    ASSERT_EQ(grid_.Feed(2, pic, 176, 144), 0);
    grid_.view->SelectChannel(2);
  }
  QString Path(const char* name) const { return QString::fromStdString(dir_ + "/" + name); }

  std::string dir_;
  GridFixture grid_;
  TestPrompts prompts_;
};

TEST_F(SnapshotDialogTest, WithoutASelectedPictureOnlyTheMessageShows) {
  EXPECT_EQ(OpenSnapshot(grid_.view.get(), nullptr), QDialog::Rejected);
  // A selected pane that never had a picture.
  grid_.view->SelectChannel(1);
  EXPECT_EQ(OpenSnapshot(grid_.view.get(), nullptr), QDialog::Rejected);
  EXPECT_EQ(prompts_.messages, (std::vector<int>{app::text::kMsgNoSnapshotPicture, app::text::kMsgNoSnapshotPicture}));
  EXPECT_EQ(prompts_.runs, 0);
}

TEST_F(SnapshotDialogTest, SaveWritesTheBitmapAndRemembersThePath) {
  ShowSelectedPicture();
  prompts_.save_answer = Path("shot.BMP");
  prompts_.during_run = [&](QDialog* d) {
    EXPECT_TRUE(static_cast<CSnapshotDialog*>(d)->HasPicture());
    Control(d, app::kSnapshotSaveControl)->click();
    return d->result();
  };
  EXPECT_EQ(OpenSnapshot(grid_.view.get(), nullptr), QDialog::Accepted);
  EXPECT_EQ(prompts_.save_filter, "Bitmap files(*.bmp)");
  const QString written = Path("shot.BMP.bmp");
  EXPECT_EQ(QImage(written, "BMP").size(), QSize(352, 288));  // 176 x 144 doubled both ways
  EXPECT_EQ(GetClientPath(ClientFolder::kSnapshot), written.toStdString());

  // The next save starts there; a write that fails says so and closes with 0.
  prompts_.save_answer = Path("missing/shot");
  EXPECT_EQ(OpenSnapshot(grid_.view.get(), nullptr), QDialog::Rejected);
  EXPECT_EQ(prompts_.save_initial, written);
  EXPECT_EQ(prompts_.messages, std::vector<int>{app::text::kMsgSnapshotWriteFailed});
}

TEST_F(SnapshotDialogTest, PrintWithoutAPrinterMakesAPdfPage) {
  ShowSelectedPicture();
  CSnapshotDialog dialog(grid_.view.get());
  ASSERT_TRUE(dialog.HasPicture());
  prompts_.pdf_answer = Path("page.pdf");
  Control(&dialog, app::kSnapshotPrintControl)->click();
  EXPECT_TRUE(prompts_.messages.empty());
  QFile pdf(prompts_.pdf_answer);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray bytes = pdf.readAll();
  EXPECT_GT(bytes.size(), 1000);
  EXPECT_TRUE(bytes.startsWith("%PDF"));
}

}  // namespace
