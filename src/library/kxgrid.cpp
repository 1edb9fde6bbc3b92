#include "library/kxgrid.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "dal/memtable.h"

namespace qrv {

// Routes every change of the current cell through the grid, which may refuse it.
class TKxGridSelectionModel : public QItemSelectionModel {
 public:
  TKxGridSelectionModel(QAbstractItemModel *AModel, TKxGrid *AGrid) : QItemSelectionModel(AModel, AGrid), FGrid(AGrid) {}
  void setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override {
    if (FGrid->beforeSelectCell(index)) QItemSelectionModel::setCurrentIndex(index, command);
  }

 private:
  TKxGrid *FGrid;
};

namespace {

quint64 cellKey(int ACol, int ARow) { return (quint64(quint32(ACol)) << 32) | quint32(ARow); }

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

Qt::Alignment horzAlignment(TTextAlign a) {
  switch (a) {
    case taTrailing: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// TKxColumn

TKxColumn::TKxColumn(TKxGrid *AGrid) : QObject(AGrid) {
  if (AGrid) {
    FCreationIndex = AGrid->ColumnCount();
    FFontColor = AGrid->TextColor();
    AGrid->attachColumn(this);
  } else {
    FFontColor = QApplication::palette().color(QPalette::Text);
  }
}

TKxColumn::~TKxColumn() {
  if (!FGrid || FLogical < 0) return;
  // Deleted on its own: leave the grid consistent.
  TKxGrid *g = FGrid;
  if (FIsSelected) SetIsSelected(false);
  const int l = FLogical;
  g->FModel->beginRemoveColumns(QModelIndex(), l, l);
  g->FColumns.erase(g->FColumns.begin() + l);
  for (size_t i = size_t(l); i < g->FColumns.size(); ++i) g->FColumns[i]->FLogical = int(i);
  FGrid = nullptr;
  FLogical = -1;
  g->FModel->endRemoveColumns();
}

void TKxColumn::SetHeader(const QString &AHeader) {
  FHeader = AHeader;
  if (FGrid) emit FGrid->FModel->headerDataChanged(Qt::Horizontal, FLogical, FLogical);
}

int TKxColumn::Width() const {
  if (FGrid && !FGrid->FHeader->isSectionHidden(FLogical)) return FGrid->FHeader->sectionSize(FLogical);
  return FWidth;
}

void TKxColumn::SetWidth(int AWidth) {
  FWidth = std::max(0, AWidth);
  if (FGrid && !FGrid->FHeader->isSectionHidden(FLogical)) FGrid->FHeader->resizeSection(FLogical, FWidth);
}

void TKxColumn::SetHorzAlign(TTextAlign AAlign) {
  FHorzAlign = AAlign;
  if (FGrid) FGrid->Invalidate();
}

void TKxColumn::SetVisible(bool AValue) {
  FVisible = AValue;
  if (!FGrid) return;
  FGrid->setColumnHidden(FLogical, !AValue);
  if (AValue) FGrid->FHeader->resizeSection(FLogical, FWidth);
}

void TKxColumn::SetEnabled(bool AValue) {
  FEnabled = AValue;
  if (FGrid) FGrid->Invalidate();
}

int TKxColumn::Index() const { return FGrid ? FGrid->DisplayColumn(FLogical) : -1; }

void TKxColumn::SetIndex(int AIndex) {
  if (!FGrid) return;
  const int to = std::clamp(AIndex, 0, FGrid->ColumnCount() - 1);
  const int from = Index();
  if (from != to) FGrid->FHeader->moveSection(from, to);
}

void TKxColumn::SetFontStyles(TFontStyles AStyles) {
  FFontStyles = AStyles;
  if (FGrid) FGrid->Invalidate();
}

void TKxColumn::SetFontColor(const QColor &AColor) {
  FFontColor = AColor;
  if (FGrid) FGrid->Invalidate();
}

void TKxColumn::SetFieldname(const QString &AName) { FFieldname = AName; }

void TKxColumn::SetSortDirection(TSortDirection ADirection) {
  FSortDirection = ADirection;
  if (FGrid) FGrid->FHeader->viewport()->update();
}

void TKxColumn::SetIsSelected(bool AValue) {
  FIsSelected = AValue;
  if (!FGrid) return;
  QStringList &cols = FGrid->FSelectedCols;
  if (AValue) {
    if (!FGrid->IsColSelected(FFieldname)) cols.append(FFieldname);
  } else {
    cols.removeIf([this](const QString &s) { return s.compare(FFieldname, Qt::CaseInsensitive) == 0; });
  }
  FGrid->Invalidate();
}

QFont TKxColumn::CellFont() const {
  QFont f = FGrid ? FGrid->font() : QApplication::font();
  f.setBold(FFontStyles & fsBold);
  f.setItalic(FFontStyles & fsItalic);
  f.setUnderline(FFontStyles & fsUnderline);
  f.setStrikeOut(FFontStyles & fsStrikeOut);
  return f;
}

void TKxColumn::DefaultDrawCell(QPainter *ACanvas, const QRect &ABounds, int ARow, const QString &AValue,
                                const QStyleOptionViewItem &AState) const {
  Q_UNUSED(ARow);
  Q_UNUSED(AState);
  ACanvas->save();
  ACanvas->setClipRect(ABounds, Qt::IntersectClip);
  ACanvas->setFont(CellFont());
  ACanvas->setPen(FFontColor);
  // Characters far beyond the cell can never show; do not lay them out.
  QString text = AValue;
  const qsizetype keep = std::max<qsizetype>(256, qsizetype(ABounds.width()) * 4);
  if (text.size() > keep) {
    if (FHorzAlign == taLeading) text.truncate(keep);
    else if (FHorzAlign == taTrailing) text = text.right(keep);
  }
  ACanvas->drawText(ABounds, horzAlignment(FHorzAlign) | Qt::AlignVCenter | Qt::TextSingleLine, text);
  ACanvas->restore();
}

// ---------------------------------------------------------------------------------------------------------
// TKxGridModel

TKxGridModel::TKxGridModel(TKxGrid *AGrid) : QAbstractTableModel(AGrid), FGrid(AGrid) {}

int TKxGridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : FGrid->FRowCount; }

int TKxGridModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : FGrid->ColumnCount(); }

QVariant TKxGridModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    TCellVal v;
    if (!FGrid->GetCellValue(FGrid->DisplayColumn(index.column()), index.row(), v) || v.IsNull) return {};
    return v.Value;
  }
  if (role == Qt::TextAlignmentRole) {
    if (TKxColumn *c = FGrid->ColumnByLogical(index.column()))
      return int(horzAlignment(c->HorzAlign()) | Qt::AlignVCenter);
  }
  return {};
}

