-- The local database of the program: the database tree and the rows of the last tree filter.
-- Pages of 8 KiB: the tree's full-name index has long keys, and fewer page splits make a refresh's
-- inserts faster.
PRAGMA page_size = 8192;
CREATE TABLE Tree (
  Name TEXT,
  FullName TEXT,
  Visible INT,
  Type INT,
  Level INT,
  Expanded INT,
  Info TEXT
);
CREATE INDEX IX_Tree_FullName ON Tree (FullName COLLATE NOCASE);
-- The RDBMS, connection and database rows that the start state shows: a few among many, so the
-- index leaves out the deeper levels that a refresh writes by the ten thousand.
CREATE INDEX IX_Tree_Top ON Tree (Level) WHERE Level <= 2;
CREATE INDEX IX_Tree_Shown ON Tree (Level) WHERE Visible IS NOT 0 OR Expanded IS NOT 0;
CREATE TABLE FilterRes (
  FullName TEXT,
  Type INT,
  Name TEXT,
  Info TEXT
);
