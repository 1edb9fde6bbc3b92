#include <gtest/gtest.h>

#include <vector>

#include "core/scripttext.h"
#include "testsupport.h"

using namespace qrv;

namespace {

QString Q(const char *s) { return QString::fromUtf8(s); }

QStringList L(const std::vector<const char *> &items) {
  QStringList l;
  for (const char *s : items) l.append(Q(s));
  return l;
}

struct SplitCase {
  const char *name;
  const char *text;
  const char *delimiter;
  std::vector<const char *> pieces;
};

void PrintTo(const SplitCase &c, std::ostream *os) { *os << c.name; }

class SplitCommandTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandTextTest, Pieces) {
  const SplitCase &c = GetParam();
  EXPECT_EQ(SplitCommandText(Q(c.text), Q(c.delimiter)), L(c.pieces)) << "text: " << c.text;
}

// The cutting rules: every delimiter form, command lines, comments.
INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandTextTest,
    ::testing::Values(
        SplitCase{"CommandLineInLineCommentDisappears", "SELECT 1 -- {$CMD DISCONNECT}", "", {"SELECT 1"}},
        SplitCase{"CommandLineInBlockCommentDisappears", "SELECT 1 /* \n{$CMD DISCONNECT}\n */ SELECT 2", "",
                  {"SELECT 1   SELECT 2"}},
        SplitCase{"SemicolonCutsTwoStatements", "SELECT 1; SELECT 2;", ";", {"SELECT 1", "SELECT 2"}},
        SplitCase{"EmptyDelimiterKeepsStatementsTogether", "SELECT 1; SELECT 2;", "", {"SELECT 1; SELECT 2;"}},
        SplitCase{"CommandLineBetweenWordsOnOneLine", "first {$CMD CONNECT \"PG > c > d\"} second", "",
                  {"first", "{$CMD CONNECT \"PG > c > d\"}", "second"}},
        SplitCase{"DelimiterCutsInsideWords", "SELECT * FROM CATEGORY", "GO", {"SELECT * FROM CATE", "RY"}},
        SplitCase{"DelimiterIsCaseSensitive", "SELECT 1 go SELECT 2", "GO", {"SELECT 1 go SELECT 2"}},
        SplitCase{"LineBreakDelimiterOnePiecePerLine", "a\r\n\r\n  b  \nc\n", "\\n", {"a", "b", "c"}},
        SplitCase{"LineBreakDelimiterUpperCaseToo", "a\nb", "\\N", {"a", "b"}},
        SplitCase{"LowerCaseCommandLineIsNotCut", "select 1 {$cmd connect x} select 2", "",
                  {"select 1 {$cmd connect x} select 2"}},
        SplitCase{"CmdWithoutWhiteSpaceIsNoCommandLine", "a {$CMD} b", "", {"a {$CMD} b"}},
        SplitCase{"MarkerIsACutNotACommand", "SELECT 1\n{$CMD DELIMITER}\nSELECT 2", "{$CMD DELIMITER}",
                  {"SELECT 1", "SELECT 2"}},
        SplitCase{"MarkerIsACommandLineWithEmptyDelimiter", "SELECT 1\n{$CMD DELIMITER}\nSELECT 2", "",
                  {"SELECT 1", "{$CMD DELIMITER}", "SELECT 2"}},
        SplitCase{"CommandLineCutsWithOtherDelimiter", "a;{$CMD CONNECT x};b", ";", {"a", "{$CMD CONNECT x}", "b"}},
        SplitCase{"RegexCharactersInDelimiterAreLiteral", "a.*b.*c", ".*", {"a", "b", "c"}},
        SplitCase{"CrLfDelimiter", "a\r\nb", "\r\n", {"a", "b"}},
        SplitCase{"PiecesEqualToDelimiterSkipped", ";;;x;;", ";", {"x"}},
        SplitCase{"CommentsOnly", "-- one\r\n/* two\r\n three */\r\n  -- four", ";", {}},
        SplitCase{"BlankText", " \r\n\t ", "", {}}));