bool TKxGridModel::setData(const QModelIndex &index, const QVariant &value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !FGrid->OnSetValue) return false;
  FGrid->OnSetValue(FGrid, FGrid->DisplayColumn(index.column()), index.row(), value);
  emit dataChanged(index, index);
  return true;
}

QVariant TKxGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
  TKxColumn *c = FGrid->ColumnByLogical(section);
  if (!c) return {};
  if (role == Qt::DisplayRole) return c->Header();
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TKxGridModel::flags(const QModelIndex &index) const {
  TKxColumn *c = FGrid->ColumnByLogical(index.column());
  if (!index.isValid() || !c || !c->Enabled()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (!FGrid->ReadOnly() && !c->ReadOnly()) f |= Qt::ItemIsEditable;
  return f;
}

// ---------------------------------------------------------------------------------------------------------
// TKxGridHeader

TKxGridHeader::TKxGridHeader(TKxGrid *AGrid) : QHeaderView(Qt::Horizontal, AGrid), FGrid(AGrid) {
  setSectionsMovable(true);
  setFirstSectionMovable(true);
  // Clicks are the owner's (sort or column selection), not the view's column selection.
  setSectionsClickable(false);
  setHighlightSections(false);
  setStretchLastSection(false);
  setMinimumSectionSize(8);
  setDefaultSectionSize(80);
  setSectionResizeMode(QHeaderView::Interactive);
}

void TKxGridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
  TKxColumn *c = FGrid->ColumnByLogical(logicalIndex);
  if (c && FGrid->OnDrawColumnHeader) {
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->setFont(FGrid->font());
    FGrid->OnDrawColumnHeader(FGrid, painter, c, rect);
    painter->restore();
    return;
  }
  QHeaderView::paintSection(painter, rect, logicalIndex);
  if (!c || c->SortDirection() == sdNone) return;
  // A small arrow at the right end: up for ascending, down for descending.
  const qreal h = rect.height(), a = h / 3, b = a / 2, x0 = rect.right() - h - h / 5, top = rect.top();
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(QPen(FGrid->TextColor(), 1));
  if (c->SortDirection() == sdAsc) {
    const QPointF pts[] = {{x0 + b, top + 2 * h / 3}, {x0 + h / 2, top + a}, {x0 + h - b, top + 2 * h / 3}};
    painter->drawPolyline(pts, 3);
  } else {
    const QPointF pts[] = {{x0 + b, top + a}, {x0 + h / 2, top + 2 * h / 3}, {x0 + h - b, top + a}};
    painter->drawPolyline(pts, 3);
  }
  painter->restore();
}

