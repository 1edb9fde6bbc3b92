#pragma once
// TKxGrid: a virtual data grid. It holds the row count, the columns, the current cell and four kinds of
// selection (whole columns, single rows, single cells and one rectangular block), and asks its owner for
// the value of every cell it paints through OnGetValue. No cell value and no per-row object is kept, so a
// grid over a million rows costs no more than one over ten: rows have one fixed height and only the rows
// on screen are painted, asked for or measured.
//
// Column indices handed to and taken from the grid (GetColumn, Col, TCellCoord::X, the events) are display
// indices: a column's position on screen at the time, which changes when columns are moved.
#include <QColor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <vector>

namespace qrv::dal {
class MemTable;
}

namespace qrv {

class TKxGrid;
class TKxGridStatusBar;

// A cell of the grid: X the column's display index, Y the zero-based row. (-1, -1) is no cell.
struct TCellCoord {
  int X = -1;
  int Y = -1;
  bool IsValid() const { return X >= 0 && Y >= 0; }
  friend bool operator==(const TCellCoord &a, const TCellCoord &b) { return a.X == b.X && a.Y == b.Y; }
};

enum TSortDirection { sdNone, sdAsc, sdDesc };

// The cached-update state of the record a cell belongs to.
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

// The value of one cell, handed from the owner to the grid.
struct TCellVal {
  QString Value;
  TUpdateStatus UpdateStatus = usUnmodified;
  bool IsError = false;
  bool IsNull = false;
  bool IsBinary = false;
};

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;  // a set of TFontStyle

enum TTextAlign { taLeading, taCenter, taTrailing };

class TKxColumn : public QObject {
  Q_OBJECT
 public:
  // With a grid the column is appended to its columns and owned by it; CreationIndex is then the number
  // of columns the grid had. Without one the column stands alone (CreationIndex -1).
  explicit TKxColumn(TKxGrid *AGrid = nullptr);
  ~TKxColumn() override;

  TKxGrid *Grid() const { return FGrid; }

  QString Header() const { return FHeader; }
  void SetHeader(const QString &AHeader);
  int Width() const;
  void SetWidth(int AWidth);
  TTextAlign HorzAlign() const { return FHorzAlign; }
  void SetHorzAlign(TTextAlign AAlign);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue) { FReadOnly = AValue; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool AValue);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  // Position on screen; setting it moves the column. -1 for a column outside a grid.
  int Index() const;
  void SetIndex(int AIndex);

  TFontStyles FontStyles() const { return FFontStyles; }
  void SetFontStyles(TFontStyles AStyles);
  QColor FontColor() const { return FFontColor; }
  void SetFontColor(const QColor &AColor);
  const QString &Fieldname() const { return FFieldname; }
  void SetFieldname(const QString &AName);
  TSortDirection SortDirection() const { return FSortDirection; }
  void SetSortDirection(TSortDirection ADirection);
  int SortIndex() const { return FSortIndex; }
  void SetSortIndex(int AIndex) { FSortIndex = AIndex; }
  bool IsSelected() const { return FIsSelected; }
  // True adds the field name to the grid's SelectedCols (unless there already), false removes it.
  void SetIsSelected(bool AValue);
  int CreationIndex() const { return FCreationIndex; }

  // The grid's font with this column's FontStyles.
  QFont CellFont() const;
  // Draws AValue in ABounds with FontStyles and FontColor: one line, vertically centred, aligned as the
  // column, clipped to ABounds.
  void DefaultDrawCell(QPainter *ACanvas, const QRect &ABounds, int ARow, const QString &AValue,
                       const QStyleOptionViewItem &AState) const;

 private:
  friend class TKxGrid;
  TKxGrid *FGrid = nullptr;
  int FLogical = -1;  // model column; creation order among the grid's current columns
  QString FHeader;
  int FWidth = 80;
  TTextAlign FHorzAlign = taLeading;
  bool FReadOnly = false;
  bool FVisible = true;
  bool FEnabled = true;
  TFontStyles FFontStyles = 0;
  QColor FFontColor;
  QString FFieldname;
  TSortDirection FSortDirection = sdNone;
  int FSortIndex = -1;
  bool FIsSelected = false;
  int FCreationIndex = -1;
};