// String literals, quoted identifiers and dollar quotes are text: no comment removal, no cut inside them.
INSTANTIATE_TEST_SUITE_P(
    Literals, SplitCommandTextTest,
    ::testing::Values(
        SplitCase{"DashesInString", "INSERT INTO t VALUES ('a--b')", "", {"INSERT INTO t VALUES ('a--b')"}},
        SplitCase{"DelimiterInString", "INSERT INTO t VALUES ('x;y'); SELECT 2", ";",
                  {"INSERT INTO t VALUES ('x;y')", "SELECT 2"}},
        SplitCase{"DoubledQuoteStaysInsideString", "SELECT 'it''s -- no; comment' AS a; SELECT 2", ";",
                  {"SELECT 'it''s -- no; comment' AS a", "SELECT 2"}},
        SplitCase{"BlockCommentMarkersInString", "SELECT '/* keep */' /* drop */", "", {"SELECT '/* keep */'"}},
        SplitCase{"QuotedIdentifier", "SELECT \"a;--b\" FROM t; SELECT 2", ";", {"SELECT \"a;--b\" FROM t", "SELECT 2"}},
        SplitCase{"QuoteInCommentOpensNoString", "SELECT 1; -- don't\nSELECT 2; /* it's */ SELECT 3", ";",
                  {"SELECT 1", "SELECT 2", "SELECT 3"}},
        SplitCase{"DollarQuotedBody",
                  "CREATE FUNCTION f() RETURNS int AS $$ BEGIN RAISE NOTICE 'a;b'; -- c\n RETURN 1; END $$ "
                  "LANGUAGE plpgsql; SELECT f()",
                  ";",
                  {"CREATE FUNCTION f() RETURNS int AS $$ BEGIN RAISE NOTICE 'a;b'; -- c\n RETURN 1; END $$ LANGUAGE "
                   "plpgsql",
                   "SELECT f()"}},
        SplitCase{"TaggedDollarQuoteHoldsPlainDollars", "SELECT $fn$ a; $$ b; $fn$; SELECT 2", ";",
                  {"SELECT $fn$ a; $$ b; $fn$", "SELECT 2"}},
        SplitCase{"PositionalParametersAreNoDollarQuotes", "SELECT $1; SELECT $2", ";", {"SELECT $1", "SELECT $2"}},
        SplitCase{"DelimiterInsideWordsStillCutsOutsideStrings", "SELECT 'GO' FROM CATEGORY", "GO",
                  {"SELECT 'GO' FROM CATE", "RY"}},
        SplitCase{"LineBreakInsideStringIsNoCut", "SELECT 'a\nb'\nSELECT 2", "\\n", {"SELECT 'a\nb'", "SELECT 2"}},
        SplitCase{"CommandLineInStringIsNoCut", "SELECT '{$CMD CONNECT x}' AS c", "", {"SELECT '{$CMD CONNECT x}' AS c"}},
        SplitCase{"ApostropheInCommandLineOpensNoString", "{$CMD SHELLEXEC it's}\nSELECT 1; -- c\nSELECT 2", ";",
                  {"{$CMD SHELLEXEC it's}", "SELECT 1", "SELECT 2"}},
        SplitCase{"UnclosedStringRunsToTheEnd", "SELECT 'abc; -- x", ";", {"SELECT 'abc; -- x"}}));

TEST(ScriptText, RemoveSqlCommentsReplacesEachCommentByOneSpace) {
  EXPECT_EQ(RemoveSqlComments(Q("a--x\r\nb/*y\n*/c")), Q("a \r\nb c"));
  // A block comment that holds a line-comment marker ends at its own closing mark.
  EXPECT_EQ(RemoveSqlComments(Q("a /* -- */ b")), Q("a   b"));
  // An unclosed block comment marker stays as it stands.
  EXPECT_EQ(RemoveSqlComments(Q("a /* b")), Q("a /* b"));
}

TEST(ScriptText, TextIsQRVCommand) {
  const struct {
    const char *text;
    bool isCommand;
  } cases[] = {
      {"{$CMD CONNECT x}", true},
      {"select 1 {$cmd connect x} select 2", true},
      {"  {$Cmd\tDISCONNECT}  ", true},
      {"{$CMD}", false},
      {"{$CMDCONNECT x}", false},
      {"{$CMD CONNECT x", false},
      {"SELECT 1", false},
  };
  for (const auto &c : cases) EXPECT_EQ(TextIsQRVCommand(Q(c.text)), c.isCommand) << c.text;
}

