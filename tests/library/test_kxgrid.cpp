// The grid component without the selection rules: columns, the virtual model, width fitting, the owner's
// hooks, text-range rectangles and the status bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <memory>

#include "dal/memtable.h"
#include "dal/rowset.h"
#include "library/kxgrid.h"
#include "library/kxgridstatusbar.h"

using namespace qrv;

namespace qrv {
void PrintTo(const TCellCoord &c, std::ostream *os) { *os << "(" << c.X << "," << c.Y << ")"; }
}  // namespace qrv

namespace {

// A memory table of text fields; rows[r][f] is the text of field f in record r + 1.
std::unique_ptr<dal::MemTable> MakeTable(const QStringList &fields, const QList<QStringList> &rows) {
  dal::FieldDefs defs;
  for (const QString &f : fields) {
    dal::FieldDef d;
    d.name = f;
    d.type = dal::FieldType::WideString;
    defs.append(d);
  }
  auto rs = std::make_shared<dal::RowSet>(defs);
  for (const QStringList &row : rows) {
    for (int f = 0; f < row.size(); ++f) rs->appendText(f, row[f]);
    rs->endRow();
  }
  return std::make_unique<dal::MemTable>(rs);
}

// A grid showing the fields of a table, one column per field, values read through the Query like an owner.
struct BoundGrid {
  std::unique_ptr<dal::MemTable> table;
  TKxGrid grid;
  explicit BoundGrid(std::unique_ptr<dal::MemTable> t, QSize size = QSize(900, 300)) : table(std::move(t)) {
    grid.resize(size);
    grid.SetQuery(table.get());
    for (const dal::FieldDef &f : table->fields()) grid.AddColumn(f.name, f.name);
    grid.SetRowCount(int(table->recordCount()));
    grid.OnGetValue = [this](TKxGrid *g, int col, int row, TCellVal &v) {
      table->setRecNo(row + 1);
      v.Value = table->text(g->GetColumn(col)->Fieldname());
      return true;
    };
  }
};

int TextWidth(const TKxGrid &g, const QString &s) { return QFontMetrics(g.font()).horizontalAdvance(s); }

// A text at least APixels wide in the grid's font.
QString TextOfWidth(const TKxGrid &g, int APixels) {
  QString s;
  while (TextWidth(g, s) < APixels) s += QLatin1Char('W');
  return s;
}

}  // namespace

// --- columns ---------------------------------------------------------------------------------------------

TEST(KxGridColumns, GetColumnOutsideTheColumnsGivesNone) {
  TKxGrid g;
  EXPECT_EQ(g.GetColumn(0), nullptr);
  g.AddColumn("a", "a");
  g.AddColumn("b", "b");
  EXPECT_EQ(g.GetColumn(-1), nullptr);
  EXPECT_EQ(g.GetColumn(2), nullptr);
  ASSERT_NE(g.GetColumn(1), nullptr);
  EXPECT_EQ(g.GetColumn(1)->Fieldname(), "b");
}

TEST(KxGridColumns, NewColumnsStartWithTheirDefaults) {
  TKxGrid g;
  g.SetTextColor(QColor(0xFF123456));
  g.AddColumn("a", "a");
  TKxColumn *c = g.AddColumn("b", "b");
  EXPECT_EQ(c->CreationIndex(), 1);
  EXPECT_EQ(c->SortDirection(), sdNone);
  EXPECT_EQ(c->SortIndex(), -1);
  EXPECT_EQ(c->FontStyles(), 0u);
  EXPECT_EQ(c->FontColor(), QColor(0xFF123456));
  EXPECT_FALSE(c->IsSelected());
  TKxColumn loose;
  EXPECT_EQ(loose.CreationIndex(), -1);
  EXPECT_EQ(loose.Index(), -1);
}

