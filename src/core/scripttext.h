#pragma once
// Script text: comment removal, cutting a text into SQL pieces and command lines, and the small command
// language ("{$CMD CONNECT ...}", "{$CMD DISCONNECT}", "{$CMD SHELLEXEC ...}") shared by the query tabs and
// the console runner. Pure text: no widgets, no connections.
#include <QString>
#include <QStringList>
#include <functional>

namespace qrv {

// The delimiter generated scripts put between statements.
inline QString CommandDelimiterMarker() { return QStringLiteral("{$CMD DELIMITER}"); }

// Replaces every line comment ("--" to the end of the line) and every block comment ("/* ... */") by one
// space. Single-quoted strings, double-quoted identifiers (both with doubled quotes inside) and dollar-quoted
// strings ($$...$$, $tag$...$tag$) are text: nothing inside them is taken for a comment. Quotes inside a
// command line do not open a string.
QString RemoveSqlComments(const QString &text);

// Removes the comments, trims the text and cuts it into a statement list: an ordered list of non-empty,
// trimmed SQL pieces and whole command lines. The delimiter decides where SQL is cut:
//   empty              only at command lines;
//   "\n"               at every line break (also written "\N");
//   any other text     at every occurrence of that exact text (case-sensitive, also inside words), which
//                      includes CommandDelimiterMarker().
// No cut is made inside a string literal, a quoted identifier or a dollar-quoted string. Where a delimiter
// and a command line start at the same place, the delimiter wins.
QStringList SplitCommandText(const QString &text, const QString &delimiter);

// True when a command line ("{$CMD", white space, a body, "}") stands anywhere in the text, ignoring case.
bool TextIsQRVCommand(const QString &text);

// The body of the first command line of the text (ignoring case), trimmed; empty when there is none.
QString CommandBody(const QString &commandLine);

// Splits a command body into words at white space. A word in double quotes keeps its spaces; its quotes are
// removed and a doubled quote inside it stands for one quote. No padding.
QStringList SplitCommandWords(const QString &body);

enum class CommandKind { Empty, Connect, Disconnect, ShellExec, Unknown };

// A parsed command line. words holds the words followed by five empty words (so a missing parameter reads
// as empty), or nothing at all for an empty body.
struct ParsedCommand {
  CommandKind kind = CommandKind::Empty;
  QStringList words;
  QString word(int i) const { return i >= 0 && i < words.size() ? words.at(i) : QString(); }
  QString commandWord() const { return word(0); }
  QString parameter() const { return word(1); }
};
ParsedCommand ParseCommandLine(const QString &commandLine);

// True when the trimmed command body of the text starts with the word, ignoring case.
bool QRVCommandIs(const QString &text, const QString &word);

// The answer texts of commands.
QString AnswerEmptyCommand();                        // "Empty command"
QString AnswerUnknownCommand(const QString &word);   // "Unknow command: \"WORD\""
QString AnswerNoParameters();                        // "No parameters supplied"
QString AnswerConnected(const QString &dbPath);      // "Successfully connected to \"PATH\"" + line break
QString AnswerDisconnected();                        // "Successfully disconnected" + line break
QString AnswerLaunched(const QString &target);       // "Successfully launched TARGET" + line break

// What a caller can do for the commands. A missing action makes its command unknown.
struct CommandActions {
  std::function<QString(const QString &dbPath)> connect;  // error text; empty on success
  std::function<void()> disconnect;
  std::function<void(const QString &target)> shellExec;   // not called for a blank target
};

// Runs a command line with the given actions and returns its answer text.
QString RunCommandLine(const QString &commandLine, const CommandActions &actions);

// A database path ("RDBMS > connection > database") cut into its three parts; missing parts are empty.
struct DatabasePath {
  QString rdbms;
  QString connection;
  QString database;
};
DatabasePath SplitDatabasePath(const QString &path);

}  // namespace qrv
