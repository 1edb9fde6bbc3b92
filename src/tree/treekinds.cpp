#include "tree/treekinds.h"

namespace qrv {

namespace {
using namespace TreeKind;
constexpr int kObj = TreeLevel::Object;
constexpr int kDet = TreeLevel::Detail;

const QList<TreeKindInfo> kKinds = {
    {Category, "category", -1},
    {Rdbms, "RDBMS", TreeLevel::Rdbms},
    {Connection, "connection", TreeLevel::Connection},
    {Database, "database", TreeLevel::Database},
    {Schema, "schema", TreeLevel::Schema},
    {Table, "table", kObj},
    {View, "view", kObj},
    {Synonym, "synonym", kObj},
    {LocalTempTable, "local temporary table", kObj},
    {OtherTable, "table", kObj},
    {Column, "table column", kDet},
    {TableIndex, "index", kDet},
    {Routine, "procedure or function", kObj},
    {Sequence, "sequence", kObj},
    {Parameter, "parameter", kDet},
    {Key, "key", kDet},
    {RoutineColumn, "result column", kDet},
    {Constraint, "constraint", kDet},
    {TableTrigger, "trigger", kDet},
    {ViewColumn, "view column", kDet},
    {ViewIndex, "view index", kDet},
    {ViewTrigger, "view trigger", kDet},
    {RoutineIndex, "routine index", kDet},
    {PlanGuide, "plan guide", kObj},
    {TableType, "table type", kObj},
    {ExternalTable, "external table", kObj},
    {MaterializedView, "materialized view", kObj},
    {Package, "package", kObj},
    {PackageBody, "package body", TreeLevel::ObjectCategory},
    {PackageRoutine, "package routine", TreeLevel::ObjectCategory},
};

const TreeKindInfo *find(int type) {
  for (const TreeKindInfo &k : kKinds)
    if (k.type == type) return &k;
  return nullptr;
}
}  // namespace

const QList<TreeKindInfo> &TreeKinds() { return kKinds; }

bool IsKnownTreeKind(int type) { return find(type) != nullptr; }

QString TreeKindName(int type) {
  const TreeKindInfo *k = find(type);
  return k ? QString::fromLatin1(k->name) : QString();
}

int TreeKindLevel(int type) {
  const TreeKindInfo *k = find(type);
  return k ? k->level : -1;
}

bool IsTableKind(int type) {
  return type == TreeKind::Table || type == TreeKind::LocalTempTable || type == TreeKind::OtherTable ||
         type == TreeKind::ExternalTable;
}

bool IsRoutineKind(int type) {
  return type == TreeKind::Routine || type == TreeKind::Package || type == TreeKind::PackageBody ||
         type == TreeKind::PackageRoutine;
}

const QStringList &SchemaCategoryNames() {
  namespace C = TreeCategory;
  static const QStringList names = {C::Tables,     C::Views,      C::ProceduresFunctions, C::Synonyms,
                                    C::Sequences,  C::GeneratorsSequences, C::PlanGuides, C::TableTypes,
                                    C::ExternalTable, C::Packages};
  return names;
}

const QStringList &ObjectCategoryNames() {
  namespace C = TreeCategory;
  static const QStringList names = {C::Columns,     C::Indexes,  C::Keys, C::Parameters,
                                    C::Constraints, C::Triggers, C::Index};
  return names;
}

QString CategoryInfo(qint64 childCount) { return QStringLiteral(" (%1)").arg(childCount); }

}  // namespace qrv