TEST(KxGridColumns, MovingAColumnKeepsFieldnameAndCreationIndexAndItsValues) {
  auto t = MakeTable({"a", "b", "c", "d"}, {{"a0", "b0", "c0", "d0"}});
  BoundGrid bg(std::move(t));
  TKxGrid &g = bg.grid;
  g.GetColumn(0)->SetIndex(2);  // a moves behind c
  const QStringList order = {"b", "c", "a", "d"};
  for (int i = 0; i < 4; ++i) {
    TKxColumn *c = g.GetColumn(i);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Fieldname(), order[i]) << i;
    EXPECT_EQ(c->Index(), i);
  }
  EXPECT_EQ(g.GetColumn(2)->CreationIndex(), 0);
  EXPECT_EQ(g.GetColumn(0)->CreationIndex(), 1);
  // The owner is asked by display index, so the value shown at each position is its own column's.
  for (int i = 0; i < 4; ++i) {
    const QModelIndex idx = g.GridModel()->index(0, g.LogicalColumn(i));
    EXPECT_EQ(g.GridModel()->data(idx).toString(), order[i] + "0");
  }
  // The current cell is reported by display index too.
  g.SelectCell(2, 0);
  EXPECT_EQ(g.Col(), 2);
  EXPECT_EQ(g.currentIndex().column(), 0);
}

TEST(KxGridColumns, DraggingAHeaderMovesTheColumnWithItsFieldAndValues) {
  auto t = MakeTable({"a", "b", "c"}, {{"a0", "b0", "c0"}});
  BoundGrid bg(std::move(t), QSize(400, 200));
  TKxGrid &g = bg.grid;
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  QHeaderView *h = g.horizontalHeader();
  const int y = h->height() / 2;
  auto centre = [&](int visual) { return h->sectionViewportPosition(h->logicalIndex(visual)) + h->sectionSize(h->logicalIndex(visual)) / 2; };
  const int x0 = centre(0), x2 = centre(2);
  QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(x0, y));
  for (int x = x0; x <= x2 + 30; x += 10) QTest::mouseMove(h->viewport(), QPoint(x, y));
  QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(x2 + 30, y));
  TKxColumn *a = nullptr;
  for (int i = 0; i < 3; ++i)
    if (g.GetColumn(i)->CreationIndex() == 0) a = g.GetColumn(i);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Fieldname(), "a");
  EXPECT_GT(a->Index(), 0) << "the column moved";
  for (int i = 0; i < 3; ++i) {
    TKxColumn *c = g.GetColumn(i);
    EXPECT_EQ(c->CreationIndex(), c->Fieldname()[0].unicode() - 'a');
    EXPECT_EQ(g.GridModel()->data(g.GridModel()->index(0, g.LogicalColumn(i))).toString(), c->Fieldname() + "0");
  }
}

TEST(KxGridColumns, DeletingOneColumnLeavesTheOthersInPlace) {
  TKxGrid g;
  g.AddColumn("a", "a");
  TKxColumn *b = g.AddColumn("b", "b");
  g.AddColumn("c", "c");
  b->SetIsSelected(true);
  delete b;
  ASSERT_EQ(g.ColumnCount(), 2);
  EXPECT_EQ(g.GetColumn(1)->Fieldname(), "c");
  EXPECT_TRUE(g.SelectedCols().isEmpty());
}

TEST(KxGridColumns, ClearKeepsColumnsAndClearColumnsDropsTheirSelection) {
  TKxGrid g;
  g.AddColumn("a", "a")->SetIsSelected(true);
  g.SetRowCount(5);
  g.Clear();
  EXPECT_EQ(g.RowCount(), 0);
  EXPECT_EQ(g.ColumnCount(), 1);
  g.ClearColumns();
  EXPECT_EQ(g.ColumnCount(), 0);
  EXPECT_TRUE(g.SelectedCols().isEmpty());
}

// --- selection lists -------------------------------------------------------------------------------------

