#pragma once
// The script engine: runs a multi-statement text on a connection, cut the way the database system's own
// tools cut it, and reports everything through one output callback. Used by the console runner and by
// the query tab's script mode.
#include <QList>
#include <QString>
#include <atomic>
#include <functional>

#include "dal/connection.h"

namespace qrv::dal {

// How a script is cut into statements.
enum class ScriptDialect {
  Generic,     // ";" and "GO" lines
  SQLite,      // ";", except inside CREATE TRIGGER ... END
  PostgreSQL,  // ";", dollar-quoted strings, E'...' strings with backslash escapes
  MySQL,       // ";" changed by DELIMITER lines, backslash escapes, backquotes, "#" comments
  MSSQL,       // batches ended by "GO" on its own line, [bracketed] names
  Firebird,    // ";" changed by SET TERM
  Oracle       // ";", PL/SQL blocks ended by "/" on its own line
};

// The dialect of a base driver ID (compared ignoring case); Generic for systems without one of their own.
ScriptDialect DialectOfDriver(const QString &driverId);

struct ScriptStatement {
  QString sql;   // trimmed, without its delimiter
  int line = 1;  // line of the script where it starts, 1-based
};

// Cuts a script into statements. Strings, quoted names and comments are respected; the directives that
// change or replace the delimiter (DELIMITER, SET TERM, GO, "/") are consumed and never returned. Pieces
// holding nothing but comments and white space are left out.
QList<ScriptStatement> SplitScript(const QString &script, ScriptDialect dialect);

enum class ScriptOutputKind {
  Echo,     // the statement as it is run
  Rows,     // result table lines
  Info,     // row counts and other notes of the engine
  Message,  // server messages (notices, warnings, printed output)
  Error     // errors of statements
};

class ScriptEngine {
 public:
  // Called once per output line (no line break at its end).
  using OutputFn = std::function<void(ScriptOutputKind kind, const QString &line)>;

  struct Options {
    int echoLimit = 200;       // echoed statements are cut to this many characters
    int pageSize = 100;        // rows per printed page (each page repeats the header)
    int largeValueBytes = 30;  // bytes printed of each large (LOB) value
    bool stopOnError = false;
  };

  struct Result {
    int statements = 0;  // statements sent to the server
    int errors = 0;      // statements that failed
    bool aborted = false;
  };

  // The dialect defaults to the connection's driver (Generic without a connection).
  ScriptEngine(Connection *conn, OutputFn output);
  ScriptEngine(Connection *conn, OutputFn output, ScriptDialect dialect);

  void setOptions(const Options &o) { opts_ = o; }
  const Options &options() const { return opts_; }
  void setConnection(Connection *conn) { conn_ = conn; }
  ScriptDialect dialect() const { return dialect_; }
  void setDialect(ScriptDialect d) { dialect_ = d; }

  // Runs every statement of the script in order; an error is reported and the next statement runs
  // (unless stopOnError). The abort request is cleared when a run starts.
  Result run(const QString &script);

  // Asks a running script to stop: the running command is cancelled on the server and no further
  // statement starts. Safe from any thread.
  void abort();
  bool abortRequested() const { return abort_.load(); }

 private:
  void emitLines(ScriptOutputKind kind, const QString &text);
  void echo(const QString &sql);
  void flushMessages();
  bool printRows(Cursor &cur, DbError *err);
  QString cellText(const RowSet &rs, qsizetype row, int col) const;

  Connection *conn_ = nullptr;
  OutputFn out_;
  ScriptDialect dialect_ = ScriptDialect::Generic;
  Options opts_;
  std::atomic<bool> abort_{false};
};

}  // namespace qrv::dal