void TKxGridHeader::mousePressEvent(QMouseEvent *e) {
  QHeaderView::mousePressEvent(e);  // moving and resizing
  const QPoint pos = e->position().toPoint();
  const int logical = logicalIndexAt(pos);
  if (logical < 0) return;
  // A press on a section edge starts a resize; it is no click on the column.
  const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
  const int left = sectionViewportPosition(logical), right = left + sectionSize(logical);
  if (pos.x() > right - grip || (pos.x() < left + grip && visualIndex(logical) > 0)) return;
  TKxColumn *c = FGrid->ColumnByLogical(logical);
  if (e->button() == Qt::LeftButton && FGrid->SelectionRules() && FGrid->RowSelectionMode())
    FGrid->SelectColumnByHeader(visualIndex(logical), e->modifiers() & Qt::ControlModifier);
  if (FGrid->OnHeaderMouseDown && c)
    FGrid->OnHeaderMouseDown(FGrid, c, e->button(), e->modifiers(), e->globalPosition().toPoint());
}

// ---------------------------------------------------------------------------------------------------------
// TKxGridDelegate

TKxGridDelegate::TKxGridDelegate(TKxGrid *AGrid) : QStyledItemDelegate(AGrid), FGrid(AGrid) {}

void TKxGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  TKxColumn *c = FGrid->ColumnByLogical(index.column());
  if (!c) return;
  const int col = FGrid->DisplayColumn(index.column()), row = index.row();
  TCellVal v;
  const bool has = FGrid->GetCellValue(col, row, v);
  QStyleOptionViewItem opt(option);
  if (FGrid->IsCellSelected(col, row)) opt.state |= QStyle::State_Selected;
  else opt.state &= ~QStyle::State_Selected;
  painter->save();
  painter->setClipRect(option.rect, Qt::IntersectClip);
  painter->setFont(FGrid->font());
  if (FGrid->OnDrawColumnCell) {
    if (has) FGrid->OnDrawColumnCell(FGrid, painter, c, TKxGrid::TextBounds(option.rect), row, v, opt);
  } else {
    FGrid->defaultDrawCell(painter, opt, c, row, has, v);
  }
  painter->restore();
}

QWidget *TKxGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  Q_UNUSED(option);
  QWidget *w = nullptr;
  if (FGrid->OnCreateCellEditor) w = FGrid->OnCreateCellEditor(FGrid, FGrid->ColumnByLogical(index.column()), index.row(), parent);
  if (!w) {
    auto *ed = new QLineEdit(parent);
    ed->setFrame(false);
    w = ed;
  }
  FEditor = w;
  return w;
}

void TKxGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
  TCellVal v;
  const bool has = FGrid->GetCellValue(FGrid->DisplayColumn(index.column()), index.row(), v);
  const QMetaProperty p = editor->metaObject()->userProperty();
  if (p.isValid()) p.write(editor, has && !v.IsNull ? v.Value : QString());
}

void TKxGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
  const QMetaProperty p = editor->metaObject()->userProperty();
  if (p.isValid()) model->setData(index, p.read(editor), Qt::EditRole);
}

void TKxGridDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  Q_UNUSED(index);
  editor->setGeometry(option.rect);
}

void TKxGridDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const {
  if (FEditor == editor) FEditor = nullptr;
  QStyledItemDelegate::destroyEditor(editor, index);
}

// ---------------------------------------------------------------------------------------------------------
// TKxGrid

TKxGrid::TKxGrid(QWidget *AOwner) : QTableView(AOwner) {
  FTextColor = palette().color(QPalette::Text);
  FModel = new TKxGridModel(this);
  FHeader = new TKxGridHeader(this);
  setHorizontalHeader(FHeader);
  setModel(FModel);
  QItemSelectionModel *old = selectionModel();
  setSelectionModel(new TKxGridSelectionModel(FModel, this));
  delete old;
  FDelegate = new TKxGridDelegate(this);
  setItemDelegate(FDelegate);
  setSelectionMode(QAbstractItemView::NoSelection);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  // Rows share one height, so nothing is kept or measured per row.
  QHeaderView *vh = verticalHeader();
  vh->setMinimumSectionSize(1);
  vh->setSectionResizeMode(QHeaderView::Fixed);
  vh->setDefaultSectionSize(std::max(1, int(std::lround(QFontMetrics(font()).height() * 1.2))));
  vh->hide();
  connect(FHeader, &QHeaderView::sectionResized, this, [this](int logical, int, int newSize) {
    if (TKxColumn *c = ColumnByLogical(logical); c && newSize > 0) c->FWidth = newSize;
  });
}

