#pragma once
// The driver-neutral interface every database driver implements.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <memory>

#include "dal/rowset.h"

struct sqlite3;

namespace qrv::dal {

// An error of a server operation: the message as the server gives it, and a numeric code
// (the native code; SQLSTATE, where there is one, is kept in sqlState and in the message).
enum class DbErrorKind {
  Other,
  ObjectNotFound,    // a table, schema, database or other object that does not exist (code 1501)
  Cancelled,         // stopped by cancel()
  TimedOut,          // stopped by the command execution time-out
  ConnectFailed,     // the connection could not be opened (bad host, port, password, time-out)
  ConnectionLost,    // the server went away; the connection is closed
  NotSupported       // a driver this build cannot reach
};

struct DbError {
  QString message;
  int code = 0;
  QString sqlState;
  int nativeCode = 0;  // the server's or library's own numeric code, where it has one
  DbErrorKind kind = DbErrorKind::Other;
  void clear() { *this = DbError(); }
  bool isError() const { return !message.isEmpty(); }
  explicit operator bool() const { return isError(); }
};

// Code of "object not found" in metadata requests.
constexpr int ErrObjectNotFound = 1501;

// Connection parameters: "key=value" pairs, keys matched ignoring case, order kept.
class ConnParams {
 public:
  QString value(const QString &key, const QString &def = QString()) const;
  bool contains(const QString &key) const;
  void set(const QString &key, const QString &value);
  void remove(const QString &key);
  const QList<QPair<QString, QString>> &items() const { return items_; }

 private:
  QList<QPair<QString, QString>> items_;
};

// One executed command: walks its results one after another.
class Cursor {
 public:
  virtual ~Cursor() = default;
  // True when the current result returns rows (even none).
  virtual bool hasRows() const = 0;
  virtual const FieldDefs &fields() const = 0;
  // Rows changed by the current result's statement; -1 when unknown or not applicable.
  virtual qint64 rowsAffected() const = 0;
  // Appends up to maxRows rows (all when maxRows < 0) of the current result to out, whose fields must be
  // fields(). Returns the number appended, or -1 with err set.
  virtual qint64 fetch(RowSet &out, qint64 maxRows, DbError *err) = 0;
  // Moves to the next result; false when there is none (err set when that failed).
  virtual bool nextResult(DbError *err) = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  // Base driver ID (one of the driver table: PG, MySQL, SQLite, ...).
  virtual QString driverId() const = 0;
  virtual bool open(const ConnParams &params, DbError *err) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  // Executes a text (several statements where the server takes them in one text).
  virtual std::unique_ptr<Cursor> execute(const QString &sql, DbError *err) = 0;
  // Runs one statement whose values travel apart from its text: $1, $2, ... stand for params (texts).
  // A server that keeps prepared statements plans each text once per connection and then only runs it,
  // which is what a refresh asking the same catalog question for thousands of tables wants. By
  // default the values are written into the text as this server's literals ($n inside quotes stays).
  virtual std::unique_ptr<Cursor> executeParams(const QString &sql, const QStringList &params, DbError *err);
  // Stops the running command on the server. May be called from any thread at any moment.
  virtual void cancel() = 0;
  // Execution time-out of each command in milliseconds; 0 for none.
  virtual void setCommandTimeout(int ms) { commandTimeoutMs_ = ms; }
  int commandTimeout() const { return commandTimeoutMs_; }

  // Server messages (notices, warnings, info records) of the last command; the list is emptied.
  virtual QStringList takeMessages() {
    QStringList m;
    m.swap(messages_);
    return m;
  }
  virtual QString clientVersion() const { return QString(); }
  virtual QString serverVersion() const { return QString(); }
  // The SQLite handle of an SQLite connection, else nullptr.
  virtual ::sqlite3 *sqliteHandle() const { return nullptr; }

  // Fills the origin names (schema, table, column) and nullability of fields that the result gave only
  // by id. Runs a catalog query: call it when no cursor of this connection is in use.
  virtual bool resolveOrigins(FieldDefs &fields, DbError *err) {
    Q_UNUSED(fields);
    Q_UNUSED(err);
    return true;
  }
  // A value as an SQL literal of this server: NULL, a number, a quoted string with the quotes (and,
  // where the server treats them so, backslashes) escaped, or a binary literal for a QByteArray.
  virtual QString quoteLiteral(const QVariant &value) const;
  // A name quoted as an identifier of this server ("name", or `name` for MySQL).
  virtual QString quoteIdentifier(const QString &name) const;

  // What the metadata layer remembers between its requests on this connection; a driver drops it
  // whenever the connection is closed or opened again.
  std::shared_ptr<void> &metadataMemo() { return metadataMemo_; }

 protected:
  QStringList messages_;
  int commandTimeoutMs_ = 0;
  std::shared_ptr<void> metadataMemo_;
};

using ConnectionPtr = std::unique_ptr<Connection>;

}  // namespace qrv::dal
