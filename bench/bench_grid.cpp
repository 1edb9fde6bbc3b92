// Grid over a large memory table (offscreen): the time to show it, to page through it and to fit its
// column widths, for 1,000 and 1,000,000 rows, and the value requests per painted frame against the cells
// on screen. The ratios tell whether the cost depends on the row count (it should not).
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>
#include <cstdio>
#include <memory>

#include "dal/memtable.h"
#include "dal/rowset.h"
#include "library/kxgrid.h"

using namespace qrv;

namespace {

std::shared_ptr<dal::RowSet> MakeRows(int ARows) {
  dal::FieldDefs defs;
  const struct {
    const char *name;
    dal::FieldType type;
  } cols[] = {{"id", dal::FieldType::Integer},     {"amount", dal::FieldType::Float},
              {"name", dal::FieldType::WideString}, {"comment", dal::FieldType::WideString},
              {"created", dal::FieldType::DateTime}, {"qty", dal::FieldType::Largeint},
              {"code", dal::FieldType::String},      {"flag", dal::FieldType::Boolean}};
  for (const auto &c : cols) {
    dal::FieldDef d;
    d.name = QString::fromLatin1(c.name);
    d.type = c.type;
    defs.append(d);
  }
  auto rs = std::make_shared<dal::RowSet>(defs);
  rs->reserve(ARows);
  for (int r = 0; r < ARows; ++r) {
    rs->appendInt(0, r + 1);
    rs->appendDouble(1, r * 1.25);
    rs->appendText(2, QStringLiteral("Name %1").arg(r));
    if (r % 7 == 0) rs->appendNull(3);
    else rs->appendText(3, QStringLiteral("A comment of some length for row number %1").arg(r));
    rs->appendText(4, QStringLiteral("2024-01-%1 12:00:00").arg(1 + r % 28, 2, 10, QLatin1Char('0')));
    rs->appendInt(5, qint64(r) * 1000);
    rs->appendText(6, QStringLiteral("C%1").arg(r % 997));
    rs->appendInt(7, r & 1);
    rs->endRow();
  }
  return rs;
}

struct Result {
  double showMs = 0;
  double frameMs = 0;
  double fitMs = 0;
  double requestsPerFrame = 0;
  double visibleCells = 0;
  long long frames = 0;
};

Result Run(const std::shared_ptr<dal::RowSet> &ARows, int APages) {
  Result res;
  dal::MemTable table(ARows);
  long long requests = 0;
  QElapsedTimer t;
  t.start();
  TKxGrid grid;
  grid.resize(1000, 700);
  grid.SetQuery(&table);
  for (const dal::FieldDef &f : table.fields()) grid.AddColumn(f.name, f.name);
  grid.OnGetValue = [&](TKxGrid *g, int col, int row, TCellVal &v) {
    ++requests;
    table.setRecNo(row + 1);
    const int fi = table.fieldIndex(g->GetColumn(col)->Fieldname());
    if (table.isNull(fi)) v.IsNull = true;
    else v.Value = table.text(fi);
    return true;
  };
  grid.SetRowCount(int(table.recordCount()));
  grid.AdjustColWidthsByVisibleRows();
  grid.show();
  QApplication::processEvents();
  grid.SelectCell(0, 0);
  grid.viewport()->repaint();
  res.showMs = t.nsecsElapsed() / 1e6;

  // Page down APages times with the keyboard, then jump through the table with the scroll bar.
  requests = 0;
  long long visible = 0;
  t.restart();
  auto frame = [&] {
    grid.viewport()->repaint();
    ++res.frames;
    int cols = 0;
    for (int c = 0; c < grid.ColumnCount(); ++c) {
      const QRect r = grid.CellRect(c, grid.TopRow());
      if (r.right() >= 0 && r.left() < grid.viewport()->width()) ++cols;
    }
    const int rows = std::min(grid.LastVisibleRow(), grid.RowCount() - 1) - grid.TopRow() + 1;
    visible += qint64(cols) * rows;
  };
  for (int i = 0; i < APages; ++i) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&grid, &press);
    frame();
  }
  QScrollBar *sb = grid.verticalScrollBar();
  for (int i = 0; i <= 100; ++i) {
    sb->setValue(int(qint64(sb->maximum()) * i / 100));
    frame();
  }
  const double pagingNs = t.nsecsElapsed();
  res.frameMs = pagingNs / 1e6 / res.frames;
  res.requestsPerFrame = double(requests) / res.frames;
  res.visibleCells = double(visible) / res.frames;

  // Fit the widths at the bottom of the table.
  t.restart();
  const int fits = 50;
  for (int i = 0; i < fits; ++i) grid.AdjustColWidthsByVisibleRows();
  res.fitMs = t.nsecsElapsed() / 1e6 / fits;
  return res;
}

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int pages = 300;
  QElapsedTimer t;
  t.start();
  auto small = MakeRows(1000);
  auto large = MakeRows(1000000);
  std::printf("building the tables: %.0f ms\n", t.nsecsElapsed() / 1e6);
  Run(small, 10);  // warm up fonts and caches
  const Result s = Run(small, pages);
  const Result l = Run(large, pages);
  std::printf("%-28s %12s %12s %8s\n", "", "1,000 rows", "1,000,000", "ratio");
  std::printf("%-28s %12.2f %12.2f %8.2f\n", "show grid (ms)", s.showMs, l.showMs, l.showMs / s.showMs);
  std::printf("%-28s %12.3f %12.3f %8.2f\n", "paint one page (ms)", s.frameMs, l.frameMs, l.frameMs / s.frameMs);
  std::printf("%-28s %12.3f %12.3f %8.2f\n", "fit column widths (ms)", s.fitMs, l.fitMs, l.fitMs / s.fitMs);
  std::printf("%-28s %12.1f %12.1f\n", "value requests per frame", s.requestsPerFrame, l.requestsPerFrame);
  std::printf("%-28s %12.1f %12.1f\n", "visible cells per frame", s.visibleCells, l.visibleCells);
  std::printf("%-28s %12.2f %12.2f\n", "requests / visible cells", s.requestsPerFrame / s.visibleCells,
              l.requestsPerFrame / l.visibleCells);
  std::printf("frames painted per run: %lld\n", l.frames);
  return 0;
}
