#pragma once
// The console run of a script: "quorvane -scriptfile FILE "RDBMS > connection > database"". No window, no
// data module, no local database and no Settings.ini; only the settings directory with Connections.ini and
// Drivers.ini.
#include <QString>
#include <QStringList>
#include <functional>

namespace qrv {

// Where the run writes: one call per line, without the line break.
struct ConsoleOutput {
  std::function<void(const QString &line)> out;  // rows, echo, notices, progress
  std::function<void(const QString &line)> err;  // errors of statements and of the run
};

// Standard output and standard error, UTF-8, flushed line by line.
ConsoleOutput StdConsoleOutput();

// How a run went, beyond its result text.
struct ScriptRunStatus {
  bool complete = false;       // every piece was processed (also for a file without SQL)
  int statementErrors = 0;     // statements that failed
  bool connectFailed = false;  // a CONNECT command line failed (the run went on)
  bool hadErrors() const { return statementErrors > 0 || connectFailed; }
};

// Runs a script file against a database path. Returns the result text: empty after a run without a
// failure of its own, "Empty SQL text" for a file without SQL, the error of a failed CONNECT, or the
// message that ended the run. Every line written passes through NormalizeErrorText.
QString DoRunScriptFile(const QString &scriptFile, const QString &target, bool *complete);
QString DoRunScriptFile(const QString &scriptFile, const QString &target, ScriptRunStatus *status,
                        const ConsoleOutput &output);

// The process exit code of a run: 0 when every piece ran without error, 1 when the run completed but a
// statement or a CONNECT failed, 2 when the run could not start or was ended.
int ConsoleExitCode(const ScriptRunStatus &status);

// True when both standard input and standard output are terminals: only then does the run end with
// "Press Enter to continue" and wait for a line.
bool ConsoleIsInteractive();

// The whole console run for the program's arguments as given (args[0] the program path, args[1]
// "-scriptfile", args[2] the script file, args[3] the target). Writes the output and returns the process
// exit code. Creates a QCoreApplication when none exists.
int RunConsoleScript(const QStringList &args);

}  // namespace qrv
