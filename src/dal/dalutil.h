#pragma once
// Small helpers over the driver interface: fetching a whole result, running a text for its effect,
// the command timer shared by the drivers, and joining a column of a data set.
#include <QString>
#include <QVariant>
#include <atomic>
#include <functional>

#include "dal/connection.h"
#include "dal/memtable.h"

namespace qrv::dal {

// A text as an SQL string literal: in single quotes, each quote doubled; with backslashEscapes (for a
// server that reads "\" as an escape, as MySQL does by default) each backslash doubled as well.
QString SqlQuoted(const QString &text, bool backslashEscapes = false);
// The inside of such a literal, the quotes doubled: for a text put between quotes already written.
QString SqlQuoteDoubled(const QString &text);

// Reads every row of the cursor's current result into a new RowSet; nullptr with err set on failure.
RowSetPtr FetchAll(Cursor &cursor, DbError *err);

// Executes a text that may hold several statements and walks all of its results, discarding rows.
bool ExecAll(Connection &conn, const QString &sql, DbError *err);

// The first result with rows of a text, fetched whole; nullptr with err set on failure or when the
// text returns no rows (err then says so).
RowSetPtr QueryRows(Connection &conn, const QString &sql, DbError *err);

// The first column of the first row of a text; an invalid QVariant when there is none or on error.
QVariant QueryValue(Connection &conn, const QString &sql, DbError *err);

// Starting at the table's current record and moving to its end: quote + the field's text + quote +
// separator for each record, the final separator removed. Closes the table when closeAfter is set.
// Empty when no records remain.
QString FieldValuesToList(MemTable &table, const QString &separator, bool closeAfter, const QString &quote,
                          int fieldIndex);

// Runs callbacks at deadlines on one background thread (the execution time-out of commands).
class Watchdog {
 public:
  static Watchdog &instance();
  // Calls fn on the watchdog thread after ms milliseconds unless disarmed first. Returns an id > 0.
  quint64 arm(int ms, std::function<void()> fn);
  // After this returns the callback is not running and will not run. Unknown ids are ignored.
  void disarm(quint64 id);

 private:
  Watchdog();
  struct Impl;
  Impl *d;
};

// The run state of a connection's command, shared by its cursor and by cancel() from other threads:
// whether a command runs, whether it was cancelled or timed out, and its time-out timer.
class CommandState {
 public:
  // Marks a command as running and arms the time-out (ms > 0), which calls onTimeout.
  void begin(int timeoutMs, std::function<void()> onTimeout);
  // Marks the command as finished and disarms the timer.
  void end();
  bool running() const { return running_.load(); }
  // Records a cancel request; true when a command runs (the driver should stop it on the server).
  bool requestCancel();
  bool cancelled() const { return cancelled_.load(); }
  bool timedOut() const { return timedOut_.load(); }
  int timeoutMs() const { return timeoutMs_; }
  // Rewrites err as a cancel or time-out error when the command was stopped by one; returns true then.
  bool explainStop(DbError *err) const;

 private:
  std::atomic<bool> running_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> timedOut_{false};
  int timeoutMs_ = 0;
  quint64 timer_ = 0;
};

// Error texts shared by the drivers.
QString CancelledText();
QString TimedOutText(int ms);
void SetError(DbError *err, const QString &message, int code = 0, const QString &sqlState = QString(),
              DbErrorKind kind = DbErrorKind::Other, int nativeCode = 0);

}  // namespace qrv::dal
