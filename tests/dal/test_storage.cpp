// Storage formats: exact round trips in every format, pretty printing, cut-off and foreign files.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <limits>

#include "dal/storage_formats.h"
#include "meta_fixtures.h"

using namespace qrv::dal;
using qrvtest::Fld;

namespace {

// Every storage kind with the values that break naive formats.
RowSetPtr TrickyRows() {
  FieldDefs defs{Fld("id", FieldType::Largeint), Fld("flag", FieldType::Boolean), Fld("f", FieldType::Float),
                 Fld("amount", FieldType::FMTBcd), Fld("d", FieldType::Date), Fld("ts", FieldType::DateTime),
                 Fld("name", FieldType::WideString), Fld("data", FieldType::Blob)};
  defs[0].readOnly = true;
  defs[0].autoInc = true;
  defs[0].nullable = false;
  defs[0].originSchema = "public";
  defs[0].originTable = "t \"x\"";
  defs[0].originColumn = "id";
  defs[3].precision = 24;
  defs[3].scale = 4;
  defs[6].size = 50;
  auto rs = std::make_shared<RowSet>(defs);
  const double inf = std::numeric_limits<double>::infinity();
  struct R {
    qint64 id;
    int flag;  // -1 null
    double f;
    const char *amount, *d, *ts;
    QByteArray name, data;  // isNull() = NULL
  } rows[] = {
      {0, 1, 0.1, "12345678901234567890.1234", "2024-02-29", "2024-02-29 23:59:59.123", "", QByteArray("", 0)},
      {-1, 0, -0.0, "-0.0001", "1900-01-01", "1970-01-01 00:00:00", "O'Brien \"q\" <tag> & ]]> \\ /",
       QByteArray("\x00\x01\xff", 3)},
      {std::numeric_limits<qint64>::max(), -1, std::nan(""), nullptr, nullptr, nullptr, "line1\r\nline2\rend",
       QByteArray()},
      {std::numeric_limits<qint64>::min(), 1, inf, "0", "2000-01-01", nullptr, "tab\tend  \x01\x1f",
       QByteArray(1000, '\xab')},
      {(qint64(1) << 53) + 1, 0, -inf, "1e5", nullptr, nullptr, "\xc3\xa9t\xc3\xa9 \xf0\x9f\x8e\x89 \xef\xbf\xbf",
       QByteArray("x")},
      {42, 1, 5e-324, "7", nullptr, nullptr, QByteArray("\xff\xfe not utf-8", 13), QByteArray()},
      {7, 1, 1e308, "8", nullptr, nullptr, QByteArray(), QByteArray()},
  };
  for (const R &r : rows) {
    rs->appendInt(0, r.id);
    if (r.flag < 0) rs->appendNull(1);
    else rs->appendInt(1, r.flag);
    rs->appendDouble(2, r.f);
    for (int c = 3; c <= 5; ++c) {
      const char *v = c == 3 ? r.amount : c == 4 ? r.d : r.ts;
      if (v) rs->appendUtf8(c, v, qsizetype(strlen(v)));
      else rs->appendNull(c);
    }
    if (r.name.isNull()) rs->appendNull(6);
    else rs->appendUtf8(6, r.name.constData(), r.name.size());
    if (r.data.isNull()) rs->appendNull(7);
    else rs->appendBytes(7, r.data.constData(), r.data.size());
    rs->endRow();
  }
  return rs;
}

void ExpectEqualRows(const RowSet &a, const RowSet &b) {
  ASSERT_EQ(a.fieldCount(), b.fieldCount());
  for (int c = 0; c < a.fieldCount(); ++c) {
    const FieldDef &x = a.fields()[c], &y = b.fields()[c];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.type, y.type) << x.name.toStdString();
    EXPECT_EQ(x.size, y.size);
    EXPECT_EQ(x.precision, y.precision);
    EXPECT_EQ(x.scale, y.scale);
    EXPECT_EQ(x.nullable, y.nullable);
    EXPECT_EQ(x.readOnly, y.readOnly);
    EXPECT_EQ(x.autoInc, y.autoInc);
    EXPECT_EQ(x.originSchema, y.originSchema);
    EXPECT_EQ(x.originTable, y.originTable);
    EXPECT_EQ(x.originColumn, y.originColumn);
  }
  ASSERT_EQ(a.rowCount(), b.rowCount());
  for (qsizetype r = 0; r < a.rowCount(); ++r) {
    for (int c = 0; c < a.fieldCount(); ++c) {
      ASSERT_EQ(a.isNull(r, c), b.isNull(r, c)) << "row " << r << " col " << c;
      if (a.isNull(r, c)) continue;
      switch (a.storage(c)) {
        case StorageKind::Int64: EXPECT_EQ(a.intValue(r, c), b.intValue(r, c)) << r << "," << c; break;
        case StorageKind::Double: {
          const double x = a.doubleValue(r, c), y = b.doubleValue(r, c);
          EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << r << "," << c << ": " << x << " vs " << y;
          break;
        }
        default: EXPECT_EQ(a.utf8(r, c).toByteArray(), b.utf8(r, c).toByteArray()) << r << "," << c;
      }
    }
  }
}

