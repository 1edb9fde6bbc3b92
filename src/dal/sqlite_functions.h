#pragma once
// The program's own scalar functions on SQLite connections: REGEXP and DoFindRegEx.
//
//   REGEXP(pattern, text)            1 when the text matches the pattern, else 0 (the SQL operator form
//                                    "text REGEXP pattern" calls it with the pattern first).
//   DoFindRegEx(search, text, caseSensitive, regularExpression, wholeWord)
//                                    1 when the search finds at least one match in the text, else 0.
//
// Both run through the program's PCRE2 wrapper. An invalid pattern gives 0, never an SQL error; a NULL
// text or pattern gives 0. Each distinct pattern is compiled once per statement, not once per row.
#include <QString>

struct sqlite3;

namespace qrv::dal {

// Registers REGEXP and DoFindRegEx on the connection. Call it on every SQLite connection the program
// opens; a null handle is ignored.
void RegisterProgramFunctions(sqlite3 *db);

// Puts a faster NOCASE collation in place of SQLite's own on the connection: the same order and
// equality (ASCII letters folded, comparison ending at a zero byte, then the shorter first), but runs
// of equal bytes are skipped a word at a time. The tree's full names share long prefixes, so its
// NOCASE index compares them many bytes deep on every insert and look-up.
void RegisterFastNoCase(sqlite3 *db);

// The pattern DoFindRegEx searches with: the search text itself when regularExpression is set;
// otherwise the search text with every special character escaped (a CR LF pair as "\r\n"), enclosed in
// "\b" ... "\b" when wholeWord is set.
QString DoFindRegExPattern(const QString &search, bool regularExpression, bool wholeWord);
// The regex options (qrv::RegexOption) DoFindRegEx uses: always multi-line and dot-matches-all,
// case-insensitive unless caseSensitive.
unsigned DoFindRegExOptions(bool caseSensitive);
// The same test as the SQL function, for C++ callers.
bool DoFindRegEx(const QString &search, const QString &text, bool caseSensitive, bool regularExpression,
                 bool wholeWord);

// An SQL call of DoFindRegEx over a column expression: the search text becomes a string literal with
// every single quote doubled, the flags become 1 or 0. The column expression is put in as given, so
// the caller quotes identifiers itself, e.g.
//   DoFindRegExSql("it's", "[Name]", false, false, true) == "DoFindRegEx('it''s', [Name], 0, 0, 1)".
QString DoFindRegExSql(const QString &search, const QString &textExpr, bool caseSensitive,
                       bool regularExpression, bool wholeWord);

// How many patterns the SQL functions have compiled since the program started (for diagnostics).
quint64 CompiledPatternCount();

}  // namespace qrv::dal
