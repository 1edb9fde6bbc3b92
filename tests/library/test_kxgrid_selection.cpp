// The grid's selection rules, driven by real mouse and key events on a shown grid, in both modes.
#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "library/kxgrid.h"

using namespace qrv;

namespace qrv {
void PrintTo(const TCellCoord &c, std::ostream *os) { *os << "(" << c.X << "," << c.Y << ")"; }
}  // namespace qrv

namespace {

constexpr int kCols = 6;
constexpr int kRows = 30;
constexpr int kLast = kRows - 1;
const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;

enum Op { Click, Key, Drag, Mode };

struct Step {
  Op op;
  int col = 0, row = 0;
  Qt::KeyboardModifiers mods = Qt::NoModifier;
  Qt::Key key = Qt::Key_unknown;
  int col2 = 0, row2 = 0;
};

Step click(int c, int r, Qt::KeyboardModifiers m = Qt::NoModifier) { return {Click, c, r, m}; }
Step key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { return {Key, 0, 0, m, k}; }
Step drag(int c1, int r1, int c2, int r2) { return {Drag, c1, r1, {}, Qt::Key_unknown, c2, r2}; }
Step rowMode(bool on) { return {Mode, on ? 1 : 0}; }

const TCellCoord kNoCell;

struct SelCase {
  const char *name;
  bool rowMode;
  std::vector<Step> steps;
  QList<int> rows;
  QList<TCellCoord> cells;
  TCellCoord blockStart, blockEnd;
  bool selecting, selected;
  TCellCoord current;
};

void PrintTo(const SelCase &c, std::ostream *os) { *os << c.name; }

class GridFixture {
 public:
  GridFixture(int rows = kRows) {
    g.resize(520, 420);
    for (int i = 0; i < kCols; ++i) g.AddColumn(QString("C%1").arg(i), QString("F%1").arg(i))->SetWidth(80);
    g.SetRowCount(rows);
    g.OnGetValue = [](TKxGrid *, int c, int r, TCellVal &v) {
      v.Value = QString("%1/%2").arg(c).arg(r);
      return true;
    };
    g.show();
    QTest::qWaitForWindowExposed(&g);
    g.SelectCell(0, 0);
  }
  QPoint at(int c, int r) {
    g.scrollTo(g.GridModel()->index(r, g.LogicalColumn(c)));
    return g.CellRect(c, r).center();
  }
  void run(const Step &s) {
    switch (s.op) {
      case Click: QTest::mouseClick(g.viewport(), Qt::LeftButton, s.mods, at(s.col, s.row)); break;
      case Key: QTest::keyClick(&g, s.key, s.mods); break;
      case Drag: {
        QTest::mousePress(g.viewport(), Qt::LeftButton, kNone, at(s.col, s.row));
        const QPoint to = at(s.col2, s.row2);
        QTest::mouseMove(g.viewport(), to);
        QTest::mouseRelease(g.viewport(), Qt::LeftButton, kNone, to);
        break;
      }
      case Mode: g.SetRowSelectionMode(s.col != 0); break;
    }
  }
  TKxGrid g;
};

}  // namespace

class KxGridSelectionRules : public ::testing::TestWithParam<SelCase> {};