const char *Name(StorageFormat f) {
  return f == StorageFormat::Json ? "JSON" : f == StorageFormat::Xml ? "XML" : "binary";
}

class StorageRoundTrip : public ::testing::TestWithParam<std::tuple<StorageFormat, bool>> {};

}  // namespace

TEST_P(StorageRoundTrip, LoadsBackEqualRows) {
  const auto [format, pretty] = GetParam();
  MemTable t(TrickyRows());
  QByteArray data;
  QString err;
  ASSERT_TRUE(SaveToBytes(t, format, pretty, &data, &err)) << err.toStdString();
  RowSetPtr back = LoadFromBytes(data, format, &err);
  ASSERT_TRUE(back) << Name(format) << ": " << err.toStdString();
  ExpectEqualRows(*t.rows(), *back);

  if (format != StorageFormat::Binary) {
    // Pretty output breaks lines between rows; compact output keeps every row on one line with others.
    const int lines = data.count('\n');
    if (pretty) EXPECT_GT(lines, int(t.recordCount()));
    else EXPECT_LE(lines, 2);
  }

  // Through a file, into a table.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("data.out"));
  ASSERT_TRUE(SaveToFile(t, path, format, pretty, &err)) << err.toStdString();
  MemTable loaded;
  ASSERT_TRUE(LoadTableFromFile(loaded, path, format, &err)) << err.toStdString();
  ExpectEqualRows(*t.rows(), *loaded.rows());
}

INSTANTIATE_TEST_SUITE_P(Formats, StorageRoundTrip,
                         ::testing::Combine(::testing::Values(StorageFormat::Json, StorageFormat::Xml,
                                                              StorageFormat::Binary),
                                            ::testing::Bool()));

TEST(Storage, EmptyTablesAndSavedEditsRoundTrip) {
  for (StorageFormat format : {StorageFormat::Json, StorageFormat::Xml, StorageFormat::Binary}) {
    MemTable empty;
    empty.createDataSet(FieldDefs{Fld("a", FieldType::Integer)});
    QByteArray data;
    ASSERT_TRUE(SaveToBytes(empty, format, false, &data));
    QString err;
    RowSetPtr back = LoadFromBytes(data, format, &err);
    ASSERT_TRUE(back) << Name(format) << ": " << err.toStdString();
    EXPECT_EQ(back->rowCount(), 0);
    EXPECT_EQ(back->fieldCount(), 1);

    // Posted edits are saved, records marked deleted are not.
    MemTable t(TrickyRows());
    t.setRecNo(1);
    ASSERT_TRUE(t.setText(6, QStringLiteral("edited")));
    ASSERT_TRUE(t.post());
    t.setRecNo(2);
    ASSERT_TRUE(t.deleteRecord());
    ASSERT_TRUE(SaveToBytes(t, format, true, &data));
    back = LoadFromBytes(data, format, &err);
    ASSERT_TRUE(back) << Name(format) << ": " << err.toStdString();
    ASSERT_EQ(back->rowCount(), t.rows()->rowCount() - 1);
    EXPECT_EQ(back->text(0, 6), "edited");
    EXPECT_EQ(back->intValue(1, 0), std::numeric_limits<qint64>::max());
  }
}

