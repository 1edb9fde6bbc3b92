#include "core/consolerunner.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "core/apppaths.h"
#include "core/scripttext.h"
#include "dal/conn_manager.h"
#include "dal/drivertable.h"
#include "dal/scriptengine.h"
#include "util/textfile.h"

namespace qrv {

namespace {

void WriteLine(FILE *f, const QString &line) {
  const QByteArray bytes = line.toUtf8() + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
  std::fflush(f);
}

// Writes a text line by line through NormalizeErrorText.
void Emit(const std::function<void(const QString &)> &sink, const QString &text) {
  if (!sink) return;
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(u'\r', u'\n');
  for (const QString &line : t.split(u'\n')) sink(NormalizeErrorText(line));
}

const QString &EmptySqlText() {
  static const QString s = QStringLiteral("Empty SQL text");
  return s;
}

}  // namespace

ConsoleOutput StdConsoleOutput() {
  ConsoleOutput o;
  o.out = [](const QString &line) { WriteLine(stdout, line); };
  o.err = [](const QString &line) { WriteLine(stderr, line); };
  return o;
}

QString DoRunScriptFile(const QString &scriptFile, const QString &target, bool *complete) {
  ScriptRunStatus st;
  const QString r = DoRunScriptFile(scriptFile, target, &st, StdConsoleOutput());
  if (complete) *complete = st.complete;
  return r;
}

QString DoRunScriptFile(const QString &scriptFile, const QString &target, ScriptRunStatus *status,
                        const ConsoleOutput &output) {
  ScriptRunStatus local;
  ScriptRunStatus &st = status ? *status : local;
  st = ScriptRunStatus();

  if (scriptFile.isEmpty()) return QStringLiteral("Empty file name is not allowed");
  if (!QFileInfo(scriptFile).isFile()) return QStringLiteral("File \"%1\" not found").arg(scriptFile);
  bool readOk = false;
  QString readError;
  const QString text = ReadTextFileCrLf(scriptFile, &readOk, &readError);
  if (!readOk)
    return readError.isEmpty() ? QStringLiteral("Could not read file \"%1\"").arg(scriptFile) : readError;

  const QStringList pieces = SplitCommandText(text, QString());
  if (pieces.isEmpty()) {
    st.complete = true;
    return EmptySqlText();
  }

  try {
    InitAppPaths();
    dal::ConnectionManager manager;
    manager.loadDriverDefs(SettingsDir() + QStringLiteral("Drivers.ini"));
    manager.loadConnectionDefs(SettingsDir() + QStringLiteral("Connections.ini"));

    dal::ConnectionPtr conn;
    // Closes the connection and opens it on a database path; the error text, empty on success.
    auto connectTo = [&](const QString &path) -> QString {
      if (conn) conn->close();
      const DatabasePath p = SplitDatabasePath(path);
      QString db = p.database;
      if (db == QLatin1String("NO_DB_NAME") || p.rdbms.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        db.clear();
      dal::DbError err;
      dal::ConnectionPtr c = manager.openConnection(p.connection, db, &err);
      if (!c) {
        const QString msg = NormalizeErrorText(err.message).trimmed();
        return msg.isEmpty() ? QStringLiteral("Could not establish connection \"%1\"").arg(p.connection) : msg;
      }
      conn = std::move(c);
      return QString();
    };

    const QString openError = connectTo(target);
    if (!openError.isEmpty()) return openError;

    auto engineOutput = [&output](dal::ScriptOutputKind kind, const QString &line) {
      Emit(kind == dal::ScriptOutputKind::Error ? output.err : output.out, line);
    };

    QString result;
    for (const QString &piece : pieces) {
      if (TextIsQRVCommand(piece)) {
        const ParsedCommand pc = ParseCommandLine(piece);
        if (pc.kind == CommandKind::Empty) return AnswerEmptyCommand();
        if (pc.kind == CommandKind::Connect && pc.parameter().trimmed().isEmpty()) return AnswerNoParameters();
        if (pc.kind != CommandKind::Connect) return AnswerUnknownCommand(pc.commandWord());
        const QString err = connectTo(pc.parameter());
        if (err.isEmpty()) {
          Emit(output.out, QStringLiteral("Successfully connected to \"%1\"").arg(pc.parameter()));
          Emit(output.out, QString());
        } else {
          // The run goes on; the following pieces meet the closed connection.
          result = err;
          st.connectFailed = true;
          Emit(output.err, err);
        }
        continue;
      }
      dal::ScriptEngine engine(conn.get(), engineOutput,
                               conn ? dal::DialectOfDriver(conn->driverId()) : dal::ScriptDialect::Generic);
      const dal::ScriptEngine::Result r = engine.run(piece);
      st.statementErrors += r.errors;
    }
    st.complete = true;
    if (conn) conn->close();
    return result;
  } catch (const SettingsDirError &e) {
    return NormalizeErrorText(e.message);
  } catch (const std::exception &e) {
    return NormalizeErrorText(QString::fromLocal8Bit(e.what()));
  }
}

int ConsoleExitCode(const ScriptRunStatus &status) {
  if (!status.complete) return 2;
  return status.hadErrors() ? 1 : 0;
}

bool ConsoleIsInteractive() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

int RunConsoleScript(const QStringList &args) {
  // Every argument trimmed, and enough empty ones that a missing argument reads as empty.
  QStringList a;
  for (const QString &s : args) a << s.trimmed();
  for (int i = 0; i < 6; ++i) a << QString();

  static int argc = 1;
  static char arg0[] = "quorvane";
  static char *argv[] = {arg0, nullptr};
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

  const ConsoleOutput output = StdConsoleOutput();
  ScriptRunStatus status;
  const QString result = DoRunScriptFile(a.at(2), a.at(3), &status, output);
  if (!status.complete)
    Emit(output.err, result);
  else if (!status.connectFailed && !result.isEmpty())  // "Empty SQL text"
    Emit(output.out, result);
  // A failed CONNECT was written to standard error when it happened.

  if (ConsoleIsInteractive()) {
    Emit(output.out, QStringLiteral("Press Enter to continue"));
    char buf[256];
    while (std::fgets(buf, sizeof buf, stdin)) {
      const size_t len = std::strlen(buf);
      if (len > 0 && buf[len - 1] == '\n') break;
    }
  }
  return ConsoleExitCode(status);
}

}  // namespace qrv