TEST(KxGridSelectionLists, RowToggleKeepsOrderAndUndoesItself) {
  TKxGrid g;
  g.SetRowCount(20);
  for (int r : {5, 2, 9}) g.AddOrRemoveSelectedRowNum(r);
  EXPECT_EQ(g.SelectedRows(), QList<int>({5, 2, 9}));
  g.AddOrRemoveSelectedRowNum(7);
  g.AddOrRemoveSelectedRowNum(7);
  EXPECT_EQ(g.SelectedRows(), QList<int>({5, 2, 9}));
  g.AddOrRemoveSelectedRowNum(2);
  EXPECT_EQ(g.SelectedRows(), QList<int>({5, 9}));
  EXPECT_FALSE(g.IsRowSelected(2));
  EXPECT_TRUE(g.IsRowSelected(9));
}

TEST(KxGridSelectionLists, ColumnSelectionFollowsIsSelectedIgnoringCase) {
  TKxGrid g;
  TKxColumn *a = g.AddColumn("A", "Alpha");
  TKxColumn *b = g.AddColumn("B", "Beta");
  TKxColumn *c = g.AddColumn("C", "Gamma");
  b->SetIsSelected(true);
  b->SetIsSelected(true);
  a->SetIsSelected(true);
  EXPECT_EQ(g.SelectedCols(), QStringList({"Beta", "Alpha"}));
  EXPECT_TRUE(g.IsColSelected("ALPHA"));
  a->SetIsSelected(false);
  EXPECT_EQ(g.SelectedCols(), QStringList({"Beta"}));

  c->SetIndex(0);  // Gamma, Alpha, Beta
  g.SelectAllColumns();
  EXPECT_EQ(g.SelectedCols(), QStringList({"Gamma", "Alpha", "Beta"}));
  for (TKxColumn *col : {a, b, c}) EXPECT_TRUE(col->IsSelected());
  g.ResetColumnSelection();
  EXPECT_TRUE(g.SelectedCols().isEmpty());
  for (TKxColumn *col : {a, b, c}) EXPECT_FALSE(col->IsSelected());
}

TEST(KxGridSelectionLists, BlockCoversItsRectangleInEitherOrder) {
  TKxGrid g;
  for (int i = 0; i < 5; ++i) g.AddColumn(QString::number(i), QString::number(i));
  g.SetRowCount(20);
  g.SetBlockSelection({3, 10}, {1, 4}, false, true);
  int covered = 0;
  for (int c = 0; c < 5; ++c)
    for (int r = 0; r < 20; ++r)
      if (g.BlockContains(c, r)) {
        ++covered;
        EXPECT_TRUE(c >= 1 && c <= 3 && r >= 4 && r <= 10) << c << "," << r;
      }
  EXPECT_EQ(covered, 3 * 7);
  g.ResetBlockSelection();
  EXPECT_FALSE(g.BlockContains(2, 5));
  EXPECT_EQ(g.BlockSelectionStart(), TCellCoord());
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord());
}

TEST(KxGridSelectionLists, ExtendBlockClampsAndStartsAtTheCurrentCell) {
  TKxGrid g;
  for (int i = 0; i < 4; ++i) g.AddColumn(QString::number(i), QString::number(i));
  g.SetRowCount(10);
  g.SelectCell(1, 2);
  g.ExtendBlockSelection(-5, 99);
  EXPECT_TRUE(g.BlockSelecting());
  EXPECT_FALSE(g.BlockSelected());
  EXPECT_EQ(g.BlockSelectionStart(), TCellCoord({1, 2}));
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({0, 9}));
  g.ExtendBlockSelection(7, -1);  // a block in progress only moves its end
  EXPECT_EQ(g.BlockSelectionStart(), TCellCoord({1, 2}));
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({3, 0}));
}

