#pragma once
// The status bar under a data grid: the current row and the row count, the current column and the column
// count, the current field's data type, and a free text on the left.
#include <QLabel>
#include <QLocale>
#include <QStatusBar>

namespace qrv {

class TKxGridStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit TKxGridStatusBar(QWidget *AOwner = nullptr);

  int Row() const { return FRow; }
  void SetRow(int AValue);
  int RowCount() const { return FRowCount; }
  void SetRowCount(int AValue);
  int Field() const { return FField; }
  void SetField(int AValue);
  int FieldCount() const { return FFieldCount; }
  void SetFieldCount(int AValue);
  // Shown with the next assignment of Field or FieldCount.
  QString FieldType() const { return FFieldType; }
  void SetFieldType(const QString &AValue) { FFieldType = AValue; }
  QString SimpleText() const { return FSimpleText; }
  void SetSimpleText(const QString &AValue);

  // "Row %.0n of %.0n": whole numbers with the locale's thousands separator.
  static QString RowsText(double ARow, double ARowCount, const QLocale &ALocale = QLocale());
  static QString FieldsText(int AField, int AFieldCount);

  QLabel *lbRows = nullptr;
  QLabel *lbFields = nullptr;
  QLabel *lbFieldType = nullptr;
  QLabel *lbSimpleText = nullptr;

 private:
  void renderRows();
  void renderFields();

  int FRow = 0;
  int FRowCount = 0;
  int FField = 0;
  int FFieldCount = 0;
  QString FFieldType;
  QString FSimpleText;
};

}  // namespace qrv