TEST_P(KxGridSelectionRules, Outcome) {
  const SelCase &p = GetParam();
  GridFixture f;
  TKxGrid &g = f.g;
  g.SetRowSelectionMode(p.rowMode);
  for (const Step &s : p.steps) f.run(s);
  EXPECT_EQ(g.SelectedRows(), p.rows);
  EXPECT_EQ(g.SelectedCells(), p.cells);
  EXPECT_EQ(g.BlockSelectionStart(), p.blockStart);
  EXPECT_EQ(g.BlockSelectionEnd(), p.blockEnd);
  EXPECT_EQ(g.BlockSelecting(), p.selecting);
  EXPECT_EQ(g.BlockSelected(), p.selected);
  EXPECT_EQ((TCellCoord{g.Col(), g.Row()}), p.current);
  EXPECT_FALSE(g.LeftButtonHeld());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, KxGridSelectionRules,
    ::testing::Values(
        // Row-selection mode.
        SelCase{"RowCtrlClicksToggleInOrder", true, {click(1, 5, kCtrl), click(1, 2, kCtrl), click(1, 9, kCtrl)},
                {5, 2, 9}, {}, kNoCell, kNoCell, false, false, {1, 9}},
        SelCase{"RowCtrlClickTwiceUndoes", true, {click(1, 5, kCtrl), click(1, 5, kCtrl)}, {}, {}, kNoCell, kNoCell,
                false, false, {1, 5}},
        SelCase{"RowShiftClickDownward", true, {click(0, 3), click(2, 6, kShift)}, {3, 4, 5, 6}, {}, kNoCell, kNoCell,
                false, false, {2, 6}},
        SelCase{"RowShiftClickUpward", true, {click(0, 6), click(0, 3, kShift)}, {6, 5, 4, 3}, {}, kNoCell, kNoCell,
                false, false, {0, 3}},
        SelCase{"RowPlainClickChangesNothing", true, {click(0, 5, kCtrl), click(3, 8)}, {5}, {}, kNoCell, kNoCell,
                false, false, {3, 8}},
        SelCase{"RowShiftDownTogglesThenMoves", true, {click(0, 2), key(Qt::Key_Down, kShift), key(Qt::Key_Down, kShift)},
                {2, 3}, {}, kNoCell, kNoCell, false, false, {0, 4}},
        SelCase{"RowShiftUpTogglesTheCurrentRow", true, {click(0, 5), key(Qt::Key_Up, kShift)}, {5}, {}, kNoCell,
                kNoCell, false, false, {0, 4}},
        SelCase{"RowShiftRightSelectsNothing", true, {click(2, 2), key(Qt::Key_Right, kShift)}, {}, {}, kNoCell,
                kNoCell, false, false, {3, 2}},
        SelCase{"RowModeDragDrawsABlock", true, {drag(1, 1, 2, 3)}, {}, {}, {1, 1}, {2, 3}, true, true, {1, 1}},
        // Cell and block mode.
        SelCase{"ShiftClickSpansFromThePreviousCell", false, {click(1, 1), click(3, 4, kShift)}, {}, {}, {1, 1},
                {3, 4}, true, true, {3, 4}},
        SelCase{"ShiftClickMovesTheEndOfTheBlock", false, {click(1, 1), click(3, 4, kShift), click(0, 8, kShift)}, {},
                {}, {1, 1}, {0, 8}, true, true, {0, 8}},
        SelCase{"CtrlClickAppendsCellsEvenTwice", false,
                {click(1, 1, kCtrl), click(2, 3, kCtrl), click(1, 1, kCtrl)}, {}, {{1, 1}, {2, 3}, {1, 1}}, kNoCell,
                kNoCell, false, false, {1, 1}},
        SelCase{"PlainClickClearsCellsAndBlock", false,
                {click(1, 1, kCtrl), click(0, 0), click(2, 2, kShift), click(4, 4)}, {}, {}, kNoCell, kNoCell, false,
                false, {4, 4}},
        SelCase{"DragDrawsABlockBackwards", false, {drag(3, 10, 1, 4)}, {}, {}, {3, 10}, {1, 4}, true, true, {3, 10}},
        SelCase{"ShiftArrowsExtendTheBlock", false,
                {click(1, 1), key(Qt::Key_Right, kShift), key(Qt::Key_Down, kShift), key(Qt::Key_Down, kShift)}, {}, {},
                {1, 1}, {2, 3}, true, true, {2, 3}},
        SelCase{"ShiftDownOnTheLastRowStaysThere", false, {click(0, kLast), key(Qt::Key_Down, kShift)}, {}, {},
                {0, kLast}, {0, kLast}, true, true, {0, kLast}},
        SelCase{"ShiftUpAtTheTopStaysThere", false, {click(2, 0), key(Qt::Key_Up, kShift), key(Qt::Key_Left, kShift)},
                {}, {}, {2, 0}, {1, 0}, true, true, {1, 0}},
        SelCase{"ShiftRightAtTheLastColumnStaysThere", false, {click(kCols - 1, 3), key(Qt::Key_Right, kShift)}, {},
                {}, {kCols - 1, 3}, {kCols - 1, 3}, true, true, {kCols - 1, 3}},
        SelCase{"KeyWithoutShiftClearsTheBlock", false,
                {click(1, 1), key(Qt::Key_Down, kShift), click(2, 2, kCtrl), key(Qt::Key_Down)}, {}, {}, kNoCell,
                kNoCell, false, false, {2, 3}},
        SelCase{"RowsSurviveClicksInCellMode", false, {rowMode(true), click(0, 5, kCtrl), rowMode(false), click(1, 1)},
                {5}, {}, kNoCell, kNoCell, false, false, {1, 1}}),
    [](const auto &i) { return std::string(i.param.name); });

