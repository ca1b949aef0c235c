#include "sites/ui/predefined_editor.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>
#include <utility>

#include "app/text_ids.h"
#include "sites/ui/site_dialogs.h"

namespace {

// A dragged site: "<group> <site>", its indexes in the editor's copy of site.dat.
constexpr const char* kSiteMime = "application/x-tavrel-site";
constexpr int kGroupRole = Qt::UserRole;
constexpr int kSiteRole = Qt::UserRole + 1;
constexpr int kSlotColumns = 8;

// The sites of site.dat; only site items can be dragged.
class CSiteSourceTree final : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

 protected:
  QStringList mimeTypes() const override { return {QString::fromLatin1(kSiteMime)}; }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override {
    if (items.isEmpty() || items.first()->data(0, kSiteRole).toInt() < 0) return nullptr;
    auto* data = new QMimeData;
    const QTreeWidgetItem* item = items.first();
    data->setData(QString::fromLatin1(kSiteMime),
                  QByteArray::number(item->data(0, kGroupRole).toInt()) + ' ' +
                      QByteArray::number(item->data(0, kSiteRole).toInt()));
    return data;
  }
};

// The 64 rows; a site dropped on a row is handed to on_drop. The drop is a
// copy, so the source tree never removes the dragged item.
class CSlotTable final : public QTableWidget {
 public:
  using QTableWidget::QTableWidget;
  std::function<void(int row, int group, int site)> on_drop;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override { AcceptSite(event); }

  void dragMoveEvent(QDragMoveEvent* event) override {
    if (!AcceptSite(event)) return;
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0) selectRow(row);  // shows where the site will go
  }

  void dropEvent(QDropEvent* event) override {
    if (!AcceptSite(event)) return;
    const QList<QByteArray> parts = event->mimeData()->data(QString::fromLatin1(kSiteMime)).split(' ');
    const int row = rowAt(event->position().toPoint().y());
    bool group_ok = false;
    bool site_ok = false;
    const int group = parts.size() == 2 ? parts[0].toInt(&group_ok) : -1;
    const int site = parts.size() == 2 ? parts[1].toInt(&site_ok) : -1;
    if (row >= 0 && group_ok && site_ok && on_drop) on_drop(row, group, site);
  }

 private:
  static bool AcceptSite(QDropEvent* event) {
    if (!event->mimeData()->hasFormat(QString::fromLatin1(kSiteMime))) {
      event->ignore();
      return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
  }
};

QPushButton* CommandButton(const char* text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

CPredefinedListEditor::CPredefinedListEditor(int list_index, QWidget* parent) : QDialog(parent) {
  setObjectName("CPredefinedListEditor");
  setWindowTitle("Camera List");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
  // An unreadable file leaves an empty new list, which Save refuses to write.
  model_.Open(PredefinedListPath(), list_index);
  LoadSiteDirectory(SiteDatPath(), &sites_);

  name_ = new QLineEdit(QString::fromStdString(model_.Name()), this);
  name_->setObjectName("listName");
  LimitUtf8Bytes(name_, kSiteFieldChars);
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& s) { model_.SetName(s.toStdString()); });
  auto* name_label = new QLabel("List &Name", this);
  name_label->setBuddy(name_);

  auto* tree = new CSiteSourceTree(this);
  site_tree_ = tree;
  tree->setObjectName("siteTree");
  tree->setHeaderHidden(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setDragEnabled(true);
  tree->setDragDropMode(QAbstractItemView::DragOnly);
  tree->setDefaultDropAction(Qt::CopyAction);
  tree->setMinimumHeight(160);
  for (size_t g = 0; g < sites_.groups.size(); ++g) {
    auto* group = new QTreeWidgetItem(tree, {QString::fromStdString(sites_.groups[g].name)});
    group->setData(0, kGroupRole, static_cast<int>(g));
    group->setData(0, kSiteRole, -1);
    group->setFlags(group->flags() & ~Qt::ItemIsDragEnabled);
    for (size_t s = 0; s < sites_.groups[g].sites.size(); ++s) {
      auto* site = new QTreeWidgetItem(group, {QString::fromStdString(sites_.groups[g].sites[s].name)});
      site->setData(0, kGroupRole, static_cast<int>(g));
      site->setData(0, kSiteRole, static_cast<int>(s));
    }
  }
  tree->expandAll();

  QPushButton* add = CommandButton("&Add", "addButton", this);
  connect(add, &QPushButton::clicked, this, &CPredefinedListEditor::OnAdd);

  auto* table = new CSlotTable(kPredefinedSlotCount, kPredefinedColumnCount, this);
  table_ = table;
  table->setObjectName("slotTable");
  table->on_drop = [this](int row, int group, int site) { PutSite(row, group, site); };
  QStringList titles;
  for (const char* title : kPredefinedColumnTitles) titles << QString::fromLatin1(title);
  table->setHorizontalHeaderLabels(titles);
  table->verticalHeader()->setVisible(false);
  table->horizontalHeader()->setStretchLastSection(true);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setAcceptDrops(true);
  table->viewport()->setAcceptDrops(true);
  table->setDragDropMode(QAbstractItemView::DropOnly);
  table->setMinimumSize(620, 360);
  connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { OnRowChanged(current.row()); });

  auto* slot_grid = new QGridLayout;
  slot_grid->setSpacing(2);
  slots_ = new QButtonGroup(this);
  slots_->setExclusive(true);
  for (int row = 0; row < kPredefinedSlotCount; ++row) {
    auto* b = new QPushButton(QString::number(row + 1), this);
    b->setObjectName(QStringLiteral("slot%1").arg(row + 1));
    b->setCheckable(true);
    b->setAutoDefault(false);
    b->setFixedSize(36, 26);
    slots_->addButton(b, row);
    slot_grid->addWidget(b, row / kSlotColumns, row % kSlotColumns);
  }
  connect(slots_, &QButtonGroup::idClicked, this, &CPredefinedListEditor::SelectRow);

  QPushButton* clear = CommandButton("&Clear", "clearButton", this);
  connect(clear, &QPushButton::clicked, this, &CPredefinedListEditor::OnClear);
  QPushButton* save = CommandButton("&Save", "saveButton", this);
  connect(save, &QPushButton::clicked, this, &CPredefinedListEditor::OnSave);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->button(QDialogButtonBox::Close)->setObjectName("closeButton");
  close->button(QDialogButtonBox::Close)->setAutoDefault(false);
  connect(close, &QDialogButtonBox::rejected, this, &CPredefinedListEditor::reject);

  auto* name_row = new QHBoxLayout;
  name_row->addWidget(name_label);
  name_row->addWidget(name_, 1);
  auto* left = new QVBoxLayout;
  left->addWidget(site_tree_, 1);
  left->addWidget(add);
  left->addLayout(slot_grid);
  auto* middle = new QHBoxLayout;
  middle->addLayout(left);
  middle->addWidget(table_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(clear);
  bottom->addStretch(1);
  bottom->addWidget(save);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(name_row);
  layout->addLayout(middle, 1);
  layout->addLayout(bottom);

  // Keyboard order: name, sites, Add, table, slot buttons, commands.
  setTabOrder(name_, site_tree_);
  setTabOrder(site_tree_, add);
  setTabOrder(add, table_);
  QWidget* previous = table_;
  for (QAbstractButton* b : slots_->buttons()) {
    setTabOrder(previous, b);
    previous = b;
  }
  setTabOrder(previous, clear);
  setTabOrder(clear, save);
  setTabOrder(save, close->button(QDialogButtonBox::Close));

  RefreshRows();
  SelectRow(0);
  name_->setFocus();
}