TEST(ScriptText, CommandWords) {
  const struct {
    const char *line;
    CommandKind kind;
    std::vector<const char *> words;  // without the five padding words
  } cases[] = {
      {"{$CMD CONNECT \"PostgreSQL > my conn > db\"}", CommandKind::Connect, {"CONNECT", "PostgreSQL > my conn > db"}},
      {"{$cmd  connect   SQLite>x }", CommandKind::Connect, {"connect", "SQLite>x"}},
      {"{$CMD SHELLEXEC \"say \"\"hi\"\" now\"}", CommandKind::ShellExec, {"SHELLEXEC", "say \"hi\" now"}},
      {"{$CMD CONNECT \"unclosed quote}", CommandKind::Connect, {"CONNECT", "unclosed quote"}},
      {"{$CMD CONNECT \"\"}", CommandKind::Connect, {"CONNECT", ""}},
      {"{$CMD\tDisconnect\t}", CommandKind::Disconnect, {"Disconnect"}},
      {"{$CMD FOO a b c}", CommandKind::Unknown, {"FOO", "a", "b", "c"}},
      {"{$CMD \"two words\"x y}", CommandKind::Unknown, {"two words", "x", "y"}},
      {"{$CMD   }", CommandKind::Empty, {}},
      {"no command line", CommandKind::Empty, {}},
  };
  for (const auto &c : cases) {
    const ParsedCommand pc = ParseCommandLine(Q(c.line));
    EXPECT_EQ(pc.kind, c.kind) << c.line;
    QStringList expected = L(c.words);
    if (!expected.isEmpty())
      for (int i = 0; i < 5; ++i) expected.append(QString());
    EXPECT_EQ(pc.words, expected) << c.line;
  }
}

TEST(ScriptText, QRVCommandIsComparesTheStartOfTheBody) {
  EXPECT_TRUE(QRVCommandIs(Q("{$CMD   connect \"a > b\"}"), Q("CONNECT")));
  EXPECT_FALSE(QRVCommandIs(Q("{$CMD CONNECT x}"), Q("DISCONNECT")));
  EXPECT_FALSE(QRVCommandIs(Q("CONNECT"), Q("CONNECT")));
}

// Runs command lines against recording actions.
class RunCommandLineTest : public ::testing::Test {
 protected:
  QStringList calls;
  QString connectError;
  CommandActions actions() {
    CommandActions a;
    a.connect = [this](const QString &p) {
      calls << QStringLiteral("connect:") + p;
      return connectError;
    };
    a.disconnect = [this] { calls << QStringLiteral("disconnect"); };
    a.shellExec = [this](const QString &p) { calls << QStringLiteral("shell:") + p; };
    return a;
  }
};

TEST_F(RunCommandLineTest, AnswersAndActions) {
  const struct {
    const char *line;
    const char *connectError;
    const char *answer;
    const char *call;  // nullptr: no action
  } cases[] = {
      {"{$CMD CONNECT \"SQLite > local db > main\"}", "", "Successfully connected to \"SQLite > local db > main\"\n",
       "connect:SQLite > local db > main"},
      {"{$CMD CONNECT x}", "Could not establish connection", "Could not establish connection", "connect:x"},
      {"{$CMD CONNECT}", "", "No parameters supplied", nullptr},
      {"{$CMD CONNECT \"  \"}", "", "No parameters supplied", nullptr},
      {"{$CMD DISCONNECT now}", "", "Successfully disconnected\n", "disconnect"},
      {"{$CMD SHELLEXEC /tmp/a.txt}", "", "Successfully launched /tmp/a.txt\n", "shell:/tmp/a.txt"},
      {"{$CMD SHELLEXEC}", "", "No parameters supplied", nullptr},
      {"{$CMD FOO}", "", "Unknow command: \"FOO\"", nullptr},
      {"{$CMD  }", "", "Empty command", nullptr},
  };
  for (const auto &c : cases) {
    calls.clear();
    connectError = Q(c.connectError);
    EXPECT_EQ(RunCommandLine(Q(c.line), actions()), Q(c.answer)) << c.line;
    EXPECT_EQ(calls, c.call ? QStringList{Q(c.call)} : QStringList()) << c.line;
  }
}

TEST_F(RunCommandLineTest, CommandWithoutActionIsUnknown) {
  CommandActions onlyConnect;
  onlyConnect.connect = [](const QString &) { return QString(); };
  EXPECT_EQ(RunCommandLine(Q("{$CMD DISCONNECT}"), onlyConnect), Q("Unknow command: \"DISCONNECT\""));
  EXPECT_EQ(RunCommandLine(Q("{$CMD shellexec x}"), onlyConnect), Q("Unknow command: \"shellexec\""));
}

TEST(ScriptText, SplitDatabasePath) {
  const DatabasePath full = SplitDatabasePath(Q("PostgreSQL > my conn > db one"));
  EXPECT_EQ(full.rdbms, Q("PostgreSQL"));
  EXPECT_EQ(full.connection, Q("my conn"));
  EXPECT_EQ(full.database, Q("db one"));
  const DatabasePath part = SplitDatabasePath(Q("SQLite > local"));
  EXPECT_EQ(part.connection, Q("local"));
  EXPECT_TRUE(part.database.isEmpty());
  EXPECT_TRUE(SplitDatabasePath(QString()).connection.isEmpty());
}

}  // namespace