TEST(KxGridSelectionLists, EveryKindMarksTheCellSelected) {
  TKxGrid g;
  for (int i = 0; i < 4; ++i) g.AddColumn(QString::number(i), QString::number(i));
  g.SetRowCount(10);
  EXPECT_FALSE(g.IsCellSelected(0, 0));
  g.GetColumn(3)->SetIsSelected(true);
  g.AddOrRemoveSelectedRowNum(8);
  g.AddSelectedCell({1, 1});
  g.SetBlockSelection({0, 4}, {1, 5}, true, false);
  for (auto [c, r] : {std::pair{3, 0}, {0, 8}, {1, 1}, {1, 4}, {0, 5}}) EXPECT_TRUE(g.IsCellSelected(c, r)) << c << "," << r;
  for (auto [c, r] : {std::pair{0, 0}, {2, 1}, {2, 4}, {1, 6}}) EXPECT_FALSE(g.IsCellSelected(c, r)) << c << "," << r;
  g.DoResetSelection();
  for (auto [c, r] : {std::pair{3, 0}, {0, 8}, {1, 1}, {1, 4}}) EXPECT_FALSE(g.IsCellSelected(c, r)) << c << "," << r;
}

// --- width fitting ---------------------------------------------------------------------------------------

TEST(KxGridFitWidths, HeaderAndVisibleRowsMeasuredAndLastRecordLeftCurrent) {
  auto t = MakeTable({"id", "name"}, {{"1", "short"}, {"22", "a somewhat longer text"}, {"333", "x"}});
  BoundGrid bg(std::move(t));
  TKxGrid &g = bg.grid;
  g.GetColumn(0)->SetWidth(300);
  bg.table->setRecNo(1);
  g.AdjustColWidthsByVisibleRows();
  EXPECT_EQ(g.GetColumn(0)->Width(), std::max(TextWidth(g, "id"), TextWidth(g, "333")) + 10);
  EXPECT_EQ(g.GetColumn(1)->Width(), TextWidth(g, "a somewhat longer text") + 10);
  EXPECT_EQ(bg.table->recNo(), 3);
}

struct CapCase {
  const char *name;
  int gridWidth;
  bool withRow;
  int expected;  // -1: the header's own width + 10
};

void PrintTo(const CapCase &c, std::ostream *os) { *os << c.name; }

class KxGridFitCap : public ::testing::TestWithParam<CapCase> {};