TEST(KxGridSelection, DragHoldsTheBlockOpenUntilRelease) {
  GridFixture f;
  TKxGrid &g = f.g;
  QTest::mousePress(g.viewport(), Qt::LeftButton, kNone, f.at(2, 3));
  EXPECT_TRUE(g.LeftButtonHeld());
  QTest::mouseMove(g.viewport(), f.at(4, 6));
  EXPECT_TRUE(g.BlockSelecting());
  EXPECT_FALSE(g.BlockSelected());
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({4, 6}));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, kNone, f.at(4, 6));
  EXPECT_TRUE(g.BlockSelected());
  EXPECT_FALSE(g.LeftButtonHeld());
  // Without the button a move changes nothing.
  QTest::mouseMove(g.viewport(), f.at(0, 0));
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({4, 6}));
}

TEST(KxGridSelection, DraggingPastTheCellsEndsOnTheEdges) {
  GridFixture f(8);  // every row fits on screen
  TKxGrid &g = f.g;
  ASSERT_LT(g.CellRect(kCols - 1, 7).bottom() + 20, g.viewport()->height());
  QTest::mousePress(g.viewport(), Qt::LeftButton, kNone, f.at(2, 3));
  const QPoint belowRight(g.CellRect(kCols - 1, 7).right() + 10, g.CellRect(kCols - 1, 7).bottom() + 15);
  QTest::mouseMove(g.viewport(), belowRight);
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({kCols - 1, 7}));
  QTest::mouseMove(g.viewport(), QPoint(-10, -10));
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({0, 0}));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, kNone, QPoint(-10, -10));
  EXPECT_EQ(g.BlockSelectionStart(), TCellCoord({2, 3}));
}

TEST(KxGridSelection, ShiftPageKeysCoverAPage) {
  GridFixture f(200);
  TKxGrid &g = f.g;
  const int vis = g.VisibleRows();
  ASSERT_GT(vis, 3);

  // Row mode: a page of rows is toggled and the next page starts right after it.
  g.SetRowSelectionMode(true);
  f.run(click(1, 0));
  QTest::keyClick(&g, Qt::Key_PageDown, kShift);
  QList<int> page;
  for (int r = 0; r < vis; ++r) page.append(r);
  EXPECT_EQ(g.SelectedRows(), page);
  EXPECT_EQ(g.Row(), vis);
  QTest::keyClick(&g, Qt::Key_PageDown, kShift);
  for (int r = vis; r < 2 * vis; ++r) page.append(r);
  EXPECT_EQ(g.SelectedRows(), page);
  EXPECT_EQ(g.Row(), 2 * vis);
  QTest::keyClick(&g, Qt::Key_PageUp, kShift);  // toggles rows vis+1 .. 2*vis back and forth
  QList<int> expected;
  for (int r = 0; r <= vis; ++r) expected.append(r);
  expected.append(2 * vis);
  EXPECT_EQ(g.SelectedRows(), expected);

  // Cell mode: the block ends where the page movement puts the current cell.
  g.SetRowSelectionMode(false);
  f.run(click(2, 0));
  QTest::keyClick(&g, Qt::Key_PageDown, kShift);
  EXPECT_EQ(g.BlockSelectionStart(), TCellCoord({2, 0}));
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({2, vis - 1}));
  EXPECT_EQ(g.Row(), vis - 1);
  QTest::keyClick(&g, Qt::Key_PageUp, kShift);
  QTest::keyClick(&g, Qt::Key_PageUp, kShift);
  EXPECT_EQ(g.BlockSelectionEnd(), TCellCoord({2, 0}));
}

