// The window offscreen: it follows appends without losing the operator's
// place, the day, hour and filter choices narrow the table, and the
// keyboard reaches every control.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <functional>

#include "log_fixture.h"
#include "logvista/viewer_window.h"

namespace {

using logvista::ViewerWindow;
using logvista_test::Log;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

logvista::EntryKey KeyOfRow(ViewerWindow& window, int row) {
  const logvista::Entry* e = window.model().EntryAt(row);
  return e != nullptr ? e->Key() : logvista::EntryKey{};
}

TEST(LogvistaWindow, FollowsAppendsKeepingSelectionAndScroll) {
  const std::string folder = logvista_test::FreshFolder("window_follow");
  for (int minute = 0; minute < 60; ++minute) {
    Log(folder, 2026, 12, 7, 13, minute, "Motion", "Lobby DVR", "1", "event " + std::to_string(minute));
  }
  ViewerWindow window(folder);
  window.SetPollInterval(200);
  window.show();
  ASSERT_EQ(window.model().rowCount(), 60);
  QTableView& table = window.table();
  // The operator picks a row and scrolls away from the top.
  table.selectRow(30);
  table.scrollTo(window.model().index(20, 0), QAbstractItemView::PositionAtTop);
  const logvista::EntryKey selected = KeyOfRow(window, 30);
  const logvista::EntryKey top = KeyOfRow(window, table.rowAt(0));
  ASSERT_EQ(top, KeyOfRow(window, 20));

  Log(folder, 2026, 12, 7, 14, 0, "Sensor", "Gate", "3", "newest");
  ASSERT_TRUE(WaitFor([&] { return window.model().rowCount() == 61; }, 10000));
  EXPECT_EQ(window.model().EntryAt(0)->row.description, "newest");
  const QModelIndexList rows = table.selectionModel()->selectedRows();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(KeyOfRow(window, rows[0].row()), selected);
  EXPECT_EQ(KeyOfRow(window, table.currentIndex().row()), selected);
  EXPECT_EQ(KeyOfRow(window, table.rowAt(0)), top);
  EXPECT_GE(window.kind_filter().findText("Sensor"), 0);

  // A new order keeps the selection too.
  table.horizontalHeader()->setSortIndicator(static_cast<int>(logvista::Column::kKind), Qt::AscendingOrder);
  EXPECT_EQ(window.model().EntryAt(60)->row.description, "newest");
  EXPECT_EQ(KeyOfRow(window, table.currentIndex().row()), selected);
  EXPECT_EQ(table.selectionModel()->selectedRows().size(), 1);
}

TEST(LogvistaWindow, DayHourAndFilterChoicesNarrowTheTable) {
  const std::string folder = logvista_test::FreshFolder("window_filters");
  Log(folder, 2026, 12, 6, 9, 15, "Video loss", "Gate", "10", "lost");
  Log(folder, 2026, 12, 7, 13, 1, "Motion", "Lobby DVR", "2", "Motion begins");
  Log(folder, 2026, 12, 7, 13, 9, "Sensor", "Gate", "10", "Sensor on");
  Log(folder, 2026, 12, 7, 14, 0, "Motion", "Gate", "1", "Motion ends");
  ViewerWindow window(folder);
  window.show();
  EXPECT_EQ(window.model().rowCount(), 4);
  EXPECT_EQ(window.calendar().selectedDate(), QDate(2026, 12, 7));  // the newest day
  EXPECT_TRUE(window.all_days().isChecked());

  window.calendar().setSelectedDate(QDate(2026, 12, 6));
  EXPECT_FALSE(window.all_days().isChecked());
  EXPECT_EQ(window.model().rowCount(), 1);
  window.calendar().setSelectedDate(QDate(2026, 12, 7));
  ASSERT_EQ(window.hours().count(), 3);  // whole day, 13:00, 14:00
  window.hours().setCurrentRow(1);
  EXPECT_EQ(window.model().rowCount(), 2);

  window.kind_filter().setCurrentIndex(window.kind_filter().findText("Motion"));
  EXPECT_EQ(window.model().rowCount(), 1);
  window.all_days().setChecked(true);
  EXPECT_EQ(window.model().rowCount(), 2);
  window.search().setText("ENDS");
  ASSERT_EQ(window.model().rowCount(), 1);
  EXPECT_EQ(window.model().EntryAt(0)->row.description, "Motion ends");
  EXPECT_TRUE(window.status().text().startsWith("1 of 4 events")) << window.status().text().toStdString();
}

TEST(LogvistaWindow, KeyboardReachesEveryControl) {
  const std::string folder = logvista_test::FreshFolder("window_keys");
  Log(folder, 2026, 12, 7, 13, 1, "Motion", "Lobby DVR", "2", "Motion begins");
  ViewerWindow window(folder);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  std::vector<QWidget*> controls;
  for (QComboBox* c : window.findChildren<QComboBox*>()) controls.push_back(c);
  controls.push_back(&window.search());
  controls.push_back(window.findChild<QPushButton*>());
  controls.push_back(&window.calendar());
  controls.push_back(&window.all_days());
  controls.push_back(&window.hours());
  controls.push_back(&window.table());
  ASSERT_EQ(controls.size(), 9u);

  window.kind_filter().setFocus();
  std::vector<QWidget*> seen;
  for (int i = 0; i < 40; ++i) {
    seen.push_back(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  for (QWidget* control : controls) {
    const bool reached = std::any_of(seen.begin(), seen.end(),
                                     [control](QWidget* w) { return w == control || control->isAncestorOf(w); });
    EXPECT_TRUE(reached) << control->metaObject()->className();
  }
  // Mnemonics of the labels move the focus to their controls.
  QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), &window.search());
  QTest::keyClick(&window, Qt::Key_E, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), &window.table());
}

}  // namespace
