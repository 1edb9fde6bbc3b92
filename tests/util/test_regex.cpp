#include <gtest/gtest.h>

#include "util/regex.h"

using qrv::Regex;

struct MatchCase {
  const char *pattern;
  unsigned options;
  const char *subject;
  bool matches;
};

class RegexMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RegexMatchTest, Matches) {
  const MatchCase &c = GetParam();
  Regex re(QString::fromUtf8(c.pattern), c.options);
  ASSERT_TRUE(re.isValid()) << re.errorText().toStdString();
  EXPECT_EQ(re.matches(QString::fromUtf8(c.subject)), c.matches) << c.pattern << " ~ " << c.subject;
}

INSTANTIATE_TEST_SUITE_P(
    Options, RegexMatchTest,
    ::testing::Values(MatchCase{"abc", qrv::ReNone, "xABCx", false}, MatchCase{"abc", qrv::ReCaseless, "xABCx", true},
                      MatchCase{"^b$", qrv::ReNone, "a\nb\nc", false}, MatchCase{"^b$", qrv::ReMultiline, "a\nb\nc", true},
                      MatchCase{"a.b", qrv::ReNone, "a\nb", false}, MatchCase{"a.b", qrv::ReDotAll, "a\nb", true},
                      MatchCase{"straße", qrv::ReCaseless, "STRASSE straße", true},
                      MatchCase{"ü", qrv::ReCaseless, "Ü", true},
                      MatchCase{"😀+", qrv::ReNone, "x😀😀y", true}));

TEST(Regex, InvalidPatternIsAnErrorValueNotACrash) {
  Regex re(QStringLiteral("(unbalanced"));
  EXPECT_FALSE(re.isValid());
  EXPECT_FALSE(re.errorText().isEmpty());
  EXPECT_FALSE(re.matches(QStringLiteral("(unbalanced")));
  EXPECT_EQ(re.countMatches(QStringLiteral("x")), 0);
  EXPECT_EQ(re.replace(QStringLiteral("keep"), QStringLiteral("y")), QStringLiteral("keep"));
}

TEST(Regex, NotEmptyRefusesEmptyMatches) {
  Regex re(QStringLiteral("x*"));
  EXPECT_TRUE(re.matches(QStringLiteral("abc")));
  EXPECT_FALSE(re.matches(QStringLiteral("abc"), /*notEmpty=*/true));
  EXPECT_EQ(re.countMatches(QStringLiteral("axxbx"), true), 2);
}

TEST(Regex, AllMatchesWithPositionsAndGroups) {
  Regex re(QStringLiteral("(\\w)(\\d)?"), qrv::ReCaseless);
  const auto all = re.matchAll(QStringLiteral("a1 b c3"));
  ASSERT_EQ(all.size(), 3);
  EXPECT_EQ(all[0].start, 0);
  EXPECT_EQ(all[0].length, 2);
  EXPECT_EQ(all[1].captured(1), QStringLiteral("b"));
  EXPECT_TRUE(all[1].captured(2).isNull());
  EXPECT_EQ(all[1].capturedStart(2), -1);
  EXPECT_EQ(all[2].start, 5);
  EXPECT_EQ(all[2].captured(2), QStringLiteral("3"));
}

TEST(Regex, EmptyMatchesStepOverSurrogatePairs) {
  Regex re(QStringLiteral(""));
  // One empty match before each code point and one at the end.
  EXPECT_EQ(re.matchAll(QStringLiteral("a😀b")).size(), 4);
}

TEST(Regex, ReplaceLiteralAndWithGroups) {
  Regex re(QStringLiteral("(\\w+)@(\\w+)"));
  const QString s = QStringLiteral("ann@x, bob@y");
  EXPECT_EQ(re.replace(s, QStringLiteral("$2:$1")), QStringLiteral("$2:$1, $2:$1"));
  EXPECT_EQ(re.replace(s, QStringLiteral("$2:$1 $$ ${1}"), true), QStringLiteral("x:ann $ ann, y:bob $ bob"));
  EXPECT_EQ(re.replace(s, QStringLiteral("Z"), false, false, 1), QStringLiteral("Z, bob@y"));
}

TEST(Regex, EscapeMakesEveryMetacharacterLiteral) {
  const QString nasty = QStringLiteral("a.b*c+d?e(f)g[h]i{j}k|l^m$n\\o/p#q-r\r\ns");
  Regex re(Regex::escape(nasty));
  ASSERT_TRUE(re.isValid());
  qrv::RegexMatch m;
  ASSERT_TRUE(re.match(QStringLiteral("xx") + nasty, &m));
  EXPECT_EQ(m.start, 2);
  EXPECT_EQ(m.length, nasty.size());
  EXPECT_FALSE(Regex(Regex::escape(QStringLiteral("a.b"))).matches(QStringLiteral("axb")));
}