TKxGrid::~TKxGrid() {
  // The columns go first, while the grid is still whole; they must not unregister themselves.
  std::vector<TKxColumn *> cols;
  cols.swap(FColumns);
  for (TKxColumn *c : cols) {
    c->FGrid = nullptr;
    c->FLogical = -1;
    delete c;
  }
}

void TKxGrid::SetRowCount(int ACount) {
  ACount = std::max(0, ACount);
  if (ACount == FRowCount) return;
  const int old = FRowCount;
  if (ACount > old) {
    FModel->beginInsertRows(QModelIndex(), old, ACount - 1);
    FRowCount = ACount;
    FModel->endInsertRows();
  } else {
    FModel->beginRemoveRows(QModelIndex(), ACount, old - 1);
    FRowCount = ACount;
    FModel->endRemoveRows();
  }
}

void TKxGrid::Clear() { SetRowCount(0); }

TKxColumn *TKxGrid::GetColumn(int AIndex) const {
  if (AIndex < 0 || AIndex >= ColumnCount()) return nullptr;
  return ColumnByLogical(LogicalColumn(AIndex));
}

TKxColumn *TKxGrid::ColumnByLogical(int ALogical) const {
  return ALogical >= 0 && ALogical < ColumnCount() ? FColumns[size_t(ALogical)] : nullptr;
}

TKxColumn *TKxGrid::AddColumn(const QString &AHeader, const QString &AFieldname) {
  auto *c = new TKxColumn(this);
  c->SetHeader(AHeader);
  c->SetFieldname(AFieldname);
  return c;
}

void TKxGrid::attachColumn(TKxColumn *AColumn) {
  const int l = ColumnCount();
  FModel->beginInsertColumns(QModelIndex(), l, l);
  AColumn->FGrid = this;
  AColumn->FLogical = l;
  FColumns.push_back(AColumn);
  FModel->endInsertColumns();
  FHeader->resizeSection(l, AColumn->FWidth);
}

void TKxGrid::ClearColumns() {
  if (FColumns.empty()) return;
  BeginUpdate();
  FModel->beginResetModel();
  std::vector<TKxColumn *> cols;
  cols.swap(FColumns);
  for (TKxColumn *c : cols) {
    c->FGrid = nullptr;
    c->FLogical = -1;
    delete c;
  }
  FSelectedCols.clear();
  FModel->endResetModel();
  Invalidate();
  EndUpdate();
}

int TKxGrid::LogicalColumn(int ADisplayIndex) const {
  if (ADisplayIndex < 0 || ADisplayIndex >= ColumnCount()) return -1;
  return FHeader->logicalIndex(ADisplayIndex);
}

int TKxGrid::DisplayColumn(int ALogical) const {
  if (ALogical < 0 || ALogical >= ColumnCount()) return -1;
  return FHeader->visualIndex(ALogical);
}

void TKxGrid::SetTextColor(const QColor &AColor) {
  FTextColor = AColor;
  Invalidate();
}

int TKxGrid::Col() const {
  const QModelIndex i = currentIndex();
  return i.isValid() ? DisplayColumn(i.column()) : -1;
}

int TKxGrid::Row() const {
  const QModelIndex i = currentIndex();
  return i.isValid() ? i.row() : -1;
}

void TKxGrid::SetCol(int ACol) { SelectCell(ACol, std::max(0, Row())); }

void TKxGrid::SetRow(int ARow) { SelectCell(std::max(0, Col()), ARow); }

void TKxGrid::SelectCell(int ACol, int ARow) {
  const int l = LogicalColumn(ACol);
  if (l < 0 || ARow < 0 || ARow >= FRowCount) return;
  setCurrentIndex(FModel->index(ARow, l));
}

void TKxGrid::ScrollToCurrent() {
  const QModelIndex i = currentIndex();
  if (i.isValid()) scrollTo(i);
}

int TKxGrid::RowHeight() const { return verticalHeader()->defaultSectionSize(); }

void TKxGrid::SetRowHeight(int AHeight) { verticalHeader()->setDefaultSectionSize(std::max(1, AHeight)); }

int TKxGrid::TopRow() const {
  if (FRowCount == 0) return 0;
  const int r = rowAt(0);
  return r < 0 ? 0 : r;
}

void TKxGrid::SetTopRow(int ARow) {
  if (FRowCount == 0) return;
  const int r = std::clamp(ARow, 0, FRowCount - 1);
  const int l = LogicalColumn(std::max(0, Col()));
  if (l >= 0) scrollTo(FModel->index(r, l), QAbstractItemView::PositionAtTop);
  else verticalScrollBar()->setValue(r);
}