TEST_P(KxGridFitCap, LongHeaderIsCappedOnlyWhenRowsAreMeasured) {
  const CapCase &p = GetParam();
  auto t = MakeTable({"f"}, p.withRow ? QList<QStringList>{{"ab"}} : QList<QStringList>{});
  BoundGrid bg(std::move(t), QSize(p.gridWidth, 200));
  const QString header = TextOfWidth(bg.grid, 900);
  bg.grid.GetColumn(0)->SetHeader(header);
  bg.grid.AdjustColWidthsByVisibleRows();
  const int expected = p.expected < 0 ? TextWidth(bg.grid, header) + 10 : p.expected;
  EXPECT_EQ(bg.grid.GetColumn(0)->Width(), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, KxGridFitCap,
                         ::testing::Values(CapCase{"NoRowsKeepsHeader", 800, false, -1},
                                           CapCase{"RowCapsAt600", 800, true, 600},
                                           CapCase{"RowCapsAtNarrowGrid", 400, true, 400}),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(KxGridFitWidths, OnlyRowsOnScreenAndAtLeastRowsZeroToTenAreMeasured) {
  QList<QStringList> rows;
  for (int r = 0; r < 2000; ++r) rows.append({"x"});
  auto wide = [](int n) { return QString(n, QLatin1Char('m')); };
  rows[10] = {wide(5)};     // inside rows 0..10
  rows[11] = {wide(20)};    // beyond them and beyond the small view
  rows[1500] = {wide(30)};  // far down
  auto t = MakeTable({"f"}, rows);
  BoundGrid bg(std::move(t), QSize(700, 0));
  TKxGrid &g = bg.grid;
  g.show();
  g.resize(700, g.horizontalHeader()->sizeHint().height() + 3 * g.RowHeight() + 2 * g.frameWidth());
  ASSERT_LT(g.LastVisibleRow(), 10);
  g.AdjustColWidthsByVisibleRows();
  EXPECT_EQ(g.GetColumn(0)->Width(), TextWidth(g, wide(5)) + 10);
  EXPECT_EQ(bg.table->recNo(), 11);

  g.SetTopRow(1499);
  ASSERT_EQ(g.TopRow(), 1499);
  ASSERT_GE(g.LastVisibleRow(), 1500);
  g.AdjustColWidthsByVisibleRows();
  EXPECT_EQ(g.GetColumn(0)->Width(), TextWidth(g, wide(30)) + 10);
  // Away from the top, the floor of ten rows does not reach further down.
  EXPECT_EQ(bg.table->recNo(), g.LastVisibleRow() + 1);
  EXPECT_LT(bg.table->recNo(), 1510);
}

TEST(KxGridFitWidths, ColumnWithoutFieldKeepsHeaderWidthAndNoQueryMeasuresHeaders) {
  auto t = MakeTable({"f"}, {{"a long value in the row"}});
  BoundGrid bg(std::move(t));
  TKxGrid &g = bg.grid;
  g.AddColumn("extra");  // no field name
  g.AdjustColWidthsByVisibleRows();
  EXPECT_EQ(g.GetColumn(1)->Width(), TextWidth(g, "extra") + 10);
  g.SetQuery(nullptr);
  g.AdjustColWidthsByVisibleRows();
  EXPECT_EQ(g.GetColumn(0)->Width(), TextWidth(g, "f") + 10);
}

// --- the virtual model -----------------------------------------------------------------------------------

TEST(KxGridModel, PaintingAsksOnlyForCellsOnScreen) {
  TKxGrid g;
  g.resize(600, 400);
  for (int i = 0; i < 20; ++i) g.AddColumn(QString::number(i), QString::number(i))->SetWidth(70);
  g.SetRowCount(1000000);
  QSet<QPair<int, int>> asked;
  int requests = 0;
  g.OnGetValue = [&](TKxGrid *, int col, int row, TCellVal &v) {
    ++requests;
    asked.insert({col, row});
    v.Value = QString::number(row);
    return true;
  };
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  for (int top : {0, 500000, 999990}) {
    g.SetTopRow(top);
    asked.clear();
    requests = 0;
    g.viewport()->repaint();
    const int firstRow = g.TopRow(), lastRow = g.LastVisibleRow();
    const int visibleCols = g.viewport()->width() / 70 + 1;
    ASSERT_GT(requests, 0);
    EXPECT_EQ(requests, asked.size()) << "each cell asked once per frame";
    EXPECT_LE(requests, (lastRow - firstRow + 1) * visibleCols);
    for (const auto &cr : asked) {
      EXPECT_GE(cr.second, firstRow);
      EXPECT_LE(cr.second, lastRow);
      EXPECT_LT(cr.first, visibleCols);
    }
  }
}

TEST(KxGridModel, ValuesOfTheOwnerReachTheModelAndNullsAreEmpty) {
  TKxGrid g;
  g.AddColumn("a", "a");
  g.SetRowCount(3);
  g.OnGetValue = [](TKxGrid *, int, int row, TCellVal &v) {
    if (row == 2) return false;
    v.IsNull = row == 1;
    v.Value = v.IsNull ? QString() : QStringLiteral("v");
    return true;
  };
  QAbstractItemModel *m = g.GridModel();
  EXPECT_EQ(m->data(m->index(0, 0)).toString(), "v");
  EXPECT_FALSE(m->data(m->index(1, 0)).isValid());
  EXPECT_FALSE(m->data(m->index(2, 0)).isValid());
  TCellVal v;
  EXPECT_FALSE(g.GetCellValue(0, 3, v)) << "beyond the rows";
  EXPECT_FALSE(g.GetCellValue(1, 0, v)) << "beyond the columns";
}

// --- hooks -----------------------------------------------------------------------------------------------

class KxGridHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    g.resize(500, 300);
    for (int i = 0; i < 3; ++i) g.AddColumn(QString("H%1").arg(i), QString("F%1").arg(i));
    g.SetRowCount(50);
    g.OnGetValue = [](TKxGrid *, int col, int row, TCellVal &v) {
      v.Value = QString("%1:%2").arg(col).arg(row);
      return true;
    };
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.SelectCell(0, 0);
  }
  TKxGrid g;
};

