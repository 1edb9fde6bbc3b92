#pragma once
// The database systems the program knows: driver IDs and their display names, and the small
// text helpers around them that every part of the program shares.
#include <QList>
#include <QPair>
#include <QString>

namespace qrv {

// Driver ID = display name, in the order of the tree's RDBMS level.
const QList<QPair<QString, QString>> &AllDrivers();

// The ID whose display name equals the argument ignoring case; otherwise the argument with leading
// "[" and trailing "]" characters removed.
QString RDBMSNameToDriverID(const QString &name);
// The display name of an ID, ignoring case; empty when the ID is unknown.
QString DriverIDToRDBMSName(const QString &driverId);

// Removes every "[FireDAC]" and "[Phys]", ignoring case.
QString NormalizeErrorText(const QString &text);
// "\r\n[Error Code: %d]"
QString AddErrorCode(int code);

// A SELECT of the first rows of a table in the dialect of the driver.
QString BuildFirstRowsSelect(const QString &driverId, const QString &table, int count);

// Error codes the program appends with AddErrorCode.
constexpr int ErrCodeCrossDbTransfer = 1001;
constexpr int ErrCodeConnectionFailed = 1002;

}  // namespace qrv
