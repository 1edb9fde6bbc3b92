#include "dal/fieldtypes.h"

namespace qrv::dal {

static const char *const kNames[FieldTypeCount] = {
    "Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float", "Currency", "BCD", "Date", "Time",
    "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo", "ParadoxOle", "DBaseOle",
    "TypedBinary", "Cursor", "FixedChar", "WideString", "Largeint", "ADT", "Array", "Reference", "DataSet",
    "OraBlob", "OraClob", "Variant", "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd", "FixedWideChar",
    "WideMemo", "OraTimeStamp", "OraInterval", "LongWord", "Shortint", "Byte", "Extended", "Connection",
    "Params", "Stream", "TimeStampOffset", "Object", "Single"};

QString FieldTypeName(FieldType t) {
  const int i = int(t);
  return i >= 0 && i < FieldTypeCount ? QString::fromLatin1(kNames[i]) : QStringLiteral("Unknown");
}

FieldType FieldTypeFromName(const QString &name) {
  for (int i = 0; i < FieldTypeCount; ++i)
    if (name.compare(QLatin1String(kNames[i]), Qt::CaseInsensitive) == 0) return FieldType(i);
  return FieldType::Unknown;
}

StorageKind StorageOf(FieldType t) {
  switch (t) {
    case FieldType::Boolean: case FieldType::Smallint: case FieldType::Integer: case FieldType::Word:
    case FieldType::AutoInc: case FieldType::Largeint: case FieldType::LongWord: case FieldType::Shortint:
    case FieldType::Byte:
      return StorageKind::Int64;
    case FieldType::Float: case FieldType::Currency: case FieldType::Extended: case FieldType::Single:
      return StorageKind::Double;
    case FieldType::Bytes: case FieldType::VarBytes: case FieldType::Blob: case FieldType::Graphic:
    case FieldType::TypedBinary: case FieldType::OraBlob: case FieldType::ParadoxOle: case FieldType::DBaseOle:
      return StorageKind::Bytes;
    default:
      return StorageKind::Text;
  }
}

bool IsBinaryType(FieldType t) {
  switch (t) {
    case FieldType::Bytes: case FieldType::VarBytes: case FieldType::Blob: case FieldType::Graphic:
    case FieldType::TypedBinary: case FieldType::OraBlob:
      return true;
    default:
      return false;
  }
}

bool IsRightAlignedType(FieldType t) {
  switch (t) {
    case FieldType::Smallint: case FieldType::Integer: case FieldType::Word: case FieldType::Float:
    case FieldType::Currency: case FieldType::BCD: case FieldType::AutoInc: case FieldType::Largeint:
    case FieldType::LongWord: case FieldType::Shortint: case FieldType::Byte: case FieldType::Extended:
    case FieldType::Single:
      return true;
    default:
      return false;
  }
}

bool HasLengthInStatus(FieldType t) {
  switch (t) {
    case FieldType::String: case FieldType::Bytes: case FieldType::VarBytes: case FieldType::Blob:
    case FieldType::Memo: case FieldType::Graphic: case FieldType::FmtMemo: case FieldType::ParadoxOle:
    case FieldType::DBaseOle: case FieldType::TypedBinary: case FieldType::WideString: case FieldType::ADT:
    case FieldType::Array:
      return true;
    default:
      return false;
  }
}

bool HasScaleInStatus(FieldType t) { return t == FieldType::BCD || t == FieldType::FMTBcd; }

}  // namespace qrv::dal