int TKxGrid::VisibleRows() const { return viewport()->height() / RowHeight(); }

int TKxGrid::LastVisibleRow() const {
  const int h = RowHeight();
  return TopRow() + std::max(1, (viewport()->height() + h - 1) / h) - 1;
}

QRect TKxGrid::CellRect(int ACol, int ARow) const {
  const int l = LogicalColumn(ACol);
  if (l < 0 || ARow < 0 || ARow >= FRowCount) return {};
  return visualRect(FModel->index(ARow, l));
}

TCellCoord TKxGrid::CellAt(const QPoint &APos) const {
  const QModelIndex i = indexAt(APos);
  if (!i.isValid()) return {};
  return {DisplayColumn(i.column()), i.row()};
}

TCellCoord TKxGrid::clampedCellAt(const QPoint &APos) const {
  int r = rowAt(APos.y());
  if (r < 0) r = APos.y() < 0 ? 0 : FRowCount - 1;
  const int l = columnAt(APos.x());
  const int c = l < 0 ? (APos.x() < 0 ? 0 : ColumnCount() - 1) : DisplayColumn(l);
  return {c, r};
}

void TKxGrid::BeginUpdate() { ++FUpdateCount; }

void TKxGrid::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0 && FUpdatePending) {
    FUpdatePending = false;
    viewport()->update();
    FHeader->viewport()->update();
  }
}

void TKxGrid::Invalidate() {
  if (FUpdateCount > 0) {
    FUpdatePending = true;
    return;
  }
  viewport()->update();
  FHeader->viewport()->update();
}

bool TKxGrid::GetCellValue(int ACol, int ARow, TCellVal &AValue) {
  AValue = TCellVal();
  if (!OnGetValue || ACol < 0 || ACol >= ColumnCount() || ARow < 0 || ARow >= FRowCount) return false;
  return OnGetValue(this, ACol, ARow, AValue);
}

// --- selection -------------------------------------------------------------------------------------------

bool TKxGrid::IsColSelected(const QString &AFieldname) const {
  return FSelectedCols.contains(AFieldname, Qt::CaseInsensitive);
}

bool TKxGrid::IsInSelectedCells(int ACol, int ARow) const { return FSelectedCellSet.contains(cellKey(ACol, ARow)); }

void TKxGrid::ResetColumnSelection() {
  BeginUpdate();
  for (TKxColumn *c : FColumns) c->FIsSelected = false;
  FSelectedCols.clear();
  Invalidate();
  EndUpdate();
}

void TKxGrid::SelectAllColumns() {
  BeginUpdate();
  FSelectedCols.clear();
  for (int i = 0; i < ColumnCount(); ++i) {
    TKxColumn *c = GetColumn(i);
    if (!IsColSelected(c->Fieldname())) FSelectedCols.append(c->Fieldname());
    c->FIsSelected = true;
  }
  Invalidate();
  EndUpdate();
}

void TKxGrid::AddOrRemoveSelectedRowNum(int ARow) {
  BeginUpdate();
  if (FSelectedRowSet.remove(ARow)) FSelectedRows.removeOne(ARow);
  else {
    FSelectedRowSet.insert(ARow);
    FSelectedRows.append(ARow);
  }
  Invalidate();
  EndUpdate();
}

void TKxGrid::ClearSelectedRows() {
  BeginUpdate();
  FSelectedRows.clear();
  FSelectedRowSet.clear();
  Invalidate();
  EndUpdate();
}

void TKxGrid::AddSelectedCell(const TCellCoord &ACell) {
  BeginUpdate();
  FSelectedCells.append(ACell);
  FSelectedCellSet.insert(cellKey(ACell.X, ACell.Y));
  Invalidate();
  EndUpdate();
}

void TKxGrid::ResetBlockSelection() {
  BeginUpdate();
  FBlockSelecting = false;
  FBlockSelected = false;
  FBlockSelectionStart = TCellCoord();
  FBlockSelectionEnd = TCellCoord();
  FSelectedCells.clear();
  FSelectedCellSet.clear();
  Invalidate();
  EndUpdate();
}

void TKxGrid::SetBlockSelection(const TCellCoord &AStart, const TCellCoord &AEnd, bool ASelecting, bool ASelected) {
  BeginUpdate();
  FBlockSelectionStart = AStart;
  FBlockSelectionEnd = AEnd;
  FBlockSelecting = ASelecting;
  FBlockSelected = ASelected;
  Invalidate();
  EndUpdate();
}