// Owner callbacks. ACol is a display index.
using TGetValueEvent = std::function<bool(TKxGrid *ASender, int ACol, int ARow, TCellVal &AValue)>;
using TSetValueEvent = std::function<void(TKxGrid *ASender, int ACol, int ARow, const QVariant &AValue)>;
// Replaces the grid's own cell painting; ABounds is the text area, the painter is clipped to the cell.
using TDrawColumnCellEvent =
    std::function<void(TKxGrid *ASender, QPainter *ACanvas, TKxColumn *AColumn, const QRect &ABounds, int ARow,
                       const TCellVal &AValue, const QStyleOptionViewItem &AState)>;
using TDrawColumnHeaderEvent =
    std::function<void(TKxGrid *ASender, QPainter *ACanvas, TKxColumn *AColumn, const QRect &ABounds)>;
using THeaderMouseDownEvent = std::function<void(TKxGrid *ASender, TKxColumn *AColumn, Qt::MouseButton AButton,
                                                 Qt::KeyboardModifiers AModifiers, const QPoint &AGlobalPos)>;
// Returns the in-place editor for a cell, or null for the grid's line edit. The editor's user property
// (QLineEdit: text) receives the cell's value and is handed to OnSetValue when editing ends.
using TCreateCellEditorEvent = std::function<QWidget *(TKxGrid *ASender, TKxColumn *AColumn, int ARow, QWidget *AParent)>;
// The pointer moved over the cells without the left button held: the cell under it, (-1, -1) when it
// is outside the cells or has left the grid.
using TCellHoverEvent = std::function<void(TKxGrid *ASender, int ACol, int ARow, const QPoint &AGlobalPos)>;
using TSelectCellEvent = std::function<void(TKxGrid *ASender, int ACol, int ARow, bool &ACanSelect)>;
using TKxGridNotifyEvent = std::function<void(TKxGrid *ASender)>;

// The model behind the grid: row and column counts only; values come from the grid's owner.
class TKxGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TKxGridModel(TKxGrid *AGrid);
  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;

 private:
  friend class TKxGrid;
  friend class TKxColumn;
  TKxGrid *FGrid;
};

class TKxGridHeader : public QHeaderView {
  Q_OBJECT
 public:
  explicit TKxGridHeader(TKxGrid *AGrid);

 protected:
  void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent *e) override;

 private:
  TKxGrid *FGrid;
};

class TKxGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit TKxGridDelegate(TKxGrid *AGrid);
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  void setEditorData(QWidget *editor, const QModelIndex &index) const override;
  void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
  void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  void destroyEditor(QWidget *editor, const QModelIndex &index) const override;

 private:
  friend class TKxGrid;
  TKxGrid *FGrid;
  mutable QPointer<QWidget> FEditor;
};

class TKxGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TKxGrid(QWidget *AOwner = nullptr);
  ~TKxGrid() override;

  // Owner references, none owned.
  QWidget *ToolBar() const { return FToolBar; }
  void SetToolBar(QWidget *AToolBar) { FToolBar = AToolBar; }
  dal::MemTable *Query() const { return FQuery; }
  void SetQuery(dal::MemTable *AQuery) { FQuery = AQuery; }
  TKxGridStatusBar *StatusBar() const { return FStatusBar; }
  void SetStatusBar(TKxGridStatusBar *AStatusBar) { FStatusBar = AStatusBar; }

  // Rows and columns.
  int RowCount() const { return FRowCount; }
  void SetRowCount(int ACount);
  void Clear();  // row count := 0; the columns stay
  int ColumnCount() const { return int(FColumns.size()); }
  TKxColumn *GetColumn(int AIndex) const;  // by display index; null when out of range
  TKxColumn *Columns(int AIndex) const { return GetColumn(AIndex); }
  TKxColumn *ColumnByLogical(int ALogical) const;
  TKxColumn *AddColumn(const QString &AHeader = QString(), const QString &AFieldname = QString());
  void ClearColumns();  // also drops the column selection
  int LogicalColumn(int ADisplayIndex) const;
  int DisplayColumn(int ALogical) const;
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue) { FReadOnly = AValue; }
  QColor TextColor() const { return FTextColor; }
  void SetTextColor(const QColor &AColor);

  // Current cell and scrolling. Col is a display index; -1 when there is no current cell.
  int Col() const;
  int Row() const;
  void SetCol(int ACol);
  void SetRow(int ARow);
  void SelectCell(int ACol, int ARow);
  void ScrollToCurrent();
  int RowHeight() const;
  void SetRowHeight(int AHeight);
  int TopRow() const;
  void SetTopRow(int ARow);
  int VisibleRows() const;    // rows that fit completely
  int LastVisibleRow() const; // including a row partly shown; may lie beyond the last row
  QRect CellRect(int ACol, int ARow) const;  // viewport coordinates
  // The cell under a viewport point; (-1, -1) outside the cells.
  TCellCoord CellAt(const QPoint &APos) const;

  // Changes between BeginUpdate and the matching EndUpdate repaint once, at the end.
  void BeginUpdate();
  void EndUpdate();
  bool IsUpdating() const { return FUpdateCount > 0; }
  void Invalidate();

  // Asks the owner for a cell's value; false when it gives none.
  bool GetCellValue(int ACol, int ARow, TCellVal &AValue);

  // Selection lists.
  const QStringList &SelectedCols() const { return FSelectedCols; }
  const QList<int> &SelectedRows() const { return FSelectedRows; }
  const QList<TCellCoord> &SelectedCells() const { return FSelectedCells; }
  bool IsColSelected(const QString &AFieldname) const;
  bool IsRowSelected(int ARow) const { return FSelectedRowSet.contains(ARow); }
  bool IsInSelectedCells(int ACol, int ARow) const;
  void ResetColumnSelection();
  void SelectAllColumns();
  void AddOrRemoveSelectedRowNum(int ARow);
  void ClearSelectedRows();
  void AddSelectedCell(const TCellCoord &ACell);  // appended even when already there
  void ResetBlockSelection();

  // The block: the rectangle between start and end, both included, in either order.
  bool BlockSelecting() const { return FBlockSelecting; }
  bool BlockSelected() const { return FBlockSelected; }
  TCellCoord BlockSelectionStart() const { return FBlockSelectionStart; }
  TCellCoord BlockSelectionEnd() const { return FBlockSelectionEnd; }
  void SetBlockSelection(const TCellCoord &AStart, const TCellCoord &AEnd, bool ASelecting, bool ASelected);
  bool BlockPresent() const { return FBlockSelecting || FBlockSelected; }
  bool BlockContains(int ACol, int ARow) const;
  // Whether a cell is covered by any kind of selection.
  bool IsCellSelected(int ACol, int ARow) const;

  // The selection rules shared by the grid's owners: mouse, keyboard, Ctrl+A and Esc. On by default;
  // when off the grid behaves as a plain table view (current cell only).
  bool SelectionRules() const { return FSelectionRules; }
  void SetSelectionRules(bool AValue) { FSelectionRules = AValue; }
  // Row-selection mode: clicks select rows and header clicks select columns; otherwise clicks select
  // cells and blocks.
  bool RowSelectionMode() const { return FRowSelectionMode; }
  void SetRowSelectionMode(bool AValue) { FRowSelectionMode = AValue; }
  bool SelectedAll() const { return FSelectedAll; }
  void SetSelectedAll(bool AValue) { FSelectedAll = AValue; }
  bool LeftButtonHeld() const { return FMBLeftIsPressed; }
  // Empties SelectedRows, the column selection and the block and cells.
  void DoResetSelection();
  // Extends the block to a cell (kept within the grid), or starts it at the current cell.
  void ExtendBlockSelection(int ACol, int ARow);
  // "Select All": every column selected, and the select-all flag set.
  void SelectAll();
  // A header click in row-selection mode: Ctrl toggles the column; a click on a selected column clears
  // the column selection; one on an unselected column selects only it.
  void SelectColumnByHeader(int ACol, bool ACtrl);

  // Fits the column widths to the header texts and the rows on screen (at least rows 0 to 10), each
  // measured width capped at 600 and the grid's width. The Query's current record is left on the last
  // measured row.
  void AdjustColWidthsByVisibleRows();
  static constexpr int MaxFitWidth = 600;
  static constexpr int FitMargin = 10;

  // Rectangles covering characters [APos, APos + ALength) of AText laid out on one line with the column's
  // font at ARect's left, vertically centred in ARect (as DefaultDrawCell draws it). For a right-aligned
  // column they are shifted right by (ARect width - text width). ARoundToWord widens the range to whole
  // words.
  QVector<QRectF> GetRegionForRange(const TKxColumn *AColumn, const QRectF &ARect, const QString &AText, int APos,
                                    int ALength, bool ARoundToWord = false) const;
  // The text area inside a cell rectangle.
  static QRect TextBounds(const QRect &ACellRect) { return ACellRect.adjusted(3, 0, -3, 0); }

  // In-place editing.
  bool IsEditing() const;
  void CloseCellEditor(bool ACommit);

  // Events.
  TGetValueEvent OnGetValue;
  TSetValueEvent OnSetValue;
  TDrawColumnCellEvent OnDrawColumnCell;
  TDrawColumnHeaderEvent OnDrawColumnHeader;
  // A left press in row-selection mode (with the rules on) has already applied the column selection.
  THeaderMouseDownEvent OnHeaderMouseDown;
  TCellHoverEvent OnCellHover;
  TCreateCellEditorEvent OnCreateCellEditor;
  TSelectCellEvent OnSelectCell;       // before the current cell changes; may refuse
  TKxGridNotifyEvent OnSelChanged;     // after it changed

  TKxGridModel *GridModel() const { return FModel; }
  TKxGridHeader *Header() const { return FHeader; }

 protected:
  void mousePressEvent(QMouseEvent *e) override;
  void mouseMoveEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;
  void mouseDoubleClickEvent(QMouseEvent *e) override;
  void keyPressEvent(QKeyEvent *e) override;
  void keyReleaseEvent(QKeyEvent *e) override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
  bool viewportEvent(QEvent *event) override;

 private:
  friend class TKxColumn;
  friend class TKxGridModel;
  friend class TKxGridHeader;
  friend class TKxGridDelegate;
  friend class TKxGridSelectionModel;
  void attachColumn(TKxColumn *AColumn);
  void defaultDrawCell(QPainter *p, const QStyleOptionViewItem &opt, TKxColumn *c, int row, bool hasValue,
                       const TCellVal &v);
  bool beforeSelectCell(const QModelIndex &AIndex);
  void toggleRowRange(int AFrom, int ATo);
  TCellCoord clampedCellAt(const QPoint &APos) const;
  static bool isNavKey(int AKey);

  QWidget *FToolBar = nullptr;
  dal::MemTable *FQuery = nullptr;
  TKxGridStatusBar *FStatusBar = nullptr;
  TKxGridModel *FModel = nullptr;
  TKxGridHeader *FHeader = nullptr;
  TKxGridDelegate *FDelegate = nullptr;
  std::vector<TKxColumn *> FColumns;  // by logical index
  int FRowCount = 0;
  bool FReadOnly = false;
  QColor FTextColor;

  QStringList FSelectedCols;
  QList<int> FSelectedRows;
  QSet<int> FSelectedRowSet;
  QList<TCellCoord> FSelectedCells;
  QSet<quint64> FSelectedCellSet;
  bool FBlockSelecting = false;
  bool FBlockSelected = false;
  TCellCoord FBlockSelectionStart;
  TCellCoord FBlockSelectionEnd;

  bool FSelectionRules = true;
  bool FRowSelectionMode = false;
  bool FSelectedAll = false;
  bool FMBLeftIsPressed = false;

  int FUpdateCount = 0;
  bool FUpdatePending = false;
  bool FInSelectCell = false;
};

}  // namespace qrv
