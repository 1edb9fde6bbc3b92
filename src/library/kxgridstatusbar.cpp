#include "library/kxgridstatusbar.h"

namespace qrv {

namespace {

QLabel *makeLabel(QWidget *AParent, int AWidth) {
  auto *l = new QLabel(AParent);
  l->setWordWrap(false);
  l->setTextFormat(Qt::PlainText);
  if (AWidth > 0) l->setFixedWidth(AWidth);
  return l;
}

// A count as shown in the status bar: rounded to a whole number, thousands grouped.
QString wholeWithThousands(double AValue, const QLocale &ALocale) {
  QLocale loc = ALocale;
  loc.setNumberOptions(loc.numberOptions() & ~QLocale::OmitGroupSeparator);
  return loc.toString(AValue, 'f', 0);
}

}  // namespace

TKxGridStatusBar::TKxGridStatusBar(QWidget *AOwner) : QStatusBar(AOwner) {
  setSizeGripEnabled(false);
  setContentsMargins(4, 0, 4, 0);
  lbSimpleText = makeLabel(this, 0);
  lbFieldType = makeLabel(this, 150);
  lbFields = makeLabel(this, 120);
  lbRows = makeLabel(this, 150);
  addWidget(lbSimpleText);
  addPermanentWidget(lbFieldType);
  addPermanentWidget(lbFields);
  addPermanentWidget(lbRows);
}

QString TKxGridStatusBar::RowsText(double ARow, double ARowCount, const QLocale &ALocale) {
  return QStringLiteral("Row %1 of %2").arg(wholeWithThousands(ARow, ALocale), wholeWithThousands(ARowCount, ALocale));
}

QString TKxGridStatusBar::FieldsText(int AField, int AFieldCount) {
  return QStringLiteral("Col %1 of %2").arg(AField).arg(AFieldCount);
}

void TKxGridStatusBar::SetRow(int AValue) {
  FRow = AValue;
  renderRows();
}

void TKxGridStatusBar::SetRowCount(int AValue) {
  FRowCount = AValue;
  renderRows();
}

void TKxGridStatusBar::SetField(int AValue) {
  FField = AValue;
  renderFields();
}

void TKxGridStatusBar::SetFieldCount(int AValue) {
  FFieldCount = AValue;
  renderFields();
}

void TKxGridStatusBar::SetSimpleText(const QString &AValue) {
  FSimpleText = AValue;
  lbSimpleText->setText(AValue);
}

void TKxGridStatusBar::renderRows() { lbRows->setText(RowsText(FRow, FRowCount)); }

void TKxGridStatusBar::renderFields() {
  lbFields->setText(FieldsText(FField, FFieldCount));
  lbFieldType->setText(FFieldType);
}

}  // namespace qrv
