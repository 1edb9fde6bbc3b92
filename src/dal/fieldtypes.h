#pragma once
#include <QString>
#include <QVector>

namespace qrv::dal {

// Field data types, in the order and under the names the result grid and the storage formats use.
enum class FieldType : quint8 {
  Unknown, String, Smallint, Integer, Word, Boolean, Float, Currency, BCD, Date, Time, DateTime, Bytes,
  VarBytes, AutoInc, Blob, Memo, Graphic, FmtMemo, ParadoxOle, DBaseOle, TypedBinary, Cursor, FixedChar,
  WideString, Largeint, ADT, Array, Reference, DataSet, OraBlob, OraClob, Variant, Interface, IDispatch,
  Guid, TimeStamp, FMTBcd, FixedWideChar, WideMemo, OraTimeStamp, OraInterval, LongWord, Shortint, Byte,
  Extended, Connection, Params, Stream, TimeStampOffset, Object, Single
};
constexpr int FieldTypeCount = int(FieldType::Single) + 1;

QString FieldTypeName(FieldType t);
// The type of a name given by FieldTypeName (ignoring case); Unknown when there is none.
FieldType FieldTypeFromName(const QString &name);

// How values of a type are held in memory.
enum class StorageKind : quint8 {
  Int64,   // Boolean, integer kinds
  Double,  // Float, Single, Extended, Currency
  Text,    // UTF-8 text: strings, memos, exact numerics (BCD/FMTBcd), dates and times in ISO form, GUIDs
  Bytes    // binary values
};
StorageKind StorageOf(FieldType t);

bool IsBinaryType(FieldType t);        // shown as "BINARY DATA", never searched
bool IsRightAlignedType(FieldType t);  // numeric kinds (FMTBcd is not among them)
bool HasLengthInStatus(FieldType t);   // status bar shows "(size)"
bool HasScaleInStatus(FieldType t);    // status bar shows "(precision X scale)"

struct FieldDef {
  QString name;
  FieldType type = FieldType::String;
  int size = 0;       // characters or bytes where the type has a length
  int precision = 0;  // exact numerics
  int scale = 0;
  bool nullable = true;
  bool readOnly = false;
  bool autoInc = false;
  // Where the value comes from, when the driver knows it (for saving edits back).
  QString originCatalog;
  QString originSchema;
  QString originTable;
  QString originColumn;
  // The driver's own ids of the origin where the result names it only by id (PostgreSQL: table OID
  // and column number); Connection::resolveOrigins() turns them into the names above.
  quint32 originTableId = 0;
  int originColumnId = 0;
};
using FieldDefs = QVector<FieldDef>;

}  // namespace qrv::dal