bool TKxGrid::BlockContains(int ACol, int ARow) const {
  if (!BlockPresent()) return false;
  const TCellCoord &s = FBlockSelectionStart, &e = FBlockSelectionEnd;
  return ACol >= std::min(s.X, e.X) && ACol <= std::max(s.X, e.X) && ARow >= std::min(s.Y, e.Y) &&
         ARow <= std::max(s.Y, e.Y);
}

bool TKxGrid::IsCellSelected(int ACol, int ARow) const {
  const TKxColumn *c = GetColumn(ACol);
  return (c && c->IsSelected()) || IsRowSelected(ARow) || IsInSelectedCells(ACol, ARow) || BlockContains(ACol, ARow);
}

void TKxGrid::DoResetSelection() {
  BeginUpdate();
  ClearSelectedRows();
  ResetColumnSelection();
  ResetBlockSelection();
  EndUpdate();
}

void TKxGrid::ExtendBlockSelection(int ACol, int ARow) {
  if (ColumnCount() == 0 || FRowCount == 0) return;
  const TCellCoord target{std::clamp(ACol, 0, ColumnCount() - 1), std::clamp(ARow, 0, FRowCount - 1)};
  BeginUpdate();
  if (FBlockSelecting) {
    FBlockSelectionEnd = target;
  } else {
    const TCellCoord cur{Col(), Row()};
    FBlockSelectionStart = cur.IsValid() ? cur : target;
    FBlockSelectionEnd = target;
    FBlockSelecting = true;
    FBlockSelected = false;
  }
  Invalidate();
  EndUpdate();
}

void TKxGrid::SelectAll() {
  SelectAllColumns();
  FSelectedAll = true;
}

void TKxGrid::SelectColumnByHeader(int ACol, bool ACtrl) {
  TKxColumn *c = GetColumn(ACol);
  if (!c) return;
  BeginUpdate();
  if (ACtrl) {
    c->SetIsSelected(!c->IsSelected());
  } else if (c->IsSelected()) {
    ResetColumnSelection();
  } else {
    ResetColumnSelection();
    c->SetIsSelected(true);
  }
  EndUpdate();
}

void TKxGrid::toggleRowRange(int AFrom, int ATo) {
  if (FRowCount == 0) return;
  const int step = ATo >= AFrom ? 1 : -1;
  BeginUpdate();
  for (int r = AFrom;; r += step) {
    if (r >= 0 && r < FRowCount) AddOrRemoveSelectedRowNum(r);
    if (r == ATo) break;
  }
  EndUpdate();
}

// --- width fitting ---------------------------------------------------------------------------------------

void TKxGrid::AdjustColWidthsByVisibleRows() {
  BeginUpdate();
  const QFontMetrics fm(font());
  const int n = ColumnCount();
  std::vector<int> widths(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) widths[size_t(i)] = fm.horizontalAdvance(FColumns[size_t(i)]->Header()) + FitMargin;
  if (FRowCount > 0 && FQuery && FQuery->active()) {
    const int top = TopRow();
    const int last = std::max(LastVisibleRow(), 10);
    const int cap = std::min(MaxFitWidth, width());
    std::vector<int> fields(static_cast<size_t>(n), -1);
    for (int i = 0; i < n; ++i) {
      const QString &name = FColumns[size_t(i)]->Fieldname();
      if (!name.isEmpty()) fields[size_t(i)] = FQuery->fieldIndex(name);
    }
    // A longer text than this cannot be narrower than the cap.
    const qsizetype maxChars = std::max(cap, 1) * 2;
    for (int r = top; r <= last && r < FRowCount; ++r) {
      FQuery->setRecNo(r + 1);
      for (int i = 0; i < n; ++i) {
        if (fields[size_t(i)] < 0) continue;
        QString t = FQuery->text(fields[size_t(i)]);
        if (t.size() > maxChars) t.truncate(maxChars);
        const int w = fm.horizontalAdvance(t) + FitMargin;
        widths[size_t(i)] = std::min(std::max(widths[size_t(i)], w), cap);
      }
    }
  }
  for (int i = 0; i < n; ++i) FColumns[size_t(i)]->SetWidth(widths[size_t(i)]);
  Invalidate();
  EndUpdate();
}

// --- search highlighting ---------------------------------------------------------------------------------