TEST_F(KxGridHooks, SelectCellMayRefuseAndSelChangedFollowsEveryChange) {
  QList<TCellCoord> before;
  int after = 0;
  bool allow = false;
  g.OnSelectCell = [&](TKxGrid *, int col, int row, bool &can) {
    before.append({col, row});
    can = allow;
  };
  g.OnSelChanged = [&](TKxGrid *) { ++after; };
  QTest::keyClick(&g, Qt::Key_Down);
  EXPECT_EQ(g.Row(), 0);
  EXPECT_EQ(after, 0);
  allow = true;
  QTest::keyClick(&g, Qt::Key_Down);
  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(2, 4).center());
  EXPECT_EQ(g.Row(), 4);
  EXPECT_EQ(g.Col(), 2);
  EXPECT_EQ(after, 2);
  ASSERT_EQ(before.size(), 3);
  EXPECT_EQ(before[1], TCellCoord({0, 1}));
  EXPECT_EQ(before[2], TCellCoord({2, 4}));
}

TEST_F(KxGridHooks, DrawCellGetsTheValueAndTextBoundsInsideTheCell) {
  struct Drawn {
    QString col;
    int row;
    QString value;
    QRect bounds;
  };
  QList<Drawn> drawn;
  g.OnDrawColumnCell = [&](TKxGrid *, QPainter *, TKxColumn *c, const QRect &b, int row, const TCellVal &v,
                           const QStyleOptionViewItem &) { drawn.append({c->Fieldname(), row, v.Value, b}); };
  g.viewport()->repaint();
  ASSERT_FALSE(drawn.isEmpty());
  bool seen = false;
  for (const Drawn &d : drawn) {
    if (d.col == "F1" && d.row == 3) {
      seen = true;
      EXPECT_EQ(d.value, "1:3");
      EXPECT_TRUE(g.CellRect(1, 3).contains(d.bounds));
    }
  }
  EXPECT_TRUE(seen);
}

TEST_F(KxGridHooks, HeaderMouseDownNamesTheColumnAndRowModeSelectsIt) {
  QList<QPair<QString, Qt::MouseButton>> downs;
  g.OnHeaderMouseDown = [&](TKxGrid *, TKxColumn *c, Qt::MouseButton b, Qt::KeyboardModifiers, const QPoint &) {
    downs.append({c->Fieldname(), b});
  };
  QHeaderView *h = g.horizontalHeader();
  auto centre = [&](int col) {
    const int l = g.LogicalColumn(col);
    return QPoint(h->sectionViewportPosition(l) + h->sectionSize(l) / 2, h->height() / 2);
  };
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, centre(1));
  QTest::mouseClick(h->viewport(), Qt::RightButton, {}, centre(2));
  ASSERT_EQ(downs.size(), 2);
  EXPECT_EQ(downs[0], qMakePair(QString("F1"), Qt::LeftButton));
  EXPECT_EQ(downs[1], qMakePair(QString("F2"), Qt::RightButton));
  EXPECT_TRUE(g.SelectedCols().isEmpty()) << "outside row-selection mode a header click is the owner's (sort)";
  EXPECT_EQ(g.Col(), 0) << "the header does not move the current cell";
  g.SetRowSelectionMode(true);
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, centre(1));
  EXPECT_EQ(g.SelectedCols(), QStringList({"F1"}));
}