TEST(KxGridSelection, SelectAllThenAClickOrKeyResetsEverything) {
  for (bool byKey : {false, true}) {
    GridFixture f;
    TKxGrid &g = f.g;
    g.SetRowSelectionMode(true);
    f.run(click(0, 4, kCtrl));
    QTest::keyClick(&g, Qt::Key_A, kCtrl);
    EXPECT_TRUE(g.SelectedAll());
    EXPECT_EQ(g.SelectedCols(), QStringList({"F0", "F1", "F2", "F3", "F4", "F5"}));
    EXPECT_TRUE(g.IsCellSelected(5, 20));
    if (byKey) QTest::keyClick(&g, Qt::Key_Down);
    else f.run(click(2, 2));
    EXPECT_FALSE(g.SelectedAll()) << byKey;
    EXPECT_TRUE(g.SelectedCols().isEmpty()) << byKey;
    EXPECT_TRUE(g.SelectedRows().isEmpty()) << byKey;
    EXPECT_FALSE(g.GetColumn(0)->IsSelected()) << byKey;
  }
}

TEST(KxGridSelection, EscapeResetsEveryKind) {
  GridFixture f;
  TKxGrid &g = f.g;
  g.SetRowSelectionMode(true);
  f.run(click(0, 4, kCtrl));
  g.GetColumn(2)->SetIsSelected(true);
  g.SetRowSelectionMode(false);
  f.run(click(1, 1, kCtrl));
  f.run(click(3, 3, kShift));
  QTest::keyClick(&g, Qt::Key_Escape);
  EXPECT_TRUE(g.SelectedRows().isEmpty());
  EXPECT_TRUE(g.SelectedCols().isEmpty());
  EXPECT_TRUE(g.SelectedCells().isEmpty());
  EXPECT_FALSE(g.BlockPresent());
  for (int c = 0; c < kCols; ++c) EXPECT_FALSE(g.IsCellSelected(c, 4));
}

TEST(KxGridSelection, HeaderClicksSelectColumnsInRowModeOnly) {
  GridFixture f;
  TKxGrid &g = f.g;
  QHeaderView *h = g.horizontalHeader();
  auto clickHeader = [&](int col, Qt::KeyboardModifiers m) {
    const int l = g.LogicalColumn(col);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, m, QPoint(h->sectionViewportPosition(l) + h->sectionSize(l) / 2, h->height() / 2));
  };
  clickHeader(1, kNone);
  EXPECT_TRUE(g.SelectedCols().isEmpty());

  g.SetRowSelectionMode(true);
  struct HeaderStep {
    int col;
    Qt::KeyboardModifiers mods;
    QStringList after;
  };
  const HeaderStep steps[] = {
      {1, kNone, {"F1"}},        // an unselected column becomes the only one
      {3, kCtrl, {"F1", "F3"}},  // Ctrl adds
      {4, kCtrl, {"F1", "F3", "F4"}},
      {1, kCtrl, {"F3", "F4"}},  // Ctrl on a selected one removes it
      {3, kNone, {}},            // a plain click on a selected column clears the column selection
      {2, kNone, {"F2"}},
  };
  for (const HeaderStep &s : steps) {
    clickHeader(s.col, s.mods);
    EXPECT_EQ(g.SelectedCols(), s.after) << "after column " << s.col;
    for (int c = 0; c < kCols; ++c) EXPECT_EQ(g.GetColumn(c)->IsSelected(), s.after.contains(QString("F%1").arg(c)));
  }
}

TEST(KxGridSelection, WithoutTheRulesTheGridOnlyMovesTheCurrentCell) {
  GridFixture f;
  TKxGrid &g = f.g;
  g.SetSelectionRules(false);
  f.run(click(1, 1));
  f.run(click(3, 4, kShift));
  QTest::keyClick(&g, Qt::Key_Down, kShift);
  QTest::keyClick(&g, Qt::Key_A, kCtrl);
  EXPECT_EQ((TCellCoord{g.Col(), g.Row()}), TCellCoord({3, 5}));
  EXPECT_FALSE(g.BlockPresent());
  EXPECT_TRUE(g.SelectedCols().isEmpty());
}