TEST(Storage, TruncatedFilesAreReportedAsTruncated) {
  MemTable t(TrickyRows());
  for (StorageFormat format : {StorageFormat::Json, StorageFormat::Xml, StorageFormat::Binary}) {
    for (bool pretty : {false, true}) {
      QByteArray data;
      ASSERT_TRUE(SaveToBytes(t, format, pretty, &data));
      // Cut after the marker, in the field list, in the rows and just before the end.
      const qsizetype tail = format == StorageFormat::Json && pretty ? 2 : 1;
      for (qsizetype cut : {qsizetype(70), data.size() / 5, data.size() / 2, data.size() - 7, data.size() - tail - 1}) {
        QString err;
        EXPECT_FALSE(LoadFromBytes(data.left(cut), format, &err)) << Name(format) << " cut at " << cut;
        EXPECT_TRUE(err.contains(QLatin1String("truncated"))) << Name(format) << " cut at " << cut << ": "
                                                              << err.toStdString();
      }
    }
  }
}

TEST(Storage, ForeignFilesGiveClearErrors) {
  MemTable t(TrickyRows());
  QByteArray json, xml, bin;
  ASSERT_TRUE(SaveToBytes(t, StorageFormat::Json, false, &json));
  ASSERT_TRUE(SaveToBytes(t, StorageFormat::Xml, false, &xml));
  ASSERT_TRUE(SaveToBytes(t, StorageFormat::Binary, false, &bin));
  struct Case {
    StorageFormat format;
    QByteArray data;
  } cases[] = {
      {StorageFormat::Json, ""},        {StorageFormat::Json, "hello"},      {StorageFormat::Json, "{\"a\": 1}"},
      {StorageFormat::Json, xml},       {StorageFormat::Json, bin},          {StorageFormat::Xml, ""},
      {StorageFormat::Xml, "<html/>"},  {StorageFormat::Xml, json},          {StorageFormat::Xml, bin},
      {StorageFormat::Binary, ""},      {StorageFormat::Binary, "PK\x03\x04 zip"}, {StorageFormat::Binary, json},
  };
  for (const Case &c : cases) {
    QString err;
    EXPECT_FALSE(LoadFromBytes(c.data, c.format, &err)) << Name(c.format) << ": " << c.data.left(20).toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("not a data set"))) << Name(c.format) << ": " << err.toStdString();
  }
  // Damaged content inside a file of the right kind names the problem.
  QByteArray badJson = json;
  badJson.replace("\"type\": \"Largeint\"", "\"type\": \"Gizmo\"");
  QString err;
  EXPECT_FALSE(LoadFromBytes(badJson, StorageFormat::Json, &err));
  EXPECT_TRUE(err.contains(QLatin1String("Gizmo"))) << err.toStdString();
  QByteArray extra = bin + "x";
  EXPECT_FALSE(LoadFromBytes(extra, StorageFormat::Binary, &err));
  EXPECT_FALSE(LoadFromFile(QStringLiteral("/nonexistent/dir/file.json"), StorageFormat::Json, &err));
  EXPECT_TRUE(err.contains(QLatin1String("file.json")));
}

TEST(Storage, FormatFollowsExtensionIgnoringCase) {
  struct Case {
    const char *file;
    StorageFormat format;
  } cases[] = {{"data.Json", StorageFormat::Json}, {"/a/b.XML", StorageFormat::Xml},
               {"data.csv", StorageFormat::Binary}, {"data.txt", StorageFormat::Binary},
               {"data.json.bak", StorageFormat::Binary}, {"noext", StorageFormat::Binary}};
  for (const Case &c : cases) EXPECT_EQ(StorageFormatForFile(QString::fromUtf8(c.file)), c.format) << c.file;
}