TEST_F(KxGridHooks, HoverReportsTheCellUnderThePointerUntilItLeaves) {
  QList<TCellCoord> hovered;
  g.OnCellHover = [&](TKxGrid *, int col, int row, const QPoint &) { hovered.append({col, row}); };
  auto move = [&](const QPoint &pos, Qt::MouseButtons buttons) {
    QMouseEvent e(QEvent::MouseMove, pos, g.viewport()->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &e);
  };
  move(g.CellRect(2, 5).center(), Qt::NoButton);
  move(QPoint(g.CellRect(2, 5).right() + 200, 5), Qt::NoButton);  // right of the last column
  move(g.CellRect(1, 1).center(), Qt::LeftButton);                 // a drag is no hover
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(g.viewport(), &leave);
  const QList<TCellCoord> expected = {{2, 5}, {-1, -1}, {-1, -1}};
  EXPECT_EQ(hovered, expected);
}

TEST_F(KxGridHooks, InPlaceEditorHandsItsTextToTheOwner) {
  QList<std::tuple<int, int, QString>> stored;
  g.OnSetValue = [&](TKxGrid *, int col, int row, const QVariant &v) { stored.append({col, row, v.toString()}); };
  QLineEdit *made = nullptr;
  g.OnCreateCellEditor = [&](TKxGrid *, TKxColumn *, int, QWidget *parent) { return made = new QLineEdit(parent); };
  g.SelectCell(1, 2);
  QTest::keyClick(&g, Qt::Key_F2);
  ASSERT_TRUE(g.IsEditing());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->text(), "1:2");
  made->setText("new");
  g.CloseCellEditor(true);
  EXPECT_FALSE(g.IsEditing());
  ASSERT_EQ(stored.size(), 1);
  EXPECT_EQ(stored[0], std::make_tuple(1, 2, QString("new")));

  g.GetColumn(0)->SetReadOnly(true);
  g.SelectCell(0, 2);
  QTest::keyClick(&g, Qt::Key_F2);
  EXPECT_FALSE(g.IsEditing());
}

TEST(KxGridColumns, DefaultDrawCellUsesTheColumnColourAndStaysInItsBounds) {
  TKxGrid g;
  TKxColumn *c = g.AddColumn("a", "a");
  c->SetFontColor(QColor(255, 0, 0));
  c->SetFontStyles(fsBold);
  EXPECT_TRUE(c->CellFont().bold());
  QImage img(200, 40, QImage::Format_ARGB32);
  img.fill(Qt::white);
  const QRect bounds(20, 5, 60, 30);
  {
    QPainter p(&img);
    c->DefaultDrawCell(&p, bounds, 0, QString(80, QLatin1Char('M')), QStyleOptionViewItem());
  }
  int inside = 0, outside = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QColor px = img.pixelColor(x, y);
      if (px == Qt::white) continue;
      if (bounds.contains(x, y)) inside += px.red() > 200 && px.green() < 120 ? 1 : 0;
      else ++outside;
    }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
}

// --- text-range rectangles -------------------------------------------------------------------------------