QVector<QRectF> TKxGrid::GetRegionForRange(const TKxColumn *AColumn, const QRectF &ARect, const QString &AText,
                                           int APos, int ALength, bool ARoundToWord) const {
  QVector<QRectF> res;
  const int n = int(AText.size());
  int from = std::clamp(APos, 0, n);
  int to = int(std::clamp<qint64>(qint64(APos) + std::max(0, ALength), from, n));
  if (ARoundToWord) {
    while (from > 0 && isWordChar(AText[from - 1])) --from;
    while (to < n && isWordChar(AText[to])) ++to;
  }
  if (to <= from) return res;
  QTextLayout layout(AText, AColumn ? AColumn->CellFont() : font());
  QTextOption o;
  o.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(o);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return res;
  }
  line.setLineWidth(1e7);
  layout.endLayout();
  const qreal total = line.naturalTextWidth();
  qreal shift = 0;
  const TTextAlign align = AColumn ? AColumn->HorzAlign() : taLeading;
  if (align == taTrailing) shift = ARect.width() - total;
  else if (align == taCenter) shift = (ARect.width() - total) / 2;
  const qreal x1 = line.cursorToX(from), x2 = line.cursorToX(to);
  const qreal top = ARect.top() + std::max<qreal>(0, (ARect.height() - line.height()) / 2);
  res.append(QRectF(ARect.left() + shift + std::min(x1, x2), top, std::abs(x2 - x1), line.height()));
  return res;
}

// --- painting --------------------------------------------------------------------------------------------

void TKxGrid::defaultDrawCell(QPainter *p, const QStyleOptionViewItem &opt, TKxColumn *c, int row, bool hasValue,
                              const TCellVal &v) {
  const QPalette &pal = palette();
  p->fillRect(opt.rect, alternatingRowColors() && (row & 1) ? pal.color(QPalette::AlternateBase) : pal.color(QPalette::Base));
  QColor hl = pal.color(QPalette::Highlight);
  if (currentIndex().isValid() && currentIndex().row() == row && DisplayColumn(currentIndex().column()) == c->Index()) {
    hl.setAlphaF(0.45f);
    p->fillRect(opt.rect, hl);
  } else if (opt.state & QStyle::State_Selected) {
    hl.setAlphaF(0.2f);
    p->fillRect(opt.rect, hl);
  }
  if (hasValue) c->DefaultDrawCell(p, TextBounds(opt.rect), row, v.Value, opt);
}

// --- current cell ----------------------------------------------------------------------------------------

bool TKxGrid::beforeSelectCell(const QModelIndex &AIndex) {
  if (!AIndex.isValid() || AIndex == currentIndex() || !OnSelectCell || FInSelectCell) return true;
  bool can = true;
  FInSelectCell = true;
  OnSelectCell(this, DisplayColumn(AIndex.column()), AIndex.row(), can);
  FInSelectCell = false;
  return can;
}

void TKxGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
  QTableView::currentChanged(current, previous);
  if (current != previous && OnSelChanged) OnSelChanged(this);
}

bool TKxGrid::viewportEvent(QEvent *event) {
  if (event->type() == QEvent::Leave && OnCellHover) OnCellHover(this, -1, -1, QPoint());
  return QTableView::viewportEvent(event);
}

bool TKxGrid::IsEditing() const { return FDelegate->FEditor != nullptr; }

void TKxGrid::CloseCellEditor(bool ACommit) {
  QWidget *ed = FDelegate->FEditor;
  if (!ed) return;
  if (ACommit) commitData(ed);
  closeEditor(ed, QAbstractItemDelegate::NoHint);
}

// --- mouse and keys --------------------------------------------------------------------------------------

bool TKxGrid::isNavKey(int AKey) {
  switch (AKey) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: return true;
    default: return false;
  }
}