int CPredefinedListEditor::CurrentRow() const {
  const int row = table_->currentRow();
  return row >= 0 ? row : 0;
}

void CPredefinedListEditor::SelectRow(int row) {
  if (row < 0 || row >= kPredefinedSlotCount) return;
  table_->selectRow(row);
  table_->scrollToItem(table_->item(row, 0));
  OnRowChanged(row);
}

void CPredefinedListEditor::OnRowChanged(int row) {
  if (QAbstractButton* b = slots_->button(row)) b->setChecked(true);
}

void CPredefinedListEditor::RefreshRows() {
  for (int row = 0; row < kPredefinedSlotCount; ++row) {
    for (int column = 0; column < kPredefinedColumnCount; ++column) {
      const QString text = QString::fromStdString(model_.Cell(row, column));
      if (QTableWidgetItem* item = table_->item(row, column)) {
        item->setText(text);
      } else {
        table_->setItem(row, column, new QTableWidgetItem(text));
      }
    }
    // Assigned slots stand out in the grid by weight, not by a colour that
    // a dark style sheet could make unreadable.
    QAbstractButton* b = slots_->button(row);
    QFont font = b->font();
    font.setBold(model_.RowAssigned(row));
    b->setFont(font);
  }
  table_->resizeColumnsToContents();
}

bool CPredefinedListEditor::PutSite(int row, int group, int site) {
  if (group < 0 || static_cast<size_t>(group) >= sites_.groups.size()) return false;
  const std::vector<SiteRecord>& group_sites = sites_.groups[static_cast<size_t>(group)].sites;
  if (site < 0 || static_cast<size_t>(site) >= group_sites.size()) return false;
  const CPredefinedEditorModel::Outcome outcome = model_.Drop(row, group_sites[static_cast<size_t>(site)]);
  if (!outcome.Ok()) {
    ShowOutcome(outcome);
    return false;
  }
  RefreshRows();
  SelectRow(row);
  return true;
}

void CPredefinedListEditor::OnAdd() {
  const QTreeWidgetItem* item = site_tree_->currentItem();
  if (item == nullptr) return;
  PutSite(CurrentRow(), item->data(0, kGroupRole).toInt(), item->data(0, kSiteRole).toInt());
}

void CPredefinedListEditor::OnClear() {
  const int question = app::text::kMsgClearRowsQuestion;
  if (!CSitePrompts::Ask(this, question, CSitePrompts::Message(question, "Clear all rows?"))) return;
  model_.Clear();
  RefreshRows();
}

void CPredefinedListEditor::OnSave() {
  const CPredefinedEditorModel::Outcome outcome = model_.Save();
  if (!outcome.Ok()) {
    ShowOutcome(outcome);
    return;
  }
  saved_ = true;
  emit listSaved(model_.ListIndex());
}

void CPredefinedListEditor::reject() { done(saved_ ? QDialog::Accepted : QDialog::Rejected); }

void CPredefinedListEditor::ShowOutcome(const CPredefinedEditorModel::Outcome& outcome) {
  if (outcome.fixed != nullptr) {
    CSitePrompts::Show(this, 0, QString::fromUtf8(outcome.fixed));
    return;
  }
  const char* fallback = outcome.message == 30 ? "Enter a list name." : "Assign at least one camera first.";
  CSitePrompts::Show(this, outcome.message, CSitePrompts::Message(outcome.message, fallback));
}