TEST(KxGridRegion, RectanglesCoverTheRangeAndShiftForRightAlignedColumns) {
  TKxGrid g;
  TKxColumn *c = g.AddColumn("a", "a");
  const QString text = "hello world";
  const QFontMetricsF fm(c->CellFont());
  const QRectF cell(100, 50, 300, fm.height() + 6);
  const QVector<QRectF> left = g.GetRegionForRange(c, cell, text, 6, 5);
  ASSERT_EQ(left.size(), 1);
  EXPECT_NEAR(left[0].left(), 100 + fm.horizontalAdvance("hello "), 1.0);
  EXPECT_NEAR(left[0].width(), fm.horizontalAdvance("world"), 1.0);
  EXPECT_NEAR(left[0].center().y(), cell.center().y(), 1.0);

  c->SetHorzAlign(taTrailing);
  const QVector<QRectF> right = g.GetRegionForRange(c, cell, text, 6, 5);
  ASSERT_EQ(right.size(), 1);
  EXPECT_NEAR(right[0].right(), cell.right(), 1.0);
  EXPECT_NEAR(right[0].width(), left[0].width(), 0.01);

  c->SetHorzAlign(taLeading);
  const QVector<QRectF> word = g.GetRegionForRange(c, cell, text, 7, 1, true);
  ASSERT_EQ(word.size(), 1);
  EXPECT_NEAR(word[0].left(), left[0].left(), 0.01);
  EXPECT_NEAR(word[0].width(), left[0].width(), 0.01);

  EXPECT_TRUE(g.GetRegionForRange(c, cell, text, 20, 3).isEmpty());
  EXPECT_TRUE(g.GetRegionForRange(c, cell, text, 2, 0).isEmpty());
}

// --- status bar ------------------------------------------------------------------------------------------

struct StatusCase {
  QLocale::Language language;
  QLocale::Territory territory;
  int row, rowCount, field, fieldCount;
  const char *rows;
  const char *cols;
};

void PrintTo(const StatusCase &c, std::ostream *os) { *os << c.rows; }

class KxGridStatusBarTexts : public ::testing::TestWithParam<StatusCase> {
 protected:
  void TearDown() override { QLocale::setDefault(saved); }
  QLocale saved;
};

TEST_P(KxGridStatusBarTexts, RowAndColumnLabels) {
  const StatusCase &p = GetParam();
  QLocale::setDefault(QLocale(p.language, p.territory));
  TKxGridStatusBar sb;
  sb.SetRow(p.row);
  sb.SetRowCount(p.rowCount);
  sb.SetField(p.field);
  sb.SetFieldCount(p.fieldCount);
  EXPECT_EQ(sb.lbRows->text(), QString::fromUtf8(p.rows));
  EXPECT_EQ(sb.lbFields->text(), QString::fromUtf8(p.cols));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, KxGridStatusBarTexts,
    ::testing::Values(StatusCase{QLocale::English, QLocale::UnitedStates, 1234, 56789, 2, 7, "Row 1,234 of 56,789", "Col 2 of 7"},
                      StatusCase{QLocale::German, QLocale::Germany, 1234, 1000000, 1, 1, "Row 1.234 of 1.000.000", "Col 1 of 1"},
                      StatusCase{QLocale::C, QLocale::AnyTerritory, 999, 1000, 0, 0, "Row 999 of 1,000", "Col 0 of 0"},
                      StatusCase{QLocale::English, QLocale::UnitedStates, 0, 0, 10, 12, "Row 0 of 0", "Col 10 of 12"}));

TEST(KxGridStatusBar, FieldTypeWaitsForTheNextColumnChangeAndSimpleTextIsImmediate) {
  TKxGridStatusBar sb;
  EXPECT_FALSE(sb.isSizeGripEnabled());
  sb.SetFieldType("Integer");
  EXPECT_EQ(sb.lbFieldType->text(), "");
  sb.SetField(3);
  EXPECT_EQ(sb.lbFieldType->text(), "Integer");
  sb.SetFieldType("WideString (20)");
  sb.SetFieldCount(9);
  EXPECT_EQ(sb.lbFieldType->text(), "WideString (20)");
  sb.SetSimpleText("12 rows selected.");
  EXPECT_EQ(sb.lbSimpleText->text(), "12 rows selected.");
  EXPECT_EQ(sb.lbRows->width(), 150);
  EXPECT_EQ(sb.lbFields->width(), 120);
  EXPECT_EQ(sb.lbFieldType->width(), 150);
  EXPECT_FALSE(sb.lbRows->wordWrap());
}