void TKxGrid::mousePressEvent(QMouseEvent *e) {
  if (!FSelectionRules) {
    QTableView::mousePressEvent(e);
    return;
  }
  e->accept();
  const QModelIndex idx = indexAt(e->position().toPoint());
  if (!idx.isValid() || FRowCount == 0) return;
  const int col = DisplayColumn(idx.column()), row = idx.row();
  if (e->button() == Qt::RightButton) {
    SelectCell(col, row);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  const TCellCoord prev{Col(), Row()};
  SelectCell(col, row);
  scrollTo(idx);
  BeginUpdate();
  if (FSelectedAll) {
    DoResetSelection();
    FSelectedAll = false;
  }
  const Qt::KeyboardModifiers mods = e->modifiers();
  if (FRowSelectionMode) {
    if (mods & Qt::ControlModifier) AddOrRemoveSelectedRowNum(row);
    else if (mods & Qt::ShiftModifier) toggleRowRange(prev.Y >= 0 ? prev.Y : row, row);
  } else {
    if (mods & Qt::ShiftModifier) {
      // A new block spans from the cell that was current before the click, not from the clicked cell.
      if (!FBlockSelecting && prev.IsValid()) SetBlockSelection(prev, {col, row}, true, false);
      else ExtendBlockSelection(col, row);
    } else if (mods & Qt::ControlModifier) {
      AddSelectedCell({col, row});
    } else {
      ResetBlockSelection();
    }
  }
  EndUpdate();
  FMBLeftIsPressed = true;
}

void TKxGrid::mouseMoveEvent(QMouseEvent *e) {
  if (!(e->buttons() & Qt::LeftButton) && OnCellHover) {
    const TCellCoord c = CellAt(e->position().toPoint());
    OnCellHover(this, c.X, c.Y, e->globalPosition().toPoint());
  }
  if (!FSelectionRules || !FMBLeftIsPressed || !(e->buttons() & Qt::LeftButton)) {
    QTableView::mouseMoveEvent(e);
    return;
  }
  e->accept();
  if (FRowCount == 0 || ColumnCount() == 0) return;
  const TCellCoord c = clampedCellAt(e->position().toPoint());
  ExtendBlockSelection(c.X, c.Y);
  const TCellCoord end = FBlockSelectionEnd;
  if (end.IsValid()) scrollTo(FModel->index(end.Y, LogicalColumn(end.X)));
}

void TKxGrid::mouseReleaseEvent(QMouseEvent *e) {
  if (!FSelectionRules) {
    QTableView::mouseReleaseEvent(e);
    return;
  }
  e->accept();
  if (e->button() != Qt::LeftButton) return;
  FMBLeftIsPressed = false;
  if (FBlockSelecting) FBlockSelected = true;
}

void TKxGrid::mouseDoubleClickEvent(QMouseEvent *e) {
  if (!FSelectionRules) {
    QTableView::mouseDoubleClickEvent(e);
    return;
  }
  e->accept();
  const QModelIndex idx = indexAt(e->position().toPoint());
  if (!idx.isValid() || e->button() != Qt::LeftButton) return;
  emit doubleClicked(idx);
  if (editTriggers() & QAbstractItemView::DoubleClicked) edit(idx, QAbstractItemView::DoubleClicked, e);
}

void TKxGrid::keyPressEvent(QKeyEvent *e) {
  if (!FSelectionRules) {
    QTableView::keyPressEvent(e);
    return;
  }
  if (e->matches(QKeySequence::SelectAll)) {
    SelectAll();
    e->accept();
    return;
  }
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    DoResetSelection();
    FSelectedAll = false;
    e->accept();
    return;
  }
  if (!isNavKey(e->key())) {
    QTableView::keyPressEvent(e);
    return;
  }
  BeginUpdate();
  if (FSelectedAll) {
    DoResetSelection();
    FSelectedAll = false;
  }
  const int row = Row(), col = Col();
  const int vis = std::max(1, VisibleRows());
  if (!(e->modifiers() & Qt::ShiftModifier)) {
    ResetBlockSelection();
  } else if (row >= 0) {
    if (FRowSelectionMode) {
      switch (e->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down: AddOrRemoveSelectedRowNum(row); break;
        case Qt::Key_PageUp:
          toggleRowRange(row - vis + 1, row);
          SetRow(std::max(0, row - 1));
          ScrollToCurrent();
          break;
        case Qt::Key_PageDown:
          toggleRowRange(row, row + vis - 1);
          SetRow(std::min(FRowCount - 1, row + 1));
          ScrollToCurrent();
          break;
        default: break;
      }
    } else {
      int dc = 0, dr = 0;
      switch (e->key()) {
        case Qt::Key_Left: dc = -1; break;
        case Qt::Key_Right: dc = 1; break;
        case Qt::Key_Up: dr = -1; break;
        case Qt::Key_Down: dr = 1; break;
        case Qt::Key_PageUp: dr = -vis + 1; break;
        case Qt::Key_PageDown: dr = vis - 1; break;
        default: break;
      }
      ExtendBlockSelection(col + dc, row + dr);
    }
  }
  EndUpdate();
  QTableView::keyPressEvent(e);
}

void TKxGrid::keyReleaseEvent(QKeyEvent *e) {
  if (FSelectionRules && isNavKey(e->key()) && FBlockSelecting) FBlockSelected = true;
  QTableView::keyReleaseEvent(e);
}

QModelIndex TKxGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  const QModelIndex cur = currentIndex();
  if ((cursorAction == MovePageUp || cursorAction == MovePageDown) && cur.isValid() && FRowCount > 0) {
    // A page is the rows on screen less one, so that one row of the old page stays in sight.
    const int step = std::max(1, VisibleRows() - 1);
    const int r = std::clamp(cur.row() + (cursorAction == MovePageUp ? -step : step), 0, FRowCount - 1);
    return FModel->index(r, cur.column());
  }
  return QTableView::moveCursor(cursorAction, modifiers);
}

}  // namespace qrv
