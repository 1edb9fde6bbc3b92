#pragma once
// The program body: chooses between the windowed program, opening a file and the console script run.
#include <QString>
#include <QStringList>

namespace qrv {

struct StartupArgs {
  bool scriptMode = false;   // argument 1 equals "-scriptfile" ignoring case
  bool consoleRun = false;   // argument 1 equals "-scriptfile" exactly
  QString startupFile;       // argument 1 when it names an existing file
};

StartupArgs ParseStartupArgs(const QStringList &args);

// The start-up file, opened by the main window at its first idle moment and then cleared.
QString &StartupFile();

// The whole program: returns the process exit code.
int RunProgram(int argc, char **argv);

}  // namespace qrv
